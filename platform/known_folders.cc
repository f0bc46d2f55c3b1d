#include "platform/known_folders.h"

#include <QStandardPaths>
#include <cstdlib>
#include <unistd.h>

namespace platform {

namespace {

std::string Env(const char* name) {
  const char* value = std::getenv(name);
  return value ? std::string(value) : std::string();
}

std::string Home() { return Env("HOME"); }

}  // namespace

std::string LocalAppDataFolder() {
  const std::string data_home = Env("XDG_DATA_HOME");
  if (!data_home.empty() && data_home[0] == '/') return data_home;
  const std::string home = Home();
  return home.empty() ? std::string() : home + "/.local/share";
}

std::string DocumentsFolder() {
  return QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation).toStdString();
}

std::string DesktopFolder() {
  return QStandardPaths::writableLocation(QStandardPaths::DesktopLocation).toStdString();
}

std::string ExecutablePath() {
  char buffer[4096];
  const ssize_t length = readlink("/proc/self/exe", buffer, sizeof(buffer) - 1);
  return length > 0 ? std::string(buffer, static_cast<size_t>(length)) : std::string();
}

}  // namespace platform
