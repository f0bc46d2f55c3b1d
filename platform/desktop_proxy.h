#ifndef PLATFORM_DESKTOP_PROXY_H_
#define PLATFORM_DESKTOP_PROXY_H_

#include <string>

namespace platform {

// The proxy the desktop's settings name for |url| (environment variables,
// the desktop's proxy settings, an automatic configuration script), as a
// libcurl proxy URL; "" for none.
std::string DesktopProxyFor(const std::string& url);

}  // namespace platform

#endif  // PLATFORM_DESKTOP_PROXY_H_
