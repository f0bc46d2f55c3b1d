#include "engine/qt/browser_qt.h"

#include <QColor>
#include <QCoreApplication>
#include <QDateTime>
#include <QMimeData>
#include <QSslCertificate>
#include <QWebEngineCertificateError>
#include <QWebEngineFullScreenRequest>
#include <QWebEngineSettings>
#include <QPrintDialog>
#include <QPrinter>
#include <QPointer>
#include <QWindow>
#include <QWebEngineHistory>
#include <QWebEngineLoadingInfo>
#include <QWebEngineNewWindowRequest>
#include <QWebEngineProfile>
#include <QWebEngineScript>
#include <QWebEngineScriptCollection>
#include <QtGlobal>
#if QT_VERSION >= QT_VERSION_CHECK(6, 8, 0)
#include <QWebEnginePermission>
#else
#include <QWebEngineQuotaRequest>
#endif

#include "engine/qt/bootstrap_script.h"
#include "engine/qt/offscreen_accessibility.h"
#include "engine/qt/request_qt.h"
#include "engine/qt/page_bridge.h"

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
    if (auto browser = browser_.lock()) browser->LoadString(QString::fromStdU16String(html), QUrl(QString::fromStdString(url)));
  }

  void ExecuteJavaScript(const std::u16string& code, const std::string&, int) override {
    if (QWebEnginePage* page = Page()) page->runJavaScript(QString::fromStdU16String(code));
  }

  void EvaluateJavaScript(const std::u16string& code, std::function<void(bool)> done) override {
    QWebEnginePage* page = Page();
    if (!page) {
      done(false);
      return;
    }
    page->runJavaScript(QString::fromStdU16String(code), [done = std::move(done)](const QVariant& value) {
      done(value.typeId() == QMetaType::Bool && value.toBool());
    });
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

// The new-tab request whose page a browser made now takes over (UI thread).
QWebEngineNewWindowRequest* g_adoptable = nullptr;

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
    input_ = std::make_unique<QtWindowlessInput>(view_);
    AdoptForAccessibility(info.parent, view_);
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
  view_->show();
  if (!url.empty() && !AdoptNewWindowPage(page, QUrl(QString::fromStdString(url))))
    page->load(QUrl(QString::fromStdString(url)));
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
  // Every request is answered: an unanswered one never settles in the page.
#if QT_VERSION >= QT_VERSION_CHECK(6, 8, 0)
  QObject::connect(page, &QWebEnginePage::permissionRequested, page, [weak](QWebEnginePermission permission) {
    auto self = weak.lock();
    if (!self) return;
    const std::string from = permission.origin().toString().toStdString();
    bool allowed = false;
    if (permission.permissionType() == QWebEnginePermission::PermissionType::Geolocation)
      allowed = self->client_->OnRequestGeolocationPermission(self, from);
    else if (permission.permissionType() == QWebEnginePermission::PermissionType::Notifications)
      allowed = self->client_->OnRequestNotificationPermission(self, from);
    allowed ? permission.grant() : permission.deny();
  });
#else
  QObject::connect(page, &QWebEnginePage::featurePermissionRequested, page,
                   [weak](const QUrl& origin, QWebEnginePage::Feature feature) {
                     auto self = weak.lock();
                     if (!self) return;
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
  // Qt 6.5 stopped asking for quota: Chromium grants storage by its own rules.
  QObject::connect(page, &QWebEnginePage::quotaRequested, page, [weak](QWebEngineQuotaRequest request) {
    auto self = weak.lock();
    if (self && self->client_->OnQuotaRequest(self, request.origin().toString().toStdString(), request.requestedSize()))
      request.accept();
    else
      request.reject();
  });
#endif
  QObject::connect(page, &QWebEnginePage::printRequested, page, [weak] {
    if (auto self = weak.lock()) self->Print();
  });
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

void QtBrowser::OnNewWindowRequested(QWebEngineNewWindowRequest& request) {
  const WindowOpenDisposition disposition = DispositionOf(request.destination());
  const std::string url = request.requestedUrl().toString().toStdString();
  std::string name, opener;
  const bool reported = popup_names_.Take(request.requestedUrl(), name, opener);
  auto self = shared_from_this();
  if (!reported && (disposition == WOD_NEW_FOREGROUND_TAB || disposition == WOD_NEW_BACKGROUND_TAB)) {
    // A window the client makes meanwhile takes the engine's page: loaded
    // afresh, the address would pass as the program's own load.
    g_adoptable = &request;
    client_->OnOpenURLFromTab(self, GetMainFrame(), url, disposition, request.isUserInitiated(), opener);
    g_adoptable = nullptr;
    return;
  }
  WindowInfo info;
  std::shared_ptr<Client> popup_client = client_;
  BrowserSettings settings;
  PopupFeatures features;
  features.dialog = request.destination() == QWebEngineNewWindowRequest::InNewDialog;
  if (client_->OnBeforePopup(self, GetMainFrame(), url, name, disposition, request.isUserInitiated(), opener, features,
                             info, popup_client, settings))
    return;
  auto popup = CreateQtBrowser(info, popup_client, page()->profile(), std::string());
  if (popup) request.openIn(popup->page());
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
  // On the heap: the view may go while the dialog is open, taking it along.
  QPointer<QPrintDialog> dialog = new QPrintDialog(printer, view_);
  dialog->setObjectName(QStringLiteral("printDialog"));
  const bool accepted = dialog->exec() == QDialog::Accepted;
  delete dialog.data();
  if (!accepted || !view_) {
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

void QtBrowser::Invalidate(PaintElementType type) {
  if (!frames_) return;
  if (type == PET_VIEW)
    frames_->InvalidateView();
  else
    frames_->RepaintPopup();
}

void QtBrowser::OnViewDestroyed() {
  // The page goes after the view's own part: answers its destructor hands
  // to waiting callbacks must find no view here, not half of one.
  view_ = nullptr;
  // The view dies with its parent window, inside that window's destructor:
  // tell the client afterwards, from the message loop.
  auto self = shared_from_this();
  PostTask([self] {
    self->client_->OnBeforeClose(self);
    ReleaseBrowser(self->id_);
  });
}

bool AdoptNewWindowPage(QWebEnginePage* page, const QUrl& url) {
  if (!g_adoptable || g_adoptable->requestedUrl() != url) return false;
  g_adoptable->openIn(page);
  g_adoptable = nullptr;
  return true;
}

}  // namespace engine
