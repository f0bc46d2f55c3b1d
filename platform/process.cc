#include "platform/process.h"

#include <fcntl.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>

namespace platform {

bool StartHiddenCommand(const std::vector<std::string>& argv) {
  if (argv.empty()) return false;
  const std::string program = argv[0].find('/') == std::string::npos ? FindProgramInPath(argv[0]) : argv[0];
  if (program.empty() || access(program.c_str(), X_OK) != 0) return false;
  std::vector<char*> args;
  for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);
  // Double fork: the command is re-parented to init, so no zombie is left
  // and nobody has to wait for it.
  const pid_t child = fork();
  if (child < 0) return false;
  if (child == 0) {
    setsid();
    if (fork() != 0) _exit(0);
    const int null_fd = open("/dev/null", O_RDWR);
    if (null_fd >= 0) {
      dup2(null_fd, 0);
      dup2(null_fd, 1);
      dup2(null_fd, 2);
    }
    execv(program.c_str(), args.data());
    _exit(127);
  }
  int status = 0;
  waitpid(child, &status, 0);
  return true;
}

std::string FindProgramInPath(const std::string& program) {
  const char* path = std::getenv("PATH");
  std::string paths = path ? path : "/usr/local/bin:/usr/bin:/bin:/usr/sbin:/sbin";
  size_t start = 0;
  while (start <= paths.size()) {
    size_t colon = paths.find(':', start);
    if (colon == std::string::npos) colon = paths.size();
    const std::string dir = paths.substr(start, colon - start);
    if (!dir.empty()) {
      const std::string candidate = dir + "/" + program;
      if (access(candidate.c_str(), X_OK) == 0) return candidate;
    }
    start = colon + 1;
  }
  return std::string();
}

int RunCommand(const std::vector<std::string>& argv, std::chrono::milliseconds timeout, std::string& errors) {
  errors.clear();
  if (argv.empty()) return -1;
  std::vector<char*> args;
  for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);
  int pipe_fds[2];
  if (pipe2(pipe_fds, O_CLOEXEC) != 0) return -1;
  const pid_t child = fork();
  if (child < 0) {
    close(pipe_fds[0]);
    close(pipe_fds[1]);
    return -1;
  }
  if (child == 0) {
    // No controlling terminal: pkexec then never asks for a password on
    // the terminal the client was started from.
    setsid();
    const int null_fd = open("/dev/null", O_RDWR);
    if (null_fd >= 0) {
      dup2(null_fd, 0);
      dup2(null_fd, 1);
    }
    dup2(pipe_fds[1], 2);
    execv(args[0], args.data());
    _exit(127);
  }
  close(pipe_fds[1]);
  constexpr size_t kMostErrors = 64 * 1024;
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  bool timed_out = false;
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      timed_out = true;
      break;
    }
    pollfd waiting{pipe_fds[0], POLLIN, 0};
    const int ready = poll(&waiting, 1, static_cast<int>(left.count()));
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) continue;
    char buffer[4096];
    const ssize_t got = read(pipe_fds[0], buffer, sizeof(buffer));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    if (errors.size() < kMostErrors) errors.append(buffer, std::min(static_cast<size_t>(got), kMostErrors - errors.size()));
  }
  close(pipe_fds[0]);
  int status = 0;
  if (timed_out) {
    // A program that changed its user (pkexec) cannot be killed by us: it
    // is left to finish on its own rather than waited for.
    if (kill(child, SIGKILL) != 0) return -1;
    for (int tries = 0; tries < 50 && waitpid(child, &status, WNOHANG) == 0; ++tries) usleep(10 * 1000);
    return -1;
  }
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  if (!WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

bool UserNamespacesWork() {
  const pid_t child = fork();
  if (child < 0) return false;
  if (child == 0) _exit(unshare(CLONE_NEWUSER) == 0 ? 0 : 1);
  int status = 0;
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

std::vector<std::string> AsRoot(const std::vector<std::string>& argv) {
  if (geteuid() == 0) return argv;
  constexpr char kPkexec[] = "/usr/bin/pkexec";
  if (access(kPkexec, X_OK) != 0) return {};
  std::vector<std::string> wrapped{kPkexec};
  wrapped.insert(wrapped.end(), argv.begin(), argv.end());
  return wrapped;
}

}  // namespace platform
