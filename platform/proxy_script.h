#ifndef PLATFORM_PROXY_SCRIPT_H_
#define PLATFORM_PROXY_SCRIPT_H_

#include <chrono>
#include <optional>
#include <string>

namespace platform {

// Runs an automatic proxy configuration script's FindProxyForURL(url, host)
// with the usual helper functions (isPlainHostName, dnsDomainIs,
// shExpMatch, isInNet, dnsResolve, myIpAddress, …) in a JavaScript engine
// of its own, on the calling thread. The answer as the script gave it
// ("PROXY host:port; DIRECT"), or nullopt with |problem| set when the script
// is too large, does not compile, throws, gives no string or runs past
// |limit|. A script is hostile input: it never runs longer than that.
std::optional<std::string> RunProxyScript(const std::string& script, const std::string& url, const std::string& host,
                                          std::chrono::milliseconds limit, std::string& problem);

// The largest script run.
constexpr size_t kMaxProxyScriptBytes = 1024 * 1024;

}  // namespace platform

#endif  // PLATFORM_PROXY_SCRIPT_H_
