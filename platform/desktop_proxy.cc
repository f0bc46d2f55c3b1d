#include "platform/desktop_proxy.h"

#include <proxy.h>

namespace platform {

std::string DesktopProxyFor(const std::string& url) {
  // libproxy reads what the engine reads on this desktop. Asked directly,
  // not through Qt, whose proxy look-up starts a thread of its own: this
  // runs on the channel thread while the UI thread makes the application.
  pxProxyFactory* factory = px_proxy_factory_new();
  if (!factory) return std::string();
  std::string proxy;
  char** proxies = px_proxy_factory_get_proxies(factory, url.c_str());
  for (char** entry = proxies; entry && *entry; ++entry) {
    const std::string candidate = *entry;
    if (candidate == "direct://") break;
    // Chromium resolves names on a SOCKS5 proxy's side; libcurl's name for that.
    if (candidate.rfind("socks5://", 0) == 0) {
      proxy = "socks5h://" + candidate.substr(9);
      break;
    }
    if (candidate.rfind("http://", 0) == 0 || candidate.rfind("https://", 0) == 0 ||
        candidate.rfind("socks4://", 0) == 0) {
      proxy = candidate;
      break;
    }
  }
  px_proxy_factory_free_proxies(proxies);
  px_proxy_factory_free(factory);
  return proxy;
}

}  // namespace platform
