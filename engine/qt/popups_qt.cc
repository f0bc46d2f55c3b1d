// Windows the page opens: the names it gave them (reported by the page's
// bootstrap, matched to the request) and the request itself.
#include <QDateTime>
#include <QWebEngineNewWindowRequest>

#include "engine/qt/browser_qt.h"

namespace engine {

namespace {

constexpr qint64 kPopupNameLifetimeMs = 2000;
// A page reports many names only by abuse; the oldest give way.
constexpr size_t kMostPopupNames = 64;

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

void QtBrowser::PushPopupName(const QString& report, const QUrl& origin) {
  // The address never holds a raw line feed; the name may.
  const qsizetype newline = report.lastIndexOf(QLatin1Char('\n'));
  if (newline < 0) return;
  const qint64 now = QDateTime::currentMSecsSinceEpoch();
  while (!popup_names_.empty() &&
         (popup_names_.size() >= kMostPopupNames || now - popup_names_.front().reported_ms > kPopupNameLifetimeMs))
    popup_names_.pop_front();
  popup_names_.push_back({report.left(newline), QUrl(report.mid(newline + 1)), origin, now});
}

bool QtBrowser::TakePopupName(const QUrl& url, std::string& name, std::string& origin) {
  const qint64 now = QDateTime::currentMSecsSinceEpoch();
  // A report whose window never came (an existing window was reused, the
  // page cancelled the click) expires.
  while (!popup_names_.empty() && now - popup_names_.front().reported_ms > kPopupNameLifetimeMs)
    popup_names_.pop_front();
  const QUrl wanted = url.isEmpty() ? QUrl(QStringLiteral("about:blank")) : url;
  for (auto it = popup_names_.rbegin(); it != popup_names_.rend(); ++it) {
    if (it->url != wanted) continue;
    name = it->name.toStdString();
    origin = it->origin.toString().toStdString();
    // Older reports belong to windows that will not come any more.
    popup_names_.erase(popup_names_.begin(), it.base());
    return true;
  }
  return false;
}

bool AdoptNewWindowPage(QWebEnginePage* page, const QUrl& url) {
  if (!g_adoptable || g_adoptable->requestedUrl() != url) return false;
  g_adoptable->openIn(page);
  g_adoptable = nullptr;
  return true;
}

void QtBrowser::OnNewWindowRequested(QWebEngineNewWindowRequest& request) {
  const WindowOpenDisposition disposition = DispositionOf(request.destination());
  const std::string url = request.requestedUrl().toString().toStdString();
  std::string name, opener;
  const bool reported = TakePopupName(request.requestedUrl(), name, opener);
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

}  // namespace engine
