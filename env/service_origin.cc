#include "env/service_origin.h"

#include <QUrl>

namespace env {

bool IsServicePage(const std::string& url, const std::string& start_url) {
  const QUrl page(QString::fromStdString(url)), start(QString::fromStdString(start_url));
  return page.isValid() && !page.host().isEmpty() && page.scheme() == start.scheme() &&
         page.host().compare(start.host(), Qt::CaseInsensitive) == 0 &&
         page.port(page.scheme() == QLatin1String("https") ? 443 : 80) ==
             start.port(start.scheme() == QLatin1String("https") ? 443 : 80);
}

std::string WebOrigin(const std::string& url) {
  const QUrl parsed(QString::fromStdString(url));
  const QString scheme = parsed.scheme().toLower();
  if (!parsed.isValid() || parsed.host().isEmpty() || (scheme != QLatin1String("http") && scheme != QLatin1String("https")))
    return std::string();
  QString host = parsed.host(QUrl::FullyEncoded).toLower();
  if (host.contains(QLatin1Char(':'))) host = QLatin1Char('[') + host + QLatin1Char(']');
  QString origin = scheme + QStringLiteral("://") + host;
  const int port = parsed.port();
  if (port >= 0 && port != (scheme == QLatin1String("https") ? 443 : 80)) origin += QLatin1Char(':') + QString::number(port);
  return origin.toStdString();
}

}  // namespace env
