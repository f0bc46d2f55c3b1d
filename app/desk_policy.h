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
// proxy list), RemoteDebugging ("off"), CaCertificates (certificate
// files the page trusts as authorities, split by ";") and the SIP phone
// system's SipServer, SipExtension and SipUser.
using DeskPolicy = std::map<std::string, std::string>;

// The policy in |path|; nothing when there is no file. A file (or its
// folder) anyone but root may write, or that is not a plain file of
// reasonable size, is ignored: |problem| says why.
// Sections, keys and known values compare in any case; every line the
// policy cannot mean (another section, an unknown key, a value a key cannot
// take) is left out with a note in |notes|. A RemoteDebugging line of any
// value shuts the port.
std::optional<DeskPolicy> ReadDeskPolicy(const std::string& path, std::string& problem,
                                         std::vector<std::string>* notes = nullptr);
// What stands when a policy file is there but cannot be trusted: the locks
// fail closed (built-in start page, the desktop's proxy, no debugging port).
DeskPolicy LockedDownPolicy();
// Under a policy, the user's QTWEBENGINE_CHROMIUM_FLAGS keep only switches
// that change how the page is drawn; the names of the others go to |dropped|.
std::string AllowedUserEngineFlags(const std::string& flags, std::vector<std::string>& dropped);

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
// The policy file at |path| read and applied over |command_line|: lines
// for the program log (the file's notes, or why it is not trusted) go to
// |lines|; returns every setting as it now stands, and whether a policy
// (or, for a file not trusted, its locks) is in force.
std::vector<Setting> ApplyPolicyFile(const std::string& path, engine::CommandLine& command_line,
                                     std::vector<std::string>& lines, bool& in_force);
// Whether a phone box was set up (policy, environment or user file) rather
// than left to the built-in modem: with a SIP phone system and none set
// up, the page's landline capture opens no box.
bool PhoneBoxSetUp();
// Whether the policy keeps the debugging port shut, whatever else asks.
bool DebuggingLockedByPolicy();
// The policy's CaCertificates files, as the last ApplyDeskPolicy() read them.
std::vector<std::string> PolicyCertificateFiles();

}  // namespace app

#endif  // APP_DESK_POLICY_H_
