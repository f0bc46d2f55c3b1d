#include "engine/qt/popup_names_qt.h"

#include <QDateTime>

namespace engine {

namespace {

constexpr qint64 kPopupNameLifetimeMs = 2000;
// A page reports many names only by abuse; the oldest give way.
constexpr size_t kMostPopupNames = 64;

}  // namespace

void QtPopupNames::DropExpired(qint64 now) {
  while (!reports_.empty() && now - reports_.front().reported_ms > kPopupNameLifetimeMs) reports_.pop_front();
}

void QtPopupNames::Push(const QString& report, const QUrl& origin) {
  // The address never holds a raw line feed; the name may.
  const qsizetype newline = report.lastIndexOf(QLatin1Char('\n'));
  if (newline < 0) return;
  const qint64 now = QDateTime::currentMSecsSinceEpoch();
  DropExpired(now);
  while (reports_.size() >= kMostPopupNames) reports_.pop_front();
  reports_.push_back({report.left(newline), QUrl(report.mid(newline + 1)), origin, now});
}

bool QtPopupNames::Take(const QUrl& url, std::string& name, std::string& origin) {
  DropExpired(QDateTime::currentMSecsSinceEpoch());
  const QUrl wanted = url.isEmpty() ? QUrl(QStringLiteral("about:blank")) : url;
  for (auto it = reports_.rbegin(); it != reports_.rend(); ++it) {
    if (it->url != wanted) continue;
    name = it->name.toStdString();
    origin = it->origin.toString().toStdString();
    // Older reports belong to windows that will not come any more.
    reports_.erase(reports_.begin(), it.base());
    return true;
  }
  return false;
}

}  // namespace engine
