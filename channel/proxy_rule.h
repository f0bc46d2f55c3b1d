#ifndef CHANNEL_PROXY_RULE_H_
#define CHANNEL_PROXY_RULE_H_

#include <functional>
#include <string>

namespace channel {

// How requests reach the network, the engine's and the channel fetch's
// alike: the desktop's settings, or what support or the administrator set
// with --no-proxy-server or --proxy-server=.
struct ProxyRule {
  enum class Mode { kDesktop, kDirect, kServer };
  Mode mode = Mode::kDesktop;
  std::string servers;  // --proxy-server='s value
};

// --no-proxy-server wins over --proxy-server=, as in the engine.
ProxyRule ProxyRuleFromSwitches(bool no_proxy_server, bool has_proxy_server, const std::string& proxy_server);
void SetProxyRule(const ProxyRule& rule);
ProxyRule CurrentProxyRule();

// The proxy URL for |url| in libcurl's terms ("" for none) from the
// engine's --proxy-server syntax: "[scheme=]host:port" entries split by
// ";", a URL scheme on the proxy ("socks5://", "https://"), "direct://".
std::string ProxyFromServerList(const std::string& servers, const std::string& url);
// The proxy for |url| under |rule|; the desktop's comes from |desktop|.
using DesktopProxyLookup = std::function<std::string(const std::string& url)>;
std::string ProxyFor(const ProxyRule& rule, const std::string& url, const DesktopProxyLookup& desktop);
// "host" of "scheme://host:port".
std::string ProxyHostOf(const std::string& proxy_url);

}  // namespace channel

#endif  // CHANNEL_PROXY_RULE_H_
