#ifndef ENGINE_QT_BOOTSTRAP_SCRIPT_H_
#define ENGINE_QT_BOOTSTRAP_SCRIPT_H_

#include <QString>

namespace engine {

// Marks a JavaScript prompt() as a call of the page-side bootstrap rather
// than a dialog: the marker, the command, a line feed, the argument.
inline const QString kBridgeMarker = QStringLiteral("\u0001veltro-bridge\u0001");

// Injected at document creation into every frame: reports the target name
// of window.open and of links with a named target, for popup geometry.
QString BootstrapScript();

}  // namespace engine

#endif  // ENGINE_QT_BOOTSTRAP_SCRIPT_H_
