#include "platform/display_server.h"

#include <cstdlib>

namespace platform {

namespace {
bool Set(const char* value) { return value && *value; }
}  // namespace

DisplayChoice ChooseDisplayServer(const char* qt_qpa_platform, const char* wayland_display, const char* display) {
  if (Set(qt_qpa_platform)) return {};
  if (Set(wayland_display) && Set(display))
    return {true, "xcb", "Wayland session: the windows go through Xwayland, where popups can be placed"};
  if (Set(wayland_display))
    return {true, "wayland", "Wayland session without Xwayland: the compositor places popups"};
  if (Set(display)) return {};
  return {false, "", "no display found: neither DISPLAY nor WAYLAND_DISPLAY is set"};
}

DisplayChoice ApplyDisplayChoice() {
  DisplayChoice choice =
      ChooseDisplayServer(std::getenv("QT_QPA_PLATFORM"), std::getenv("WAYLAND_DISPLAY"), std::getenv("DISPLAY"));
  if (!choice.qt_platform.empty()) setenv("QT_QPA_PLATFORM", choice.qt_platform.c_str(), 1);
  return choice;
}

void ForgetDisplayChoice(const DisplayChoice& choice) {
  if (!choice.qt_platform.empty()) unsetenv("QT_QPA_PLATFORM");
}

}  // namespace platform
