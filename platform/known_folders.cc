#include "platform/known_folders.h"

#include <unistd.h>

#include <cstdlib>

namespace platform {

namespace {

std::string Env(const char* name) {
  const char* value = std::getenv(name);
  return value ? std::string(value) : std::string();
}

// An XDG base folder: the variable when it holds an absolute path, else
// |under_home| in the home folder.
std::string BaseFolder(const char* variable, const char* under_home) {
  const std::string folder = Env(variable);
  if (!folder.empty() && folder[0] == '/') return folder;
  const std::string home = Env("HOME");
  return home.empty() ? std::string() : home + under_home;
}

}  // namespace

std::string LocalAppDataFolder() { return BaseFolder("XDG_DATA_HOME", "/.local/share"); }
std::string ConfigFolder() { return BaseFolder("XDG_CONFIG_HOME", "/.config"); }
std::string StateFolder() { return BaseFolder("XDG_STATE_HOME", "/.local/state"); }

std::string ExecutablePath() {
  char buffer[4096];
  const ssize_t length = readlink("/proc/self/exe", buffer, sizeof(buffer) - 1);
  return length > 0 ? std::string(buffer, static_cast<size_t>(length)) : std::string();
}

}  // namespace platform
