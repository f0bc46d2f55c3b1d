#include "browser/request_headers.h"

#include <QUrl>

#include "env/product.h"

namespace browser {

namespace {

bool SameOrigin(const QUrl& a, const QUrl& b) {
  return a.scheme() == b.scheme() && a.host() == b.host() && a.port(-1) == b.port(-1);
}

// Port numbers the scheme implies are left out of origins.
QUrl WithDefaultPort(QUrl url) {
  if ((url.scheme() == QLatin1String("http") && url.port() == 80) ||
      (url.scheme() == QLatin1String("https") && url.port() == 443))
    url.setPort(-1);
  return url;
}

}  // namespace

bool HeadersWouldCausePreflight(engine::ResourceType type, const std::string& initiator, const std::string& url) {
  switch (type) {
    // Navigations are never CORS requests.
    case engine::RT_MAIN_FRAME:
    case engine::RT_SUB_FRAME:
    case engine::RT_NAVIGATION_PRELOAD_MAIN_FRAME:
    case engine::RT_NAVIGATION_PRELOAD_SUB_FRAME:
      return false;
    default:
      break;
  }
  if (initiator.empty()) return false;
  const QUrl from = WithDefaultPort(QUrl(QString::fromStdString(initiator)));
  const QUrl to = WithDefaultPort(QUrl(QString::fromStdString(url)));
  if (SameOrigin(from, to)) return false;
  switch (type) {
    // Fetched without CORS unless the page asks for it (crossorigin, module
    // scripts), which the engine does not tell here.
    case engine::RT_STYLESHEET:
    case engine::RT_SCRIPT:
    case engine::RT_IMAGE:
    case engine::RT_OBJECT:
    case engine::RT_MEDIA:
    case engine::RT_PREFETCH:
    case engine::RT_FAVICON:
    case engine::RT_CSP_REPORT:
      return false;
    // fetch, XMLHttpRequest, fonts, beacons, EventSource and the like are
    // CORS requests or may be.
    default:
      return true;
  }
}

void AddProductHeaders(engine::Request& request) {
  // A server that does not answer the preflight would fail the page's
  // request: such a request goes without the headers.
  if (HeadersWouldCausePreflight(request.GetResourceType(), request.GetInitiator(), request.GetURL())) return;
  engine::Request::HeaderMap headers;
  request.GetHeaderMap(headers);
  headers.emplace("My-Header", "crm");
  headers.emplace("My-Version", env::PRODUCT_VERSION);
  request.SetHeaderMap(headers);
}

}  // namespace browser
