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

// Injected into every frame in a world of its own, which the page's
// scripts cannot reach: only a frame that really shows the engine's error
// page asks the client what to show instead, with |token|, which no page
// can know.
QString ErrorPageScript(const QString& token);

}  // namespace engine

#endif  // ENGINE_QT_BOOTSTRAP_SCRIPT_H_
