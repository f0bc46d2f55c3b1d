#include "platform/runtime_folder.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

namespace platform {

std::string RuntimeFolder() {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  struct stat status;
  if (runtime && *runtime && stat(runtime, &status) == 0 && S_ISDIR(status.st_mode)) return runtime;
  // A private folder of this user's in /tmp; never one somebody else owns.
  const std::string folder = "/tmp/veltrocrm-" + std::to_string(getuid());
  mkdir(folder.c_str(), 0700);
  if (lstat(folder.c_str(), &status) == 0 && S_ISDIR(status.st_mode) && status.st_uid == getuid()) return folder;
  return std::string();
}

}  // namespace platform
