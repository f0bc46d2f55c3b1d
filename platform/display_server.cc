#include "platform/display_server.h"

#include <unistd.h>

#include <QLibraryInfo>
#include <algorithm>
#include <cstdlib>
#include <vector>

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

bool HasPlatformPlugin(const std::string& platforms, const std::function<bool(const std::string& file)>& installed) {
  size_t start = 0;
  while (start <= platforms.size()) {
    const size_t end = std::min(platforms.find(';', start), platforms.size());
    const std::string entry = platforms.substr(start, end - start);
    const std::string name = entry.substr(0, entry.find(':'));
    // Both of Qt's Wayland plug-ins answer to "wayland".
    const std::vector<std::string> files =
        name == "wayland" ? std::vector<std::string>{"libqwayland-egl.so", "libqwayland-generic.so"}
                          : std::vector<std::string>{"libq" + name + ".so"};
    for (const std::string& file : files)
      if (!name.empty() && installed(file)) return true;
    start = end + 1;
  }
  return false;
}

std::string MissingPluginNote(const std::string& platforms) {
  if (platforms.compare(0, 7, "wayland") == 0)
    return "Qt's Wayland plug-in is missing: install the package qt6-wayland "
           "(sudo apt install qt6-wayland), or start through Xwayland with QT_QPA_PLATFORM=xcb";
  return "Qt has no display plug-in \"" + platforms + "\": set QT_QPA_PLATFORM to xcb or wayland";
}

DisplayChoice ApplyDisplayChoice() {
  const char* user_platform = std::getenv("QT_QPA_PLATFORM");
  DisplayChoice choice = ChooseDisplayServer(user_platform, std::getenv("WAYLAND_DISPLAY"), std::getenv("DISPLAY"));
  if (!choice.usable) return choice;
  // Qt's own choice on Linux is X11.
  const std::string platforms =
      !choice.qt_platform.empty() ? choice.qt_platform : user_platform && *user_platform ? user_platform : "xcb";
  std::vector<std::string> folders{QLibraryInfo::path(QLibraryInfo::PluginsPath).toStdString()};
  if (const char* extra = std::getenv("QT_PLUGIN_PATH")) {
    std::string paths = extra;
    for (size_t start = 0; start < paths.size();) {
      const size_t end = std::min(paths.find(':', start), paths.size());
      if (end > start) folders.push_back(paths.substr(start, end - start));
      start = end + 1;
    }
  }
  const bool found = HasPlatformPlugin(platforms, [&](const std::string& file) {
    for (const std::string& folder : folders)
      if (access((folder + "/platforms/" + file).c_str(), R_OK) == 0) return true;
    return false;
  });
  if (!found) return {false, "", MissingPluginNote(platforms)};
  if (!choice.qt_platform.empty()) setenv("QT_QPA_PLATFORM", choice.qt_platform.c_str(), 1);
  return choice;
}

void ForgetDisplayChoice(const DisplayChoice& choice) {
  if (!choice.qt_platform.empty()) unsetenv("QT_QPA_PLATFORM");
}

}  // namespace platform
