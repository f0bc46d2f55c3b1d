#ifndef CHANNEL_PROXY_RULE_H_
#define CHANNEL_PROXY_RULE_H_

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "engine/command_line.h"
#include "platform/desktop_proxy.h"

namespace channel {

// How requests reach the network, the engine's and the channel fetch's
// alike: decided once at start and handed to both.
struct ProxyRule {
  enum class Mode { kDirect, kServer, kScript };
  Mode mode = Mode::kDirect;
  std::string servers;              // kServer: the engine's list
  std::vector<std::string> bypass;  // kServer: hosts that go direct
  std::string script_url;           // kScript: the automatic configuration script
  std::string source;               // where the rule came from
};

// The first of: --no-proxy-server, --proxy-server= (with
// --proxy-bypass-list=), --proxy-pac-url=, the session's settings. The
// administrator's policy has already replaced the user's switches.
ProxyRule ChooseProxyRule(const engine::CommandLine& switches, const platform::DesktopProxy& desktop);
// Replaces the proxy switches with the rule's, so that the engine reads
// nothing else.
void WriteProxySwitches(const ProxyRule& rule, engine::CommandLine& switches);
// "proxy: LIST except RULES (from SOURCE)", with no user name or password.
std::string DescribeProxyRule(const ProxyRule& rule);
// A proxy list or address with every "user:password@" taken out.
std::string ProxyListForLog(const std::string& servers);
// Takes the user names and passwords out of the rule's proxy list and hands
// them to the sign-in store for their proxies: they reach neither the
// engine's switches (which its helpers inherit) nor a log.
void MoveProxyCredentialsToSignIn(ProxyRule& rule);

void SetProxyRule(const ProxyRule& rule);
ProxyRule CurrentProxyRule();

// The proxy URL for |url| in libcurl's terms ("" for none) from the
// engine's --proxy-server syntax: "[scheme=]host:port" entries split by
// ";", "socks=" for every scheme without its own entry, a URL scheme on
// the proxy ("socks5://", "https://"), "direct://".
std::string ProxyFromServerList(const std::string& servers, const std::string& url);
// Whether |host| goes direct under the engine's bypass rules ("name",
// "*.suffix", "<local>", an IP address or CIDR block).
bool BypassesProxy(const std::vector<std::string>& bypass, const std::string& host);
// The first proxy of an automatic configuration script's answer
// ("PROXY h:p; SOCKS5 h:p; DIRECT") in libcurl's terms; "" for DIRECT,
// nullopt for an answer that names nothing usable.
std::optional<std::string> ProxyFromScriptAnswer(const std::string& answer);

// The script's answer for |url|, or nullopt when the script could not be
// fetched or run.
using ScriptLookup = std::function<std::optional<std::string>(const std::string& url)>;
// The proxy for |url| under |rule|; a script that fails means direct, as
// in the engine.
std::string ProxyFor(const ProxyRule& rule, const std::string& url, const ScriptLookup& script);
// "host" of "scheme://host:port".
std::string ProxyHostOf(const std::string& proxy_url);

}  // namespace channel

#endif  // CHANNEL_PROXY_RULE_H_
