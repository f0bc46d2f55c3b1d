#include "platform/runtime_folder.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace platform {

namespace {

std::string Variable(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

// |folder|, made when missing, when it is a folder (not a link) of this
// user's that nobody else may enter; empty otherwise. A folder of ours
// that others may enter is closed first.
std::string PrivateFolder(const std::string& folder) {
  mkdir(folder.c_str(), 0700);
  struct stat status;
  if (lstat(folder.c_str(), &status) != 0 || !S_ISDIR(status.st_mode) || status.st_uid != getuid()) return "";
  if ((status.st_mode & 077) != 0 && chmod(folder.c_str(), 0700) != 0) return "";
  return folder;
}

}  // namespace

std::string RuntimeFolder() {
  const std::string runtime = Variable("XDG_RUNTIME_DIR");
  struct stat status;
  if (!runtime.empty() && stat(runtime.c_str(), &status) == 0 && S_ISDIR(status.st_mode)) return runtime;
  const std::string temp = Variable("TMPDIR").empty() ? "/tmp" : Variable("TMPDIR");
  std::string folder = PrivateFolder(temp + "/veltrocrm-" + std::to_string(getuid()));
  if (!folder.empty()) return folder;
  // Somebody else took that name first: the user's own cache folder serves.
  const std::string home = Variable("HOME");
  const std::string cache = Variable("XDG_CACHE_HOME").empty() ? home + "/.cache" : Variable("XDG_CACHE_HOME");
  if (cache.empty() || cache[0] != '/') return "";
  mkdir(cache.c_str(), 0700);
  folder = PrivateFolder(cache + "/veltrocrm-runtime");
  std::fprintf(stderr, "runtime folder: %s/veltrocrm-%u is not this user's alone; using \"%s\"\n", temp.c_str(),
               static_cast<unsigned>(getuid()), folder.c_str());
  return folder;
}

std::string RuntimeFileFor(const std::string& class_name, const std::string& title, const char* suffix) {
  uint64_t hash = 1469598103934665603ull;
  for (unsigned char c : class_name + '\n' + title) hash = (hash ^ c) * 1099511628211ull;
  char name[64];
  snprintf(name, sizeof(name), "/veltrocrm-%016llx%s", static_cast<unsigned long long>(hash), suffix);
  // No private folder of this user's: no file anywhere else either.
  const std::string folder = RuntimeFolder();
  return folder.empty() ? std::string() : folder + name;
}

}  // namespace platform
