#include "channel/proxy_rule.h"

#include <mutex>
#include <sstream>

namespace channel {

namespace {

std::mutex g_mutex;  // g_rule
ProxyRule g_rule;

std::string Trimmed(const std::string& text) {
  const size_t first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return std::string();
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// One proxy of the engine's syntax as libcurl names it.
std::string AsCurlProxy(const std::string& proxy) {
  if (proxy.empty() || proxy == "direct://") return std::string();
  const size_t scheme_end = proxy.find("://");
  if (scheme_end == std::string::npos) return "http://" + proxy;
  const std::string scheme = proxy.substr(0, scheme_end);
  // The engine resolves names on a SOCKS5 proxy's side.
  if (scheme == "socks5") return "socks5h" + proxy.substr(scheme_end);
  if (scheme == "socks") return "socks4" + proxy.substr(scheme_end);
  return proxy;
}

}  // namespace

ProxyRule ProxyRuleFromSwitches(bool no_proxy_server, bool has_proxy_server, const std::string& proxy_server) {
  if (no_proxy_server) return ProxyRule{ProxyRule::Mode::kDirect, {}};
  if (has_proxy_server) return ProxyRule{ProxyRule::Mode::kServer, proxy_server};
  return ProxyRule{};
}

void SetProxyRule(const ProxyRule& rule) {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_rule = rule;
}

ProxyRule CurrentProxyRule() {
  std::lock_guard<std::mutex> lock(g_mutex);
  return g_rule;
}

std::string ProxyFromServerList(const std::string& servers, const std::string& url) {
  const std::string url_scheme = url.substr(0, url.find(':'));
  std::string general;
  std::stringstream entries(servers);
  for (std::string entry; std::getline(entries, entry, ';');) {
    entry = Trimmed(entry);
    const size_t equals = entry.find('=');
    if (equals == std::string::npos) {
      if (general.empty()) general = entry;
      continue;
    }
    if (entry.substr(0, equals) == url_scheme) return AsCurlProxy(Trimmed(entry.substr(equals + 1)));
  }
  return AsCurlProxy(general);
}

std::string ProxyFor(const ProxyRule& rule, const std::string& url, const DesktopProxyLookup& desktop) {
  switch (rule.mode) {
    case ProxyRule::Mode::kDirect: return std::string();
    case ProxyRule::Mode::kServer: return ProxyFromServerList(rule.servers, url);
    case ProxyRule::Mode::kDesktop: return desktop ? desktop(url) : std::string();
  }
  return std::string();
}

std::string ProxyHostOf(const std::string& proxy_url) {
  const size_t scheme_end = proxy_url.find("://");
  std::string rest = scheme_end == std::string::npos ? proxy_url : proxy_url.substr(scheme_end + 3);
  rest = rest.substr(0, rest.find('/'));
  if (const size_t at = rest.rfind('@'); at != std::string::npos) rest = rest.substr(at + 1);
  if (!rest.empty() && rest[0] == '[') return rest.substr(0, rest.find(']') + 1);
  return rest.substr(0, rest.find(':'));
}

}  // namespace channel
