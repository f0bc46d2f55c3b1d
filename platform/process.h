#ifndef PLATFORM_PROCESS_H_
#define PLATFORM_PROCESS_H_

#include <string>
#include <vector>

namespace platform {

// Starts |argv| detached with no window and its output discarded, without
// waiting for it. False when it could not be started.
bool StartHiddenCommand(const std::vector<std::string>& argv);
// Full path of |program| found in PATH, or empty.
std::string FindProgramInPath(const std::string& program);

}  // namespace platform

#endif  // PLATFORM_PROCESS_H_
