#ifndef ENGINE_QT_PAGE_BRIDGE_H_
#define ENGINE_QT_PAGE_BRIDGE_H_

#include <QString>
#include <QUrl>
#include <memory>

namespace engine {

class QtBrowser;

// Everything injected into each frame: the bootstrap, then the registered
// extensions in registration order.
QString PageScripts();
// The error-page script, for a world of its own.
QString ErrorPageScripts();

// Runs one call of the page-side bootstrap (|call| is the prompt text
// after the marker) and returns the answer for the page.
QString HandleBridgeCall(const std::shared_ptr<QtBrowser>& browser, const QUrl& origin, const QString& call);

}  // namespace engine

#endif  // ENGINE_QT_PAGE_BRIDGE_H_
