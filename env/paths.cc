#include "env/paths.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/known_folders.h"

namespace env {

std::string GetModuleDirectory() {
  const std::string exe = platform::ExecutablePath();
  const size_t slash = exe.rfind('/');
  return slash == std::string::npos ? std::string() : exe.substr(0, slash + 1);
}

namespace {

// Creates |folder| and every missing folder above it, private to the user
// as the XDG folders are.
void MakeFolders(const std::string& folder) {
  for (size_t slash = folder.find('/', 1); slash != std::string::npos; slash = folder.find('/', slash + 1))
    mkdir(folder.substr(0, slash).c_str(), 0700);
  mkdir(folder.c_str(), 0700);
}

}  // namespace

std::string GetConfigFilePath() {
  const std::string data_home = platform::LocalAppDataFolder();
  if (data_home.empty()) return "config.ini";
  const std::string folder = data_home + "/morvanecrmconfig";
  MakeFolders(folder);
  return folder + "/config.ini";
}

std::string GetUserDataDirectory() {
  const std::string data_home = platform::LocalAppDataFolder();
  return data_home.empty() ? std::string() : data_home + "/morvanecrm/";
}

std::string GetFlagsFilePath() {
  const std::string module = GetModuleDirectory();
  if (access(module.c_str(), W_OK) == 0) return module + "pardo.ini";
  const std::string config = platform::ConfigFolder();
  if (config.empty()) return module + "pardo.ini";
  MakeFolders(config + "/veltrocrm");
  return config + "/veltrocrm/pardo.ini";
}

std::string GetLogDirectory() {
  const std::string beside = GetModuleDirectory() + "log/";
  struct stat status;
  if (stat(beside.c_str(), &status) == 0 && S_ISDIR(status.st_mode) && access(beside.c_str(), W_OK) == 0)
    return beside;
  const std::string state = platform::StateFolder();
  if (state.empty()) return std::string();
  MakeFolders(state + "/veltrocrm/log");
  return state + "/veltrocrm/log/";
}

std::string HostsHelperPath() { return GetModuleDirectory() + "veltrocrm-hosts-helper"; }

void ClearUserDataDirectory() {
  const std::string folder = GetUserDataDirectory();
  if (!folder.empty()) DeleteFolderContents(folder);
}

void DeleteFolderContents(const std::string& folder) {
  DIR* dir = opendir(folder.c_str());
  if (!dir) return;
  while (dirent* entry = readdir(dir)) {
    const std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    const std::string path = folder + name;
    struct stat status;
    // lstat: a link is an entry of its own, never the thing it points to.
    if (lstat(path.c_str(), &status) != 0) break;
    if (S_ISDIR(status.st_mode)) {
      DeleteFolderContents(path + "/");
      rmdir(path.c_str());
    } else if (unlink(path.c_str()) != 0 && S_ISREG(status.st_mode)) {
      const int fd = open(path.c_str(), O_WRONLY | O_TRUNC | O_NOFOLLOW | O_CLOEXEC);
      if (fd >= 0) close(fd);
    }
  }
  closedir(dir);
}

}  // namespace env
