#ifndef ENGINE_QT_BOOTSTRAP_SCRIPT_H_
#define ENGINE_QT_BOOTSTRAP_SCRIPT_H_

#include <QString>

namespace engine {

// Marks a JavaScript prompt() as a call of the page-side bootstrap rather
// than a dialog: the marker, the command, a line feed, the argument.
inline const QString kBridgeMarker = QStringLiteral("\u0001veltro-bridge\u0001");

// Injected at document creation into every frame, before the extensions:
// the native-function stub, uncaught exceptions, focus changes, cefQuery,
// failed sub-frames and the target names of new windows.
QString BootstrapScript();

}  // namespace engine

#endif  // ENGINE_QT_BOOTSTRAP_SCRIPT_H_
