#ifndef PLATFORM_DISPLAY_SERVER_H_
#define PLATFORM_DISPLAY_SERVER_H_

#include <functional>
#include <string>

namespace platform {

// How the client reaches the user's screen.
struct DisplayChoice {
  bool usable = true;
  std::string qt_platform;  // the Qt platform to use; empty: Qt's own choice
  std::string note;         // why, for the program log; or what is missing
  std::string user_platform;  // the user's QT_QPA_PLATFORM the choice replaced
};

// From the environment's values (null or empty when unset). A platform the
// user chose stands. In a Wayland session with Xwayland the client runs on
// X11: native Wayland lets no program place its own windows, and popups
// here are placed by the page.
DisplayChoice ChooseDisplayServer(const char* qt_qpa_platform, const char* wayland_display, const char* display);

// Whether Qt has a plug-in for one of |platforms| (QT_QPA_PLATFORM's form:
// "wayland", "xcb:arguments", "wayland;xcb"), in its own folder or
// QT_PLUGIN_PATH's; |installed| says whether a plug-in file is there.
bool HasPlatformPlugin(const std::string& platforms, const std::function<bool(const std::string& file)>& installed);
// The sentence for a platform whose plug-in is missing: what to install,
// or how else to start.
std::string MissingPluginNote(const std::string& platforms);

// Whether a Wayland compositor listens at |wayland_display|: a socket name
// in |runtime_dir|, or an absolute path.
bool WaylandDisplayAnswers(const std::string& wayland_display, const std::string& runtime_dir);

// Chooses from this process's environment and applies the choice until
// ForgetDisplayChoice, so programs we start make their own. A platform Qt
// has no plug-in for is unusable, and so is a Wayland display that does
// not answer when there is no X display to go to instead: Qt would end the
// program without a word in its log.
DisplayChoice ApplyDisplayChoice();
void ForgetDisplayChoice(const DisplayChoice& choice);

}  // namespace platform

#endif  // PLATFORM_DISPLAY_SERVER_H_
