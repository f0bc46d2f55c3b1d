#ifndef ENGINE_QT_PAGE_BRIDGE_H_
#define ENGINE_QT_PAGE_BRIDGE_H_

#include <QString>
#include <QUrl>
#include <deque>
#include <map>
#include <memory>

namespace engine {

class QtBrowser;

// Everything injected into each frame: the bootstrap, then the registered
// extensions in registration order.
QString PageScripts();
// The error-page script, for a world of its own.
QString ErrorPageScripts();

// The calls a page sends in parts, one browser's: each part appended under
// its id, the whole taken out (and forgotten) at its end. A page may start
// calls it never ends; what they hold is bounded.
class BridgeCallParts {
 public:
  void Append(const QString& id, const QString& part);
  // Empty when |id| is unknown.
  QString Take(const QString& id);

 private:
  std::map<QString, QString> parts_;
  qsizetype length_ = 0;
};

// The origins frames registered for their one-way calls, by each frame's
// secret token. A token is kept with the first origin it came with; a page
// that registers past the room pushes out its oldest tokens.
class OneWayOrigins {
 public:
  void Register(const QString& token, const QUrl& origin);
  // Empty when |token| is unknown.
  QUrl OriginOf(const QString& token) const;

 private:
  std::map<QString, QUrl> origins_;
  std::deque<QString> order_;
};

// Runs one call of the page-side bootstrap (|call| is the prompt text
// after the marker) and returns the answer for the page. A call of the
// one-way channel comes with |origin| "about:console" and, in
// |one_way_origin|, the origin its frame registered.
QString HandleBridgeCall(const std::shared_ptr<QtBrowser>& browser, const QUrl& origin, const QString& call,
                         const QUrl& one_way_origin = QUrl());

}  // namespace engine

#endif  // ENGINE_QT_PAGE_BRIDGE_H_
