#ifndef PHONEBOX_CONTROL_SOCKET_H_
#define PHONEBOX_CONTROL_SOCKET_H_

#include <string>

namespace phonebox {

// The simulated box listens here for its driver's commands: a socket in
// this user's private runtime folder. Empty when there is no such folder.
std::string ControlSocketPath();

// One command line to the simulated box; its reply line in |reply|.
// False when no simulated box answers.
bool SendControlCommand(const std::string& path, const std::string& command, std::string& reply);

}  // namespace phonebox

#endif  // PHONEBOX_CONTROL_SOCKET_H_
