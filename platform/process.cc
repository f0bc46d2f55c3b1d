#include "platform/process.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

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

}  // namespace platform
