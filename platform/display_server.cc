#include "platform/display_server.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <QLibraryInfo>
#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <vector>

namespace platform {

namespace {
bool Set(const char* value) { return value && *value; }
}  // namespace

DisplayChoice ChooseDisplayServer(const char* qt_qpa_platform, const char* wayland_display, const char* display) {
  if (Set(qt_qpa_platform)) return {};
  if (Set(wayland_display) && Set(display))
    return {true, "xcb", "Wayland session: the windows go through Xwayland, where popups can be placed", ""};
  if (Set(wayland_display))
    return {true, "wayland", "Wayland session without Xwayland: the compositor places popups", ""};
  if (Set(display)) return {};
  return {false, "", "no display found: neither DISPLAY nor WAYLAND_DISPLAY is set", ""};
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

bool WaylandDisplayAnswers(const std::string& wayland_display, const std::string& runtime_dir) {
  const std::string path = !wayland_display.empty() && wayland_display[0] == '/' ? wayland_display
                                                                                  : runtime_dir + "/" + wayland_display;
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (path.size() >= sizeof(address.sun_path)) return false;
  std::copy(path.begin(), path.end(), address.sun_path);
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0) return false;
  // A compositor with a full backlog answers later, but it is there.
  const bool answers = connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0 || errno == EAGAIN;
  close(fd);
  return answers;
}

DisplayChoice ApplyDisplayChoice() {
  const char* user_platform = std::getenv("QT_QPA_PLATFORM");
  DisplayChoice choice = ChooseDisplayServer(user_platform, std::getenv("WAYLAND_DISPLAY"), std::getenv("DISPLAY"));
  if (!choice.usable) return choice;
  // Qt's own choice on Linux is X11.
  std::string platforms =
      !choice.qt_platform.empty() ? choice.qt_platform : user_platform && *user_platform ? user_platform : "xcb";
  if (platforms.compare(0, 7, "wayland") == 0) {
    const char* wayland_display = std::getenv("WAYLAND_DISPLAY");
    const char* runtime_dir = std::getenv("XDG_RUNTIME_DIR");
    const std::string name = Set(wayland_display) ? wayland_display : "wayland-0";
    if (!WaylandDisplayAnswers(name, Set(runtime_dir) ? runtime_dir : "")) {
      const std::string why = "the Wayland display " + name + " does not answer";
      if (!Set(std::getenv("DISPLAY"))) return {false, "", why + ": is the desktop session running?", ""};
      choice = {true, "xcb", why + ": the windows go through X11 (DISPLAY)", Set(user_platform) ? user_platform : ""};
      platforms = "xcb";
    }
  }
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
  if (!found) return {false, "", MissingPluginNote(platforms), ""};
  if (!choice.qt_platform.empty()) setenv("QT_QPA_PLATFORM", choice.qt_platform.c_str(), 1);
  return choice;
}

void ForgetDisplayChoice(const DisplayChoice& choice) {
  if (!choice.user_platform.empty()) setenv("QT_QPA_PLATFORM", choice.user_platform.c_str(), 1);
  else if (!choice.qt_platform.empty()) unsetenv("QT_QPA_PLATFORM");
}

}  // namespace platform
