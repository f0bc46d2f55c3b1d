#include "platform/process.h"

#include <fcntl.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
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
  // A bare name would be looked up, or found in the working folder.
  if (argv.empty() || argv[0].empty() || argv[0][0] != '/') {
    errors = "not an absolute path";
    return -1;
  }
  static const char* const kCleanEnvironment[] = {"PATH=/usr/sbin:/usr/bin:/sbin:/bin", "LANG=C.UTF-8", nullptr};
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
    // Nothing of the caller's environment or working folder goes along:
    // the command may run as root for a caller who set them.
    if (chdir("/") != 0) _exit(127);
    execve(args[0], args.data(), const_cast<char* const*>(kCleanEnvironment));
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

CallerState TakeOverFromCaller() {
  CallerState caller;
  // A file size limit once cut the hosts file short, a core limit would
  // let its contents land in a core file, a CPU or memory limit would stop
  // a rewrite half way.
  const struct {
    int resource;
    rlim_t value;
  } kLimits[] = {{RLIMIT_FSIZE, RLIM_INFINITY}, {RLIMIT_CPU, RLIM_INFINITY},   {RLIMIT_AS, RLIM_INFINITY},
                 {RLIMIT_DATA, RLIM_INFINITY},  {RLIMIT_STACK, 8 << 20},       {RLIMIT_NOFILE, 1024},
                 {RLIMIT_CORE, 0},              {RLIMIT_MEMLOCK, 8 << 20}};
  caller.limits_lifted = true;
  for (const auto& limit : kLimits) {
    rlimit value{limit.value, limit.value};
    // Without the right to raise a hard limit, the soft one goes as far as
    // it may.
    if (setrlimit(limit.resource, &value) != 0 && getrlimit(limit.resource, &value) == 0) {
      value.rlim_cur = std::min(limit.value, value.rlim_max);
      setrlimit(limit.resource, &value);
    }
    rlimit now{};
    if (limit.value == RLIM_INFINITY && (getrlimit(limit.resource, &now) != 0 || now.rlim_cur != RLIM_INFINITY))
      caller.limits_lifted = false;
  }
  sigset_t none;
  sigemptyset(&none);
  sigprocmask(SIG_SETMASK, &none, nullptr);
  struct sigaction action {};
  sigemptyset(&action.sa_mask);
  action.sa_handler = SIG_DFL;
  for (int signal = 1; signal < NSIG; ++signal) sigaction(signal, &action, nullptr);
  // What a terminal, a closed pipe or a limit would send goes unheeded:
  // only root ends this program, and a write that fails is seen as one.
  action.sa_handler = SIG_IGN;
  for (int signal : {SIGHUP, SIGINT, SIGQUIT, SIGPIPE, SIGTSTP, SIGTTIN, SIGTTOU, SIGXFSZ, SIGXCPU})
    sigaction(signal, &action, nullptr);
  umask(022);
  caller.errors = fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
  const int null_fd = open("/dev/null", O_RDWR | O_CLOEXEC);
  if (null_fd >= 0) {
    for (int fd : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO}) dup2(null_fd, fd);
    if (null_fd > STDERR_FILENO)
      close(null_fd);
    else
      fcntl(null_fd, F_SETFD, 0);
  }
  return caller;
}

}  // namespace platform
