#ifndef ENGINE_QT_ENGINE_LOG_QT_H_
#define ENGINE_QT_ENGINE_LOG_QT_H_

#include <string>

namespace engine {

// Qt's and the engine's notes (its settings at start, the graphics back-ends
// it tried) go to the engine's own log at |path|, not to the user's
// terminal; only a fatal error is printed too. Any thread.
void SendQtMessagesTo(const std::string& path);

}  // namespace engine

#endif  // ENGINE_QT_ENGINE_LOG_QT_H_
