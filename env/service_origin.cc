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

}  // namespace env
