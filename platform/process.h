#ifndef PLATFORM_PROCESS_H_
#define PLATFORM_PROCESS_H_

#include <chrono>
#include <string>
#include <vector>

namespace platform {

// Starts |argv| detached with no window and its output discarded, without
// waiting for it. False when it could not be started.
bool StartHiddenCommand(const std::vector<std::string>& argv);
// Full path of |program| found in PATH, or empty.
std::string FindProgramInPath(const std::string& program);

// Runs |argv| (a program by absolute path, else refused) without a
// terminal, with no input, in "/" and with an environment of PATH and LANG
// only (the command may run as root for a caller who chose the rest), and waits at most
// |timeout| for it. Its standard error is in |errors| (at most 64 KiB).
// The exit status, or -1 when it could not start, died of a signal or ran
// out of time (then it is killed, or, when it may not be, left running).
int RunCommand(const std::vector<std::string>& argv, std::chrono::milliseconds timeout, std::string& errors);

// Whether this user may create a user namespace, which the engine's
// sandbox needs (tried in a short-lived child).
bool UserNamespacesWork();

// |argv| (a program by full path) as it runs as root: itself when this
// process is root, else through pkexec; empty when pkexec is missing.
std::vector<std::string> AsRoot(const std::vector<std::string>& argv);

// For a program started by a user with more rights than the user has
// (through pkexec, which passes on what it was given): limits, signal
// dispositions and standard streams as such a program needs them, none of
// the caller's. Standard input and output read and write nothing; the
// caller's standard error is kept aside for the program's own lines.
struct CallerState {
  int errors = -1;             // the caller's standard error; -1 when none
  bool limits_lifted = false;  // no limit on file size, CPU time or memory is left
};
CallerState TakeOverFromCaller();

}  // namespace platform

#endif  // PLATFORM_PROCESS_H_
