#include "platform/desktop_proxy.h"

#include <QNetworkProxyFactory>
#include <QNetworkProxyQuery>
#include <QUrl>

namespace platform {

std::string DesktopProxyFor(const std::string& url) {
  // Qt asks libproxy, which reads what the engine reads on this desktop.
  const QList<QNetworkProxy> proxies =
      QNetworkProxyFactory::systemProxyForQuery(QNetworkProxyQuery(QUrl(QString::fromStdString(url))));
  for (const QNetworkProxy& proxy : proxies) {
    const std::string host = proxy.hostName().toStdString();
    const std::string port = std::to_string(proxy.port());
    switch (proxy.type()) {
      case QNetworkProxy::NoProxy: return std::string();
      case QNetworkProxy::HttpProxy:
      case QNetworkProxy::HttpCachingProxy: return "http://" + host + ":" + port;
      case QNetworkProxy::Socks5Proxy: return "socks5h://" + host + ":" + port;
      default: continue;
    }
  }
  return std::string();
}

}  // namespace platform
