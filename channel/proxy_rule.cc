#include "channel/proxy_rule.h"

#include <arpa/inet.h>

#include <algorithm>
#include <cctype>
#include <mutex>
#include <sstream>

#include "env/sign_in.h"

namespace channel {

namespace {

std::mutex g_mutex;  // g_rule
ProxyRule g_rule;

const char* const kProxySwitches[] = {"no-proxy-server", "proxy-server", "proxy-bypass-list", "proxy-pac-url",
                                      "proxy-auto-detect"};

std::string Trimmed(const std::string& text) {
  const size_t first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return std::string();
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
  return text;
}

std::vector<std::string> Split(const std::string& text, const std::string& separators) {
  std::vector<std::string> parts;
  size_t start = 0;
  while (start <= text.size()) {
    const size_t end = std::min(text.find_first_of(separators, start), text.size());
    if (std::string part = Trimmed(text.substr(start, end - start)); !part.empty()) parts.push_back(part);
    start = end + 1;
  }
  return parts;
}

// One proxy of the engine's syntax as libcurl names it; |socks| for a
// "socks=" entry, whose bare host:port the engine takes as SOCKS4.
std::string AsCurlProxy(const std::string& proxy, bool socks = false) {
  if (proxy.empty() || proxy == "direct://") return std::string();
  const size_t scheme_end = proxy.find("://");
  if (scheme_end == std::string::npos) return (socks ? "socks4://" : "http://") + proxy;
  const std::string scheme = proxy.substr(0, scheme_end);
  // The engine resolves names on a SOCKS5 proxy's side.
  if (scheme == "socks5") return "socks5h" + proxy.substr(scheme_end);
  if (scheme == "socks") return "socks4" + proxy.substr(scheme_end);
  return proxy;
}

}  // namespace

namespace {

// Where an entry's host starts: after "scheme://", else after "scheme=".
size_t HostStart(const std::string& entry) {
  return entry.find("://") == std::string::npos ? entry.find('=') + 1 : entry.find("://") + 3;
}

std::string PercentDecoded(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size() && std::isxdigit(static_cast<unsigned char>(text[i + 1])) &&
        std::isxdigit(static_cast<unsigned char>(text[i + 2]))) {
      out += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16));
      i += 2;
    } else {
      out += text[i];
    }
  }
  return out;
}

}  // namespace

std::string ProxyListForLog(const std::string& servers) {
  std::string shown;
  for (const std::string& entry : Split(servers, ";")) {
    std::string clean = entry;
    const size_t host_start = HostStart(clean);
    if (const size_t at = clean.rfind('@'); at != std::string::npos && at >= host_start)
      clean.erase(host_start, at + 1 - host_start);
    shown += (shown.empty() ? "" : ";") + clean;
  }
  return shown;
}

void MoveProxyCredentialsToSignIn(ProxyRule& rule) {
  if (rule.mode != ProxyRule::Mode::kServer) return;
  for (const std::string& entry : Split(rule.servers, ";")) {
    const size_t host_start = HostStart(entry);
    const size_t at = entry.rfind('@');
    if (at == std::string::npos || at < host_start) continue;
    const std::string user_info = entry.substr(host_start, at - host_start);
    const size_t colon = user_info.find(':');
    env::GiveProxyCredentials(ProxyHostOf(entry.substr(at + 1)),
                              {PercentDecoded(user_info.substr(0, colon)),
                               colon == std::string::npos ? std::string() : PercentDecoded(user_info.substr(colon + 1))});
  }
  rule.servers = ProxyListForLog(rule.servers);
}

namespace {

std::string HostOf(const std::string& url) {
  const size_t scheme_end = url.find("://");
  std::string rest = scheme_end == std::string::npos ? url : url.substr(scheme_end + 3);
  rest = rest.substr(0, rest.find_first_of("/?#"));
  if (const size_t at = rest.rfind('@'); at != std::string::npos) rest = rest.substr(at + 1);
  if (!rest.empty() && rest[0] == '[') return rest.substr(1, rest.find(']') - 1);
  return rest.substr(0, rest.find(':'));
}

bool InBlock(const std::string& block, const std::string& host) {
  const size_t slash = block.find('/');
  in_addr network{}, address{};
  if (inet_pton(AF_INET, block.substr(0, slash).c_str(), &network) != 1 ||
      inet_pton(AF_INET, host.c_str(), &address) != 1)
    return block == host;
  int bits = 32;
  if (slash != std::string::npos) {
    const std::string size = block.substr(slash + 1);
    if (size.empty() || size.size() > 2 || size.find_first_not_of("0123456789") != std::string::npos) return false;
    bits = std::stoi(size);
    if (bits > 32) return false;
  }
  const uint32_t mask = bits == 0 ? 0 : htonl(~uint32_t{0} << (32 - bits));
  return (network.s_addr & mask) == (address.s_addr & mask);
}

}  // namespace

ProxyRule ChooseProxyRule(const engine::CommandLine& switches, const platform::DesktopProxy& desktop) {
  ProxyRule rule;
  if (switches.HasSwitch("no-proxy-server")) {
    rule.source = "switch --no-proxy-server";
  } else if (const std::string servers = switches.GetSwitchValue("proxy-server"); !servers.empty()) {
    rule = {ProxyRule::Mode::kServer, servers, Split(switches.GetSwitchValue("proxy-bypass-list"), ";,"), {},
            "switch --proxy-server"};
  } else if (const std::string script = switches.GetSwitchValue("proxy-pac-url"); !script.empty()) {
    rule = {ProxyRule::Mode::kScript, {}, {}, script, "switch --proxy-pac-url"};
  } else {
    switch (desktop.kind) {
      case platform::DesktopProxy::Kind::kServers:
        rule = {ProxyRule::Mode::kServer, desktop.servers, desktop.bypass, {}, desktop.source};
        break;
      case platform::DesktopProxy::Kind::kScript:
        rule = {ProxyRule::Mode::kScript, {}, {}, desktop.script_url, desktop.source};
        break;
      case platform::DesktopProxy::Kind::kNone:
        rule.source = desktop.source.empty() ? "no proxy in the session's settings" : desktop.source;
        break;
    }
  }
  return rule;
}

void WriteProxySwitches(const ProxyRule& rule, engine::CommandLine& switches) {
  for (const char* name : kProxySwitches) switches.RemoveSwitch(name);
  switch (rule.mode) {
    case ProxyRule::Mode::kDirect:
      switches.AppendSwitch("no-proxy-server");
      break;
    case ProxyRule::Mode::kServer: {
      switches.AppendSwitchWithValue("proxy-server", rule.servers);
      std::string bypass;
      for (const std::string& entry : rule.bypass) bypass += (bypass.empty() ? "" : ";") + entry;
      if (!bypass.empty()) switches.AppendSwitchWithValue("proxy-bypass-list", bypass);
      break;
    }
    case ProxyRule::Mode::kScript:
      switches.AppendSwitchWithValue("proxy-pac-url", rule.script_url);
      break;
  }
}

std::string DescribeProxyRule(const ProxyRule& rule) {
  std::string text = "proxy: ";
  switch (rule.mode) {
    case ProxyRule::Mode::kDirect: text += "direct"; break;
    case ProxyRule::Mode::kServer: {
      text += ProxyListForLog(rule.servers);
      std::string bypass;
      for (const std::string& entry : rule.bypass) bypass += (bypass.empty() ? "" : ",") + entry;
      if (!bypass.empty()) text += " except " + bypass;
      break;
    }
    case ProxyRule::Mode::kScript: text += "automatic configuration script " + ProxyListForLog(rule.script_url); break;
  }
  return text + " (from " + rule.source + ")";
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
  std::string socks;
  for (const std::string& entry : Split(servers, ";")) {
    const size_t equals = entry.find('=');
    if (equals == std::string::npos) {
      if (general.empty()) general = entry;
      continue;
    }
    const std::string scheme = Trimmed(entry.substr(0, equals));
    const std::string proxy = Trimmed(entry.substr(equals + 1));
    if (scheme == url_scheme) return AsCurlProxy(proxy);
    if (scheme == "socks" && socks.empty()) socks = proxy;
  }
  return general.empty() ? AsCurlProxy(socks, true) : AsCurlProxy(general);
}

bool BypassesProxy(const std::vector<std::string>& bypass, const std::string& host_name) {
  const std::string host = Lower(host_name);
  for (const std::string& raw : bypass) {
    std::string rule = Lower(raw);
    if (const size_t scheme_end = rule.find("://"); scheme_end != std::string::npos) rule = rule.substr(scheme_end + 3);
    if (rule == "*") return true;
    if (rule == "<local>") {
      if (host.find_first_of(".:") == std::string::npos) return true;
      continue;
    }
    if (rule.find('/') == std::string::npos && rule.find(':') != std::string::npos && rule[0] != '[' &&
        std::count(rule.begin(), rule.end(), ':') == 1)
      rule = rule.substr(0, rule.find(':'));
    if (rule.rfind("*.", 0) == 0) {
      const std::string suffix = rule.substr(1);
      if (host.size() > suffix.size() && host.compare(host.size() - suffix.size(), suffix.size(), suffix) == 0)
        return true;
      continue;
    }
    if (InBlock(rule, host)) return true;
  }
  return false;
}

std::optional<std::string> ProxyFromScriptAnswer(const std::string& answer) {
  for (const std::string& entry : Split(answer, ";")) {
    std::istringstream words(entry);
    std::string kind, server, extra;
    words >> kind >> server >> extra;
    kind = Lower(kind);
    if (kind == "direct" && server.empty()) return std::string();
    // One "host:port" of safe characters; anything else is the script's garbage.
    if (server.empty() || !extra.empty() ||
        server.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789.-_:[]") !=
            std::string::npos)
      continue;
    if (kind == "proxy" || kind == "http") return "http://" + server;
    if (kind == "https") return "https://" + server;
    if (kind == "socks" || kind == "socks4") return "socks4://" + server;
    if (kind == "socks5") return "socks5h://" + server;
  }
  return std::nullopt;
}

std::string ProxyFor(const ProxyRule& rule, const std::string& url, const ScriptLookup& script) {
  switch (rule.mode) {
    case ProxyRule::Mode::kDirect: return std::string();
    case ProxyRule::Mode::kServer:
      return BypassesProxy(rule.bypass, HostOf(url)) ? std::string() : ProxyFromServerList(rule.servers, url);
    case ProxyRule::Mode::kScript: {
      const std::optional<std::string> answer = script ? script(url) : std::nullopt;
      if (!answer) return std::string();
      return ProxyFromScriptAnswer(*answer).value_or(std::string());
    }
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
