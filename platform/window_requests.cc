#include "platform/window_requests.h"

#include <QPointer>
#include <sstream>

#include "platform/top_level_window.h"

namespace platform {

std::string MessageRequest(const char* verb, const WindowMessage& m) {
  return std::string(verb) + " " + std::to_string(m.message) + " " + std::to_string(m.wparam) + " " +
         std::to_string(m.lparam);
}

std::string RunRequest(TopLevelWindow* window, const std::string& line) {
  std::istringstream in(line);
  std::string command;
  in >> command;
  if (command == "post" || command == "send") {
    unsigned long long message = 0, wparam = 0;
    long long lparam = 0;
    if (!(in >> message >> wparam >> lparam) || message > 0xFFFFFFFFull) return "error";
    WindowMessage msg;
    msg.message = static_cast<uint32_t>(message);
    msg.wparam = static_cast<uintptr_t>(wparam);
    msg.lparam = static_cast<intptr_t>(lparam);
    if (command == "post") {
      QPointer<TopLevelWindow> target(window);
      QMetaObject::invokeMethod(
          window, [target, msg] { if (target) target->WindowProc(msg); }, Qt::QueuedConnection);
      return "1";
    }
    return std::to_string(window->WindowProc(msg));
  }
  if (command == "show") {
    int show = 0;
    if (!(in >> show)) return "error";
    window->ShowWithCommand(static_cast<ShowCommand>(show));
    return "1";
  }
  if (command == "foreground") {
    window->BringToForeground();
    return "1";
  }
  if (command == "fullscreen") {
    int on = 0;
    if (!(in >> on)) return "error";
    window->SetFullScreenPresentation(on != 0);
    return "1";
  }
  if (command == "ping") return "1";
  return "error";
}

}  // namespace platform
