#include "platform/known_folders.h"

#include <cstdlib>
#include <fstream>
#include <unistd.h>

namespace platform {

namespace {

std::string Env(const char* name) {
  const char* value = std::getenv(name);
  return value ? std::string(value) : std::string();
}

std::string Home() { return Env("HOME"); }

// Reads XDG_<key>_DIR from user-dirs.dirs ("$HOME/..." or an absolute path).
std::string UserDir(const std::string& key, const std::string& fallback_name) {
  const std::string home = Home();
  std::string config = Env("XDG_CONFIG_HOME");
  if (config.empty() && !home.empty()) config = home + "/.config";
  if (!config.empty()) {
    std::ifstream in(config + "/user-dirs.dirs");
    std::string line;
    const std::string prefix = "XDG_" + key + "_DIR=";
    while (std::getline(in, line)) {
      if (line.compare(0, prefix.size(), prefix) != 0) continue;
      std::string value = line.substr(prefix.size());
      if (value.size() >= 2 && value.front() == '"' && value.back() == '"') value = value.substr(1, value.size() - 2);
      if (value.compare(0, 5, "$HOME") == 0) value = home + value.substr(5);
      if (!value.empty() && value[0] == '/') return value;
    }
  }
  return home.empty() ? std::string() : home + "/" + fallback_name;
}

}  // namespace

std::string LocalAppDataFolder() {
  const std::string data_home = Env("XDG_DATA_HOME");
  if (!data_home.empty() && data_home[0] == '/') return data_home;
  const std::string home = Home();
  return home.empty() ? std::string() : home + "/.local/share";
}

std::string DocumentsFolder() { return UserDir("DOCUMENTS", "Documents"); }

std::string DesktopFolder() { return UserDir("DESKTOP", "Desktop"); }

std::string ExecutablePath() {
  char buffer[4096];
  const ssize_t length = readlink("/proc/self/exe", buffer, sizeof(buffer) - 1);
  return length > 0 ? std::string(buffer, static_cast<size_t>(length)) : std::string();
}

}  // namespace platform
