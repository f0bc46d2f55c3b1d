#include "engine/qt/browser_qt.h"

#include <QChildEvent>
#include <QColor>
#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QDateTime>
#include <QDragEnterEvent>
#include <QFocusEvent>
#include <QInputDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMimeData>
#include <QSslCertificate>
#include <QWebEngineCertificateError>
#include <QWebEngineFullScreenRequest>
#include <QWebEngineQuotaRequest>
#include <QWebEngineSettings>
#include <QPrintDialog>
#include <QPrinter>
#include <QWheelEvent>
#include <QWindow>
#include <QMimeData>
#include <QWebEngineHistory>
#include <QWebEngineLoadingInfo>
#include <QWebEngineNewWindowRequest>
#include <QWebEngineProfile>
#include <QWebEngineScript>
#include <QWebEngineScriptCollection>
#include <QWebEngineSettings>

#include "engine/qt/bootstrap_script.h"
#include "engine/qt/key_mapping.h"
#include "engine/qt/page_bridge.h"

namespace engine {

namespace {

constexpr qint64 kPopupNameLifetimeMs = 2000;
// A page reports many names only by abuse; the oldest give way.
constexpr size_t kMostPopupNames = 64;
// Characters of unfinished long calls one browser keeps at most.
constexpr qsizetype kMaxCallPartsLength = 64 * 1024 * 1024;

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
    if (auto browser = browser_.lock()) browser->LoadString(QString::fromStdU16String(html), QUrl(QString::fromStdString(url)));
  }

  void ExecuteJavaScript(const std::u16string& code, const std::string&, int) override {
    if (QWebEnginePage* page = Page()) page->runJavaScript(QString::fromStdU16String(code));
  }

  void GetText(std::function<void(const std::u16string&)> visitor) override {
    if (QWebEnginePage* page = Page())
      page->toPlainText([visitor = std::move(visitor)](const QString& text) { visitor(text.toStdU16String()); });
  }

 private:
  QWebEnginePage* Page() const {
    auto browser = browser_.lock();
    return browser ? browser->page() : nullptr;
  }

  std::weak_ptr<QtBrowser> browser_;
};

class QtContextMenuModel : public ContextMenuModel {
 public:
  explicit QtContextMenuModel(QMenu* menu) : menu_(menu) {}
  bool Clear() override {
    menu_->clear();
    return true;
  }
  size_t GetCount() const override { return static_cast<size_t>(menu_->actions().size()); }

 private:
  QMenu* menu_;
};

class QtJSDialogCallback : public JSDialogCallback {
 public:
  void Continue(bool success, const std::u16string& input) override {
    answered = true;
    this->success = success;
    this->input = input;
  }
  bool answered = false;
  bool success = false;
  std::u16string input;
};

// The certificate status bit that stands for each certificate error.
uint32_t CertStatusForError(int error) {
  switch (error) {
    case -200: return 0x1;     // COMMON_NAME_INVALID
    case -201: return 0x2;     // DATE_INVALID
    case -202: return 0x4;     // AUTHORITY_INVALID
    case -204: return 0x10;    // NO_REVOCATION_MECHANISM
    case -205: return 0x20;    // UNABLE_TO_CHECK_REVOCATION
    case -206: return 0x40;    // REVOKED
    case -207: return 0x80;    // INVALID
    case -208: return 0x100;   // WEAK_SIGNATURE_ALGORITHM
    case -210: return 0x400;   // NON_UNIQUE_NAME
    case -211: return 0x800;   // WEAK_KEY
    case -212: return 0x4000;  // NAME_CONSTRAINT_VIOLATION
    case -213: return 0x8000;  // VALIDITY_TOO_LONG
    default: return 0;
  }
}

std::optional<std::string> NonEmpty(const QString& text) {
  if (text.isEmpty()) return std::nullopt;
  return text.toStdString();
}

SslInfo SslInfoFrom(const QWebEngineCertificateError& error) {
  SslInfo info;
  info.cert_status = CertStatusForError(error.type());
  const QList<QSslCertificate> chain = error.certificateChain();
  if (chain.isEmpty()) return info;
  const QSslCertificate& cert = chain.first();
  info.subject = NonEmpty(cert.subjectDisplayName());
  info.issuer = NonEmpty(cert.issuerDisplayName());
  // Qt gives the serial number as colon-separated hex.
  info.serial_number = QByteArray::fromHex(cert.serialNumber().replace(':', "")).toStdString();
  info.valid_start = cert.effectiveDate().isValid() ? cert.effectiveDate().toSecsSinceEpoch() : 0;
  info.valid_expiry = cert.expiryDate().isValid() ? cert.expiryDate().toSecsSinceEpoch() : 0;
  info.der = cert.toDer().toStdString();
  info.pem = cert.toPem().toStdString();
  for (qsizetype i = 1; i < chain.size(); ++i) {
    info.issuer_chain_der.push_back(chain[i].toDer().toStdString());
    info.issuer_chain_pem.push_back(chain[i].toPem().toStdString());
  }
  return info;
}

WindowOpenDisposition DispositionOf(QWebEngineNewWindowRequest::DestinationType type) {
  switch (type) {
    case QWebEngineNewWindowRequest::InNewTab: return WOD_NEW_FOREGROUND_TAB;
    case QWebEngineNewWindowRequest::InNewBackgroundTab: return WOD_NEW_BACKGROUND_TAB;
    case QWebEngineNewWindowRequest::InNewDialog: return WOD_NEW_POPUP;
    case QWebEngineNewWindowRequest::InNewWindow: return WOD_NEW_WINDOW;
  }
  return WOD_UNKNOWN;
}

}  // namespace

QtPage::QtPage(QWebEngineProfile* profile, QObject* parent, std::weak_ptr<QtBrowser> browser)
    : QWebEnginePage(profile, parent), browser_(std::move(browser)) {
  // Element.requestFullscreen() reaches the client's full-screen handling.
  settings()->setAttribute(QWebEngineSettings::FullScreenSupportEnabled, true);
  // Both in every frame before its own scripts; the error page's in a
  // world of its own, which the page's scripts cannot reach.
  const std::pair<QString, QWebEngineScript::ScriptWorldId> worlds[] = {
      {PageScripts(), QWebEngineScript::MainWorld}, {ErrorPageScripts(), QWebEngineScript::ApplicationWorld}};
  for (const auto& [source, world] : worlds) {
    QWebEngineScript script;
    script.setName(world == QWebEngineScript::MainWorld ? QStringLiteral("veltro-bootstrap")
                                                        : QStringLiteral("veltro-error-page"));
    script.setSourceCode(source);
    script.setInjectionPoint(QWebEngineScript::DocumentCreation);
    script.setWorldId(world);
    script.setRunsOnSubFrames(true);
    scripts().insert(script);
  }
  // Unknown schemes reach acceptNavigationRequest, where the client
  // decides which of them the system opens.
  settings()->setUnknownUrlSchemePolicy(QWebEngineSettings::AllowAllUnknownUrlSchemes);
}

void QtPage::javaScriptConsoleMessage(JavaScriptConsoleMessageLevel level, const QString& message, int line,
                                      const QString& source) {
  auto browser = browser_.lock();
  if (browser && message.startsWith(kBridgeMarker)) {
    // A bridge call where the prompt channel is blocked: it runs, its answer
    // goes nowhere. Its origin is unknown, so it counts as a page's.
    HandleBridgeCall(browser, QUrl(QStringLiteral("about:console")), message.mid(kBridgeMarker.size()));
    return;
  }
  // The engine's own report of a blocked bridge prompt: the call went the
  // console way already, and its arguments are nothing for the page log.
  if (message.contains(kBridgeMarker)) return;
  if (browser && browser->client()->OnConsoleMessage(browser, message.toStdU16String(), source.toStdString(), line))
    return;
  QWebEnginePage::javaScriptConsoleMessage(level, message, line, source);
}

void QtPage::javaScriptAlert(const QUrl& origin, const QString& message) {
  auto browser = browser_.lock();
  if (!browser) return;
  auto callback = std::make_shared<QtJSDialogCallback>();
  bool suppress = false;
  const bool handled = browser->client()->OnJSDialog(browser, origin.toString().toStdString(), JSDIALOGTYPE_ALERT,
                                                     message.toStdU16String(), std::u16string(), callback, suppress);
  if (!handled && !suppress) QWebEnginePage::javaScriptAlert(origin, message);
}

bool QtPage::javaScriptConfirm(const QUrl& origin, const QString& message) {
  auto browser = browser_.lock();
  if (!browser) return false;
  auto callback = std::make_shared<QtJSDialogCallback>();
  bool suppress = false;
  const bool handled = browser->client()->OnJSDialog(browser, origin.toString().toStdString(),
                                                     JSDIALOGTYPE_CONFIRM, message.toStdU16String(),
                                                     std::u16string(), callback, suppress);
  if (handled) return callback->answered && callback->success;
  if (suppress) return false;
  return QWebEnginePage::javaScriptConfirm(origin, message);
}

bool QtPage::javaScriptPrompt(const QUrl& origin, const QString& message, const QString& default_value,
                              QString* result) {
  auto browser = browser_.lock();
  if (!browser) return false;
  if (message.startsWith(kBridgeMarker)) {
    *result = HandleBridgeCall(browser, origin, message.mid(kBridgeMarker.size()));
    return true;
  }
  auto callback = std::make_shared<QtJSDialogCallback>();
  bool suppress = false;
  const bool handled = browser->client()->OnJSDialog(browser, origin.toString().toStdString(), JSDIALOGTYPE_PROMPT,
                                                     message.toStdU16String(), default_value.toStdU16String(),
                                                     callback, suppress);
  if (handled) {
    *result = QString::fromStdU16String(callback->input);
    return callback->answered && callback->success;
  }
  if (suppress) return false;
  // Qt's own prompt has a title no catalogue translates; this is the same
  // dialog with the title Qt's catalogue has for it, and the page's text
  // shown as text.
  QInputDialog dialog(browser->view());
  dialog.setWindowTitle(
      QCoreApplication::translate("UIDelegatesManager", "Javascript Prompt - %1").arg(origin.toString()));
  dialog.setLabelText(message);
  if (auto* label = dialog.findChild<QLabel*>()) label->setTextFormat(Qt::PlainText);
  dialog.setTextValue(default_value);
  if (dialog.exec() != QDialog::Accepted) return false;
  *result = dialog.textValue();
  return true;
}

bool QtPage::acceptNavigationRequest(const QUrl& url, NavigationType type, bool is_main_frame) {
  static const QStringList kEngineSchemes = {"http", "https", "data", "file", "about", "blob", "chrome",
                                             "devtools", "qrc", "view-source", "ws", "wss", "filesystem"};
  auto browser = browser_.lock();
  if (browser && !kEngineSchemes.contains(url.scheme())) {
    // Qt asks here before it hands an unknown scheme to the system;
    // refused, the page stays where it is.
    bool allow = false;
    browser->client()->OnProtocolExecution(browser, url.toString().toStdString(), allow);
    return allow;
  }
  const bool accepted = QWebEnginePage::acceptNavigationRequest(url, type, is_main_frame);
  if (browser && accepted && is_main_frame) browser->NoteMainFrameNavigation(url);
  return accepted;
}

QtView::QtView(QWidget* parent, std::weak_ptr<QtBrowser> browser) : QWebEngineView(parent), browser_(std::move(browser)) {
  // A drop site needs a native window: a windowless view (no parent) would
  // get one, shown on screen. Nothing is dropped into a windowless browser.
  if (parent) setAcceptDrops(true);
}

void QtView::contextMenuEvent(QContextMenuEvent* event) {
  QMenu* menu = createStandardContextMenu();
  QtContextMenuModel model(menu);
  if (auto browser = browser_.lock()) browser->client()->OnBeforeContextMenu(browser, model);
  if (model.GetCount() == 0) {
    delete menu;
    return;
  }
  menu->setAttribute(Qt::WA_DeleteOnClose);
  menu->popup(event->globalPos());
}

void QtView::dragEnterEvent(QDragEnterEvent* event) {
  uint32_t allowed = DRAG_OPERATION_NONE;
  if (event->possibleActions() & Qt::CopyAction) allowed |= DRAG_OPERATION_COPY;
  if (event->possibleActions() & Qt::LinkAction) allowed |= DRAG_OPERATION_LINK;
  if (event->possibleActions() & Qt::MoveAction) allowed |= DRAG_OPERATION_MOVE;
  DragData data;
  const QMimeData* mime = event->mimeData();
  for (const QUrl& url : mime->urls()) (url.isLocalFile() ? data.is_file : data.is_link) = true;
  // A dragged image is its address too.
  data.is_link = data.is_link || mime->hasImage();
  data.is_fragment = mime->hasText() || mime->hasHtml();
  auto browser = browser_.lock();
  if (browser && browser->client()->OnDragEnter(browser, data, allowed)) {
    event->ignore();
    return;
  }
  QWebEngineView::dragEnterEvent(event);
}

void QtView::childEvent(QChildEvent* event) {
  // Keys go to the render widget the engine adds as a child.
  if (event->added() && event->child()->isWidgetType()) event->child()->installEventFilter(this);
  QWebEngineView::childEvent(event);
}

bool QtView::eventFilter(QObject* watched, QEvent* event) {
  const QEvent::Type type = event->type();
  if (type == QEvent::KeyPress || type == QEvent::KeyRelease || type == QEvent::ShortcutOverride) {
    auto* key = static_cast<QKeyEvent*>(event);
    auto browser = browser_.lock();
    if (browser && type != QEvent::ShortcutOverride) {
      const KeyEvent engine_event =
          KeyEventFromQt(*key, type == QEvent::KeyPress ? KEYEVENT_RAWKEYDOWN : KEYEVENT_KEYUP);
      if (browser->client()->OnPreKeyEvent(browser, engine_event)) return true;
    }
  }
  // A windowless view's popup (an open select list) lives past the screens
  // too; its frames and input go through the client's window.
  if ((type == QEvent::Show || type == QEvent::Hide) && watched->isWidgetType()) {
    auto* widget = static_cast<QWidget*>(watched);
    auto browser = browser_.lock();
    if (browser && browser->offscreen_frames() && widget->isWindow() && (widget->windowFlags() & Qt::Popup)) {
      if (type == QEvent::Show)
        browser->offscreen_frames()->PopupShown(widget);
      else
        browser->offscreen_frames()->PopupGone(widget);
    }
  }
  // A windowless page's pointer shape shows on the window standing in for it.
  if (type == QEvent::CursorChange && watched->isWidgetType()) {
    auto browser = browser_.lock();
    if (QWidget* stand_in = browser ? browser->windowless_parent() : nullptr)
      stand_in->setCursor(static_cast<QWidget*>(watched)->cursor());
  }
  return QWebEngineView::eventFilter(watched, event);
}

void QtRequestInterceptor::interceptRequest(QWebEngineUrlRequestInfo& info) {
  auto browser = browser_.lock();
  if (!browser) return;
  QtRequest request(info);
  browser->client()->OnBeforeResourceLoad(browser, request);
}

QtBrowser::QtBrowser(int id, std::shared_ptr<Client> client) : id_(id), client_(std::move(client)) {}

void QtBrowser::Create(const WindowInfo& info, QWebEngineProfile* profile, Color background,
                       const std::string& url) {
  const bool windowless = info.windowless_rendering_enabled;
  view_ = new QtView(windowless ? nullptr : info.parent, weak_from_this());
  if (windowless) {
    // Drawn, never shown: the client's window shows the frames instead, and
    // the view goes with it.
    view_->setAttribute(Qt::WA_DontShowOnScreen);
    // The engine may still give the view a native window and map it: then
    // one nobody sees, past the screens and outside the window manager.
    view_->setWindowFlags(Qt::Tool | Qt::FramelessWindowHint | Qt::X11BypassWindowManagerHint |
                          Qt::WindowTransparentForInput | Qt::WindowDoesNotAcceptFocus);
    view_->move(-32000, -32000);
    windowless_parent_ = info.parent;
    QObject::connect(info.parent, &QObject::destroyed, view_, &QObject::deleteLater);
    frames_ = new QtOffscreenFrames(view_, weak_from_this(), info.windowless_frame_rate);
  }
  auto* page = new QtPage(profile, view_, weak_from_this());
  page->setBackgroundColor(windowless && info.transparent_painting_enabled ? QColor(Qt::transparent)
                                                                          : QColor::fromRgba(background));
  interceptor_ = std::make_unique<QtRequestInterceptor>(weak_from_this());
  page->setUrlRequestInterceptor(interceptor_.get());
  view_->setPage(page);
  if (windowless)
    view_->resize(std::max(info.width, 1), std::max(info.height, 1));
  else
    view_->setGeometry(info.x, info.y, info.width, info.height);
  ConnectSignals(page);
  QObject::connect(view_, &QObject::destroyed, [weak = weak_from_this()] {
    if (auto self = weak.lock()) self->OnViewDestroyed();
  });
  view_->show();
  if (!url.empty()) page->load(QUrl(QString::fromStdString(url)));
}

QWebEnginePage* QtBrowser::page() const { return view_ ? view_->page() : nullptr; }

void QtBrowser::PushPopupName(const QString& report) {
  // The address never holds a raw line feed; the name may.
  const qsizetype newline = report.lastIndexOf(QLatin1Char('\n'));
  if (newline < 0) return;
  const qint64 now = QDateTime::currentMSecsSinceEpoch();
  while (!popup_names_.empty() &&
         (popup_names_.size() >= kMostPopupNames || now - popup_names_.front().reported_ms > kPopupNameLifetimeMs))
    popup_names_.pop_front();
  popup_names_.push_back({report.left(newline), QUrl(report.mid(newline + 1)), now});
}

bool QtBrowser::TakePopupName(const QUrl& url, std::string& name) {
  const qint64 now = QDateTime::currentMSecsSinceEpoch();
  // A report whose window never came (an existing window was reused, the
  // page cancelled the click) expires.
  while (!popup_names_.empty() && now - popup_names_.front().reported_ms > kPopupNameLifetimeMs)
    popup_names_.pop_front();
  const QUrl wanted = url.isEmpty() ? QUrl(QStringLiteral("about:blank")) : url;
  for (auto it = popup_names_.rbegin(); it != popup_names_.rend(); ++it) {
    if (it->url != wanted) continue;
    name = it->name.toStdString();
    // Older reports belong to windows that will not come any more.
    popup_names_.erase(popup_names_.begin(), it.base());
    return true;
  }
  return false;
}

void QtBrowser::AppendCallPart(const QString& id, const QString& part) {
  // A page may start calls it never ends; what they hold is bounded.
  if (call_parts_length_ + part.size() > kMaxCallPartsLength) {
    call_parts_.clear();
    call_parts_length_ = 0;
  }
  call_parts_[id] += part;
  call_parts_length_ += part.size();
}

QString QtBrowser::TakeCall(const QString& id) {
  auto it = call_parts_.find(id);
  if (it == call_parts_.end()) return QString();
  QString whole = std::move(it->second);
  call_parts_.erase(it);
  call_parts_length_ -= whole.size();
  return whole;
}

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
    self->main_frame_navigation_.clear();
    auto frame = self->GetMainFrame();
    if (info.status() == QWebEngineLoadingInfo::LoadFailedStatus ||
        info.status() == QWebEngineLoadingInfo::LoadStoppedStatus) {
      int code = info.status() == QWebEngineLoadingInfo::LoadStoppedStatus ? ERR_ABORTED : info.errorCode();
      // The client cancelled this request over its certificate: that is an
      // aborted load, not a failure to show a page for.
      if (!self->rejected_certificate_url_.isEmpty() && info.url() == self->rejected_certificate_url_) {
        self->rejected_certificate_url_.clear();
        code = ERR_ABORTED;
      }
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
  QObject::connect(page, &QWebEnginePage::newWindowRequested, page, [weak](QWebEngineNewWindowRequest& request) {
    if (auto self = weak.lock()) self->OnNewWindowRequested(request);
  });
  QObject::connect(page, &QWebEnginePage::certificateError, page, [weak](const QWebEngineCertificateError& error) {
    if (auto self = weak.lock()) self->OnCertificateError(error);
  });
  QObject::connect(page, &QWebEnginePage::renderProcessTerminated, page,
                   [weak](QWebEnginePage::RenderProcessTerminationStatus status, int) {
                     auto self = weak.lock();
                     if (!self || status == QWebEnginePage::NormalTerminationStatus) return;
                     const TerminationStatus ts = status == QWebEnginePage::KilledTerminationStatus ? TS_PROCESS_WAS_KILLED
                                                  : status == QWebEnginePage::CrashedTerminationStatus
                                                      ? TS_PROCESS_CRASHED
                                                      : TS_ABNORMAL_TERMINATION;
                     self->client_->OnRenderProcessTerminated(self, ts);
                   });
  QObject::connect(page, &QWebEnginePage::featurePermissionRequested, page,
                   [weak](const QUrl& origin, QWebEnginePage::Feature feature) {
                     auto self = weak.lock();
                     if (!self) return;
                     // Every request is answered: an unanswered one never
                     // settles in the page.
                     const std::string from = origin.toString().toStdString();
                     bool allowed = false;
                     if (feature == QWebEnginePage::Geolocation)
                       allowed = self->client_->OnRequestGeolocationPermission(self, from);
                     else if (feature == QWebEnginePage::Notifications)
                       allowed = self->client_->OnRequestNotificationPermission(self, from);
                     self->page()->setFeaturePermission(origin, feature,
                                                        allowed ? QWebEnginePage::PermissionGrantedByUser
                                                                : QWebEnginePage::PermissionDeniedByUser);
                   });
  QObject::connect(page, &QWebEnginePage::quotaRequested, page, [weak](QWebEngineQuotaRequest request) {
    auto self = weak.lock();
    if (self && self->client_->OnQuotaRequest(self, request.origin().toString().toStdString(), request.requestedSize()))
      request.accept();
    else
      request.reject();
  });
  QObject::connect(page, &QWebEnginePage::printRequested, page, [weak] {
    if (auto self = weak.lock()) self->Print();
  });
}

void QtBrowser::OnNewWindowRequested(QWebEngineNewWindowRequest& request) {
  const WindowOpenDisposition disposition = DispositionOf(request.destination());
  const std::string url = request.requestedUrl().toString().toStdString();
  std::string name;
  const bool reported = TakePopupName(request.requestedUrl(), name);
  auto self = shared_from_this();
  if (!reported && (disposition == WOD_NEW_FOREGROUND_TAB || disposition == WOD_NEW_BACKGROUND_TAB)) {
    if (!client_->OnOpenURLFromTab(self, GetMainFrame(), url, disposition, request.isUserInitiated()))
      page()->load(request.requestedUrl());
    return;
  }
  WindowInfo info;
  std::shared_ptr<Client> popup_client = client_;
  BrowserSettings settings;
  PopupFeatures features;
  features.dialog = request.destination() == QWebEngineNewWindowRequest::InNewDialog;
  if (client_->OnBeforePopup(self, GetMainFrame(), url, name, disposition, request.isUserInitiated(), features, info,
                             popup_client, settings))
    return;
  auto popup = CreateQtBrowser(info, popup_client, page()->profile(), std::string());
  if (popup) request.openIn(popup->page());
}

void QtBrowser::OnCertificateError(const QWebEngineCertificateError& error) {
  QWebEngineCertificateError decision = error;
  // Qt 6.4 does not say which frame a request belongs to. Only the main
  // frame's own navigation replaces the page; an image, script or sub-frame
  // with a bad certificate is refused and the page stays.
  if (error.url() != main_frame_navigation_) {
    decision.rejectCertificate();
    return;
  }
  const bool proceed = client_->OnCertificateError(shared_from_this(), error.type(), error.url().toString().toStdString(),
                                                   SslInfoFrom(error));
  if (proceed && decision.isOverridable()) {
    decision.acceptCertificate();
    return;
  }
  rejected_certificate_url_ = error.url();
  decision.rejectCertificate();
}

std::shared_ptr<Frame> QtBrowser::GetMainFrame() { return std::make_shared<QtFrame>(weak_from_this()); }

bool QtBrowser::CanGoBack() const { return page() && page()->history()->canGoBack(); }
bool QtBrowser::CanGoForward() const { return page() && page()->history()->canGoForward(); }
void QtBrowser::GoBack() { if (page()) page()->triggerAction(QWebEnginePage::Back); }
void QtBrowser::GoForward() { if (page()) page()->triggerAction(QWebEnginePage::Forward); }
void QtBrowser::Reload() {
  if (!page()) return;
  // A page made from a string stands in for the address it was given (a
  // load failure's): reloading it tries that address again.
  if (!string_page_url_.isEmpty() && page()->url() == string_page_url_) {
    page()->load(string_page_url_);
    return;
  }
  page()->triggerAction(QWebEnginePage::Reload);
}

void QtBrowser::LoadString(const QString& html, const QUrl& url) {
  if (!page()) return;
  string_page_url_ = url;
  page()->setHtml(html, url);
}
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
    QWidget* top = windowless_parent_ ? windowless_parent_->window() : view_->window();
    if (top && top != view_) top->close();
  }
}

void QtBrowser::SetFocus(bool focus) {
  if (!view_) return;
  if (focus)
    view_->setFocus();
  else
    view_->clearFocus();
}

void QtBrowser::Find(int, const std::u16string& text, bool forward, bool match_case, bool) {
  if (!page()) return;
  QWebEnginePage::FindFlags flags;
  if (!forward) flags |= QWebEnginePage::FindBackward;
  if (match_case) flags |= QWebEnginePage::FindCaseSensitively;
  page()->findText(QString::fromStdU16String(text), flags);
}

void QtBrowser::StopFinding(bool clear_selection) {
  if (page() && clear_selection) page()->findText(QString());
}

void QtBrowser::ClearHttpCache() {
  if (page()) page()->profile()->clearHttpCache();
}

void QtBrowser::Print() {
  if (!view_ || printing_) return;
  QPrinter* printer = new QPrinter(QPrinter::HighResolution);
  QPrintDialog dialog(printer, view_);
  dialog.setObjectName(QStringLiteral("printDialog"));
  if (dialog.exec() != QDialog::Accepted || !view_) {
    delete printer;
    return;
  }
  // A PDF file gets the page's own text and vectors, not pictures of it.
  if (printer->outputFormat() == QPrinter::PdfFormat && !printer->outputFileName().isEmpty()) {
    page()->printToPdf(printer->outputFileName(), printer->pageLayout());
    delete printer;
    return;
  }
  printing_ = true;
  std::weak_ptr<QtBrowser> weak = shared_from_this();
  // The printer goes when the engine is done with it; if the view goes
  // first, the printer is left alone rather than destroyed mid-job.
  QObject::connect(view_, &QWebEngineView::printFinished, view_, [weak, printer](bool) {
    delete printer;
    if (auto self = weak.lock()) self->printing_ = false;
  }, Qt::SingleShotConnection);
  view_->print(printer);
}

void QtBrowser::StartWindowMove() {
  QWidget* window = view_ ? view_->window() : nullptr;
  if (window && window->windowHandle()) window->windowHandle()->startSystemMove();
}

void QtBrowser::ShowDevTools(const WindowInfo& window_info, std::shared_ptr<Client> client,
                             const BrowserSettings&) {
  if (!page()) return;
  auto tools = CreateQtBrowser(window_info, client, page()->profile(), std::string());
  if (tools) page()->setDevToolsPage(tools->page());
}

QWidget* QtBrowser::InputTarget() const {
  if (!view_) return nullptr;
  return view_->focusProxy() ? view_->focusProxy() : view_.data();
}

void QtBrowser::WasResized() {
  if (frames_) frames_->Resize();
}

void QtBrowser::WasHidden(bool hidden) {
  if (frames_) frames_->SetHidden(hidden);
}

void QtBrowser::Invalidate(PaintElementType type) {
  if (!frames_) return;
  if (type == PET_VIEW)
    frames_->InvalidateView();
  else
    frames_->RepaintPopup();
}

void QtBrowser::SendFocusEvent(bool focus) {
  QWidget* target = InputTarget();
  if (!target || !windowless_parent_) return;
  QFocusEvent event(focus ? QEvent::FocusIn : QEvent::FocusOut, Qt::OtherFocusReason);
  QCoreApplication::sendEvent(target, &event);
}

void QtBrowser::SendKeyEvent(const KeyEvent& event) {
  QWidget* target = InputTarget();
  if (!target || !windowless_parent_) return;
  const Qt::KeyboardModifiers modifiers = QtModifiersFromEventFlags(event.modifiers);
  if (event.type == KEYEVENT_CHAR) {
    // The text of a key; its key-down went before without text.
    QKeyEvent typed(QEvent::KeyPress, 0, modifiers, QString(QChar(event.character)));
    QCoreApplication::sendEvent(target, &typed);
    return;
  }
  const int key = QtKeyFromWindowsKeyCode(event.windows_key_code);
  QKeyEvent key_event(event.type == KEYEVENT_KEYUP ? QEvent::KeyRelease : QEvent::KeyPress, key, modifiers,
                      static_cast<quint32>(event.native_key_code), 0, 0);
  QCoreApplication::sendEvent(target, &key_event);
}

void QtBrowser::SendMouseClickEvent(const MouseEvent& event, MouseButtonType type, bool mouse_up, int click_count) {
  QWidget* target = InputTarget();
  if (!target || !windowless_parent_) return;
  const Qt::MouseButton button = type == MBT_RIGHT ? Qt::RightButton : type == MBT_MIDDLE ? Qt::MiddleButton
                                                                                          : Qt::LeftButton;
  if (mouse_up)
    pressed_buttons_ &= ~button;
  else
    pressed_buttons_ |= button;
  const QPointF at(event.x, event.y);
  const QEvent::Type kind = mouse_up ? QEvent::MouseButtonRelease
                            : click_count == 2 ? QEvent::MouseButtonDblClick : QEvent::MouseButtonPress;
  QMouseEvent mouse(kind, at, target->mapToGlobal(at), button, pressed_buttons_,
                    QtModifiersFromEventFlags(event.modifiers));
  mouse.setTimestamp(static_cast<quint64>(QDateTime::currentMSecsSinceEpoch()));
  QCoreApplication::sendEvent(target, &mouse);
}

void QtBrowser::SendMouseMoveEvent(const MouseEvent& event, bool mouse_leave) {
  QWidget* target = InputTarget();
  if (!target || !windowless_parent_) return;
  if (mouse_leave) {
    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(target, &leave);
    return;
  }
  const QPointF at(event.x, event.y);
  QMouseEvent mouse(QEvent::MouseMove, at, target->mapToGlobal(at), Qt::NoButton, pressed_buttons_,
                    QtModifiersFromEventFlags(event.modifiers));
  QCoreApplication::sendEvent(target, &mouse);
}

void QtBrowser::SendMouseWheelEvent(const MouseEvent& event, int delta_x, int delta_y) {
  QWidget* target = InputTarget();
  if (!target || !windowless_parent_) return;
  const QPointF at(event.x, event.y);
  QWheelEvent wheel(at, target->mapToGlobal(at), QPoint(), QPoint(delta_x, delta_y), pressed_buttons_,
                    QtModifiersFromEventFlags(event.modifiers), Qt::NoScrollPhase, false);
  QCoreApplication::sendEvent(target, &wheel);
}

void QtBrowser::SendCaptureLostEvent() {
  // A press whose release never comes: the page is told the buttons are up.
  pressed_buttons_ = Qt::NoButton;
}

void QtErrorSubFrame::LoadURL(const std::string& url) {
  reply_ = QStringLiteral("url\n") + QString::fromStdString(url);
}

void QtErrorSubFrame::LoadString(const std::u16string& html, const std::string&) {
  reply_ = QStringLiteral("html\n") + QString::fromStdU16String(html);
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
