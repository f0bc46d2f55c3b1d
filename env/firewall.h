#ifndef ENV_FIREWALL_H_
#define ENV_FIREWALL_H_

#include <string>
#include <vector>

namespace env {

// The commands that open the mobile-call port in the host firewall (ufw or
// firewalld), none when no firewall tool exists. They need root.
std::vector<std::vector<std::string>> FirewallCommands();

}  // namespace env

#endif  // ENV_FIREWALL_H_
