#ifndef PLATFORM_DESKTOP_PROXY_H_
#define PLATFORM_DESKTOP_PROXY_H_

#include <functional>
#include <map>
#include <string>
#include <vector>

namespace platform {

// What the user's session says about proxies: the environment first, then
// the desktop's own settings (GNOME's GSettings, KDE's kioslaverc).
struct DesktopProxy {
  enum class Kind { kNone, kServers, kScript };
  Kind kind = Kind::kNone;
  // The engine's list: "host:port", or "http=h:p;https=h:p;socks=socks5://h:p".
  std::string servers;
  // Hosts that go direct, as the engine's bypass rules ("*.corp", "10.0.0.0/8").
  std::vector<std::string> bypass;
  std::string script_url;  // the automatic configuration script's address
  std::string source;      // "environment", "GNOME settings", "KDE settings"
};

// GNOME's org.gnome.system.proxy keys as read, "" or 0 where unset.
struct GnomeProxySettings {
  std::string mode;  // "none", "manual", "auto"
  std::string autoconfig_url;
  std::vector<std::string> ignore_hosts;
  std::map<std::string, std::pair<std::string, int>> servers;  // "http", "https", "socks"
};

using EnvironmentLookup = std::function<std::string(const char* name)>;

DesktopProxy DesktopProxyFromEnvironment(const EnvironmentLookup& environment);
DesktopProxy DesktopProxyFromGnome(const GnomeProxySettings& settings);
DesktopProxy DesktopProxyFromKde(const std::string& kioslaverc_text);

// Reads the session's settings; the desktop's are asked only on the desktop
// XDG_CURRENT_DESKTOP names. Call once, before the engine or any other
// thread starts: GNOME's are read in a forked child.
DesktopProxy ReadDesktopProxy();

}  // namespace platform

#endif  // PLATFORM_DESKTOP_PROXY_H_
