#include "channel/curl_library.h"

#include <dlfcn.h>

#include <mutex>
#include <string>

#include "env/logs.h"

namespace channel {

namespace {

std::once_flag g_loaded;
const CurlLibrary* g_library = nullptr;
void (*g_global_cleanup)() = nullptr;

template <typename Function>
bool Find(void* handle, const char* name, Function& function) {
  function = reinterpret_cast<Function>(dlsym(handle, name));
  return function != nullptr;
}

void Load() {
  // Kept open for the life of the process: threads it starts (its
  // resolver's) may outlive any point at which closing would be safe.
  void* handle = dlopen("libcurl.so.4", RTLD_NOW | RTLD_LOCAL);
  static CurlLibrary library;
  CURLcode (*global_init)(long) = nullptr;
  void (*global_cleanup)() = nullptr;
  if (!handle || !Find(handle, "curl_global_init", global_init) ||
      !Find(handle, "curl_global_cleanup", global_cleanup) || !Find(handle, "curl_easy_init", library.easy_init) ||
      !Find(handle, "curl_easy_reset", library.easy_reset) || !Find(handle, "curl_easy_setopt", library.easy_setopt) ||
      !Find(handle, "curl_easy_perform", library.easy_perform) ||
      !Find(handle, "curl_easy_cleanup", library.easy_cleanup) ||
      !Find(handle, "curl_easy_getinfo", library.easy_getinfo)) {
    const char* reason = dlerror();
    env::WriteProgramLog(std::string("libcurl not loaded: ") + (reason ? reason : "libcurl.so.4"));
    env::WriteProgramLog("初始化网络库失败");
    return;
  }
  if (global_init(CURL_GLOBAL_ALL) != CURLE_OK) {
    env::WriteProgramLog("初始化网络库失败");
    return;
  }
  g_global_cleanup = global_cleanup;
  g_library = &library;
}

}  // namespace

const CurlLibrary* Curl() {
  std::call_once(g_loaded, Load);
  return g_library;
}

void CleanUpCurl() {
  if (!g_library) return;
  g_global_cleanup();
  g_library = nullptr;
}

}  // namespace channel
