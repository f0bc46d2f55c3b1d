#include "engine/qt/browser_qt.h"

#include <QColor>
#include <QWebEngineLoadingInfo>
#include <QWebEngineFullScreenRequest>
#include <QWebEngineHistory>
#include <QWebEngineProfile>

namespace engine {

namespace {

class QtFrame : public Frame {
 public:
  explicit QtFrame(std::weak_ptr<QtBrowser> browser) : browser_(std::move(browser)) {}

  bool IsMain() const override { return true; }

  std::string GetURL() const override {
    QWebEnginePage* page = Page();
    return page ? page->url().toString().toStdString() : std::string();
  }

  void LoadURL(const std::string& url) override {
    if (QWebEnginePage* page = Page()) page->load(QUrl(QString::fromStdString(url)));
  }

  void LoadString(const std::u16string& html, const std::string& url) override {
    if (QWebEnginePage* page = Page())
      page->setHtml(QString::fromStdU16String(html), QUrl(QString::fromStdString(url)));
  }

  void ExecuteJavaScript(const std::u16string& code, const std::string&, int) override {
    if (QWebEnginePage* page = Page()) page->runJavaScript(QString::fromStdU16String(code));
  }

 private:
  QWebEnginePage* Page() const {
    auto browser = browser_.lock();
    return browser ? browser->page() : nullptr;
  }

  std::weak_ptr<QtBrowser> browser_;
};

}  // namespace

QtPage::QtPage(QWebEngineProfile* profile, QObject* parent, std::weak_ptr<QtBrowser> browser)
    : QWebEnginePage(profile, parent), browser_(std::move(browser)) {}

void QtPage::javaScriptConsoleMessage(JavaScriptConsoleMessageLevel level, const QString& message, int line,
                                      const QString& source) {
  auto browser = browser_.lock();
  if (browser && browser->client()->OnConsoleMessage(browser, message.toStdU16String(), source.toStdString(), line))
    return;
  QWebEnginePage::javaScriptConsoleMessage(level, message, line, source);
}

QtBrowser::QtBrowser(int id, std::shared_ptr<Client> client) : id_(id), client_(std::move(client)) {}

void QtBrowser::Create(const WindowInfo& info, QWebEngineProfile* profile, Color background,
                       const std::string& url) {
  view_ = new QWebEngineView(info.parent);
  auto* page = new QtPage(profile, view_, weak_from_this());
  page->setBackgroundColor(QColor::fromRgba(background));
  view_->setPage(page);
  view_->setGeometry(info.x, info.y, info.width, info.height);
  view_->setContextMenuPolicy(Qt::NoContextMenu);
  ConnectSignals(page);
  QObject::connect(view_, &QObject::destroyed, [weak = weak_from_this()] {
    if (auto self = weak.lock()) self->OnViewDestroyed();
  });
  view_->show();
  if (!url.empty()) page->load(QUrl(QString::fromStdString(url)));
}

QWebEnginePage* QtBrowser::page() const { return view_ ? view_->page() : nullptr; }

void QtBrowser::ConnectSignals(QWebEnginePage* page) {
  std::weak_ptr<QtBrowser> weak = weak_from_this();
  QObject::connect(page, &QWebEnginePage::loadingChanged, page, [weak](const QWebEngineLoadingInfo& info) {
    auto self = weak.lock();
    if (!self) return;
    QWebEnginePage* p = self->page();
    const bool can_back = p && p->history()->canGoBack();
    const bool can_forward = p && p->history()->canGoForward();
    if (info.status() == QWebEngineLoadingInfo::LoadStartedStatus) {
      self->client_->OnLoadingStateChange(self, true, can_back, can_forward);
      return;
    }
    auto frame = self->GetMainFrame();
    if (info.status() == QWebEngineLoadingInfo::LoadFailedStatus ||
        info.status() == QWebEngineLoadingInfo::LoadStoppedStatus) {
      const int code = info.status() == QWebEngineLoadingInfo::LoadStoppedStatus ? ERR_ABORTED : info.errorCode();
      self->client_->OnLoadError(self, frame, code, info.errorString().toStdString(),
                                 info.url().toString().toStdString());
    }
    self->client_->OnLoadEnd(self, frame, info.status() == QWebEngineLoadingInfo::LoadSucceededStatus ? 200 : 0);
    self->client_->OnLoadingStateChange(self, false, can_back, can_forward);
  });
  QObject::connect(page, &QWebEnginePage::urlChanged, page, [weak](const QUrl& url) {
    if (auto self = weak.lock()) self->client_->OnAddressChange(self, self->GetMainFrame(), url.toString().toStdString());
  });
  QObject::connect(page, &QWebEnginePage::titleChanged, page, [weak](const QString& title) {
    if (auto self = weak.lock()) self->client_->OnTitleChange(self, title.toStdU16String());
  });
  QObject::connect(page, &QWebEnginePage::fullScreenRequested, page, [weak](QWebEngineFullScreenRequest request) {
    request.accept();
    if (auto self = weak.lock()) self->client_->OnFullscreenModeChange(self, request.toggleOn());
  });
  QObject::connect(page, &QWebEnginePage::windowCloseRequested, page, [weak] {
    if (auto self = weak.lock()) self->OnCloseRequested();
  });
}

std::shared_ptr<Frame> QtBrowser::GetMainFrame() { return std::make_shared<QtFrame>(weak_from_this()); }

bool QtBrowser::CanGoBack() const { return page() && page()->history()->canGoBack(); }
bool QtBrowser::CanGoForward() const { return page() && page()->history()->canGoForward(); }
void QtBrowser::GoBack() { if (page()) page()->triggerAction(QWebEnginePage::Back); }
void QtBrowser::GoForward() { if (page()) page()->triggerAction(QWebEnginePage::Forward); }
void QtBrowser::Reload() { if (page()) page()->triggerAction(QWebEnginePage::Reload); }
void QtBrowser::StopLoad() { if (page()) page()->triggerAction(QWebEnginePage::Stop); }

void QtBrowser::CloseBrowser(bool force) {
  if (!view_) return;
  if (force) {
    OnCloseRequested();
    return;
  }
  // Runs the page's unload handlers; windowCloseRequested follows.
  page()->triggerAction(QWebEnginePage::RequestClose);
}

void QtBrowser::OnCloseRequested() {
  if (closing_ || !view_) return;
  closing_ = true;
  if (!client_->DoClose(shared_from_this())) {
    // The engine closes the top-level window once the page agreed.
    if (QWidget* top = view_->window(); top && top != view_) top->close();
  }
}

void QtBrowser::SetFocus(bool focus) {
  if (!view_) return;
  if (focus)
    view_->setFocus();
  else
    view_->clearFocus();
}

void QtBrowser::OnViewDestroyed() {
  // The view dies with its parent window, inside that window's destructor:
  // tell the client afterwards, from the message loop.
  auto self = shared_from_this();
  PostTask([self] {
    self->client_->OnBeforeClose(self);
    ReleaseBrowser(self->id_);
  });
}

}  // namespace engine
