#include "env/firewall.h"

#include "env/product.h"
#include "platform/process.h"

namespace env {

namespace {
constexpr char kMobileCallPort[] = "53526";
}  // namespace

std::vector<std::vector<std::string>> FirewallCommands() {
  const std::string comment = std::string(kFirewallRuleName);
  if (!platform::FindProgramInPath("ufw").empty())
    return {{"ufw", "allow", std::string(kMobileCallPort) + "/udp", "comment", comment}};
  // firewalld keeps a permanent rule inactive until its next reload: the
  // running configuration gets the rule too.
  const std::string port = std::string("--add-port=") + kMobileCallPort + "/udp";
  if (!platform::FindProgramInPath("firewall-cmd").empty())
    return {{"firewall-cmd", port}, {"firewall-cmd", "--permanent", port}};
  return {};
}

}  // namespace env
