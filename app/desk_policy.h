#ifndef APP_DESK_POLICY_H_
#define APP_DESK_POLICY_H_

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "engine/command_line.h"

namespace app {

// The administrator's settings for every user of the machine, from the
// [Policy] section of an INI file: StartUrl, ChannelService, PhoneBox,
// OffScreen (1 or 0), ProxyServer ("direct", "desktop" or the engine's
// proxy list), RemoteDebugging ("off") and CaCertificates (certificate
// files the page trusts as authorities, split by ";").
using DeskPolicy = std::map<std::string, std::string>;

// The policy in |path|; nothing when there is no file. A file (or its
// folder) anyone but root may write, or that is not a plain file of
// reasonable size, is ignored: |problem| says why.
std::optional<DeskPolicy> ReadDeskPolicy(const std::string& path, std::string& problem);

// One effective setting and where it came from.
struct Setting {
  std::string name;
  std::string value;
  std::string origin;
};

// Puts what |policy| sets over the switches (and the phone box's
// environment variable), so that it wins over the user's switches and
// files; |policy_path| names it. Returns every setting as it now stands.
std::vector<Setting> ApplyDeskPolicy(const DeskPolicy& policy, const std::string& policy_path,
                                     engine::CommandLine& command_line);
// Whether the policy keeps the debugging port shut, whatever else asks.
bool DebuggingLockedByPolicy();
// The policy's CaCertificates files, as the last ApplyDeskPolicy() read them.
std::vector<std::string> PolicyCertificateFiles();

}  // namespace app

#endif  // APP_DESK_POLICY_H_
