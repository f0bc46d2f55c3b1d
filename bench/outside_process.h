#ifndef BENCH_OUTSIDE_PROCESS_H_
#define BENCH_OUTSIDE_PROCESS_H_

// What the benchmarks that run programs from outside share: a home and
// runtime folder of their own, and programs started as their own process
// group that leave nothing behind.

#include <dirent.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

// HOME and XDG_RUNTIME_DIR in a fresh folder while it lives: the programs
// get their own sockets and single-instance lock. Removed at the end.
class PrivateHome {
 public:
  PrivateHome() {
    char pattern[] = "/tmp/veltro-bench-XXXXXX";
    folder_ = mkdtemp(pattern);
    std::filesystem::create_directories(folder_ + "/run");
    std::filesystem::permissions(folder_ + "/run", std::filesystem::perms::owner_all);
    setenv("XDG_RUNTIME_DIR", (folder_ + "/run").c_str(), 1);
    setenv("HOME", folder_.c_str(), 1);
    setenv("VELTROCRM_PHONEBOX", "sim", 1);  // the benchmarks ring the simulated box
  }
  ~PrivateHome() { std::filesystem::remove_all(folder_); }

 private:
  std::string folder_;
};

// Starts |arguments| (the program first) as the leader of a new process
// group.
inline pid_t StartInOwnGroup(const std::vector<std::string>& arguments) {
  const pid_t pid = fork();
  if (pid == 0) {
    setpgid(0, 0);
    std::vector<char*> argv;
    for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    execv(argv[0], argv.data());
    _exit(127);
  }
  setpgid(pid, pid);
  return pid;
}

// SIGTERM to the leader, which ends its helpers and reaps them; whatever of
// the group is left after |grace_ms| is killed.
inline void StopGroup(pid_t pid, int grace_ms) {
  kill(pid, SIGTERM);
  for (int waited = 0; waited < grace_ms && waitpid(pid, nullptr, WNOHANG) == 0; waited += 50)
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  kill(-pid, SIGKILL);
  waitpid(pid, nullptr, 0);
}

// Every process now: its parent, and its CPU seconds with those of its
// reaped children (they are in their parents' children times).
struct ProcessEntry {
  pid_t parent = 0;
  double seconds = 0;
};
inline std::map<pid_t, ProcessEntry> ReadProcesses() {
  std::map<pid_t, ProcessEntry> processes;
  const double tick = static_cast<double>(sysconf(_SC_CLK_TCK));
  DIR* proc = opendir("/proc");
  if (!proc) return processes;
  while (const dirent* entry = readdir(proc)) {
    const pid_t pid = std::atoi(entry->d_name);
    if (pid <= 0) continue;
    std::ifstream file(std::string("/proc/") + entry->d_name + "/stat");
    std::string line;
    if (!std::getline(file, line)) continue;
    // The name may hold blanks and parentheses: the fields start after the last ')'.
    const size_t close = line.rfind(')');
    if (close == std::string::npos) continue;
    std::istringstream fields(line.substr(close + 2));
    std::string state;
    long long parent = 0, skip = 0, utime = 0, stime = 0, cutime = 0, cstime = 0;
    fields >> state >> parent;
    for (int i = 0; i < 9; ++i) fields >> skip;
    fields >> utime >> stime >> cutime >> cstime;
    processes[pid] = {static_cast<pid_t>(parent), (utime + stime + cutime + cstime) / tick};
  }
  closedir(proc);
  return processes;
}

// |root| and every process below it.
inline std::vector<pid_t> ProcessTree(pid_t root, const std::map<pid_t, ProcessEntry>& processes) {
  std::vector<pid_t> tree;
  for (const auto& [pid, entry] : processes) {
    for (pid_t up = pid; up > 1;) {
      if (up == root) {
        tree.push_back(pid);
        break;
      }
      const auto parent = processes.find(up);
      if (parent == processes.end()) break;
      up = parent->second.parent;
    }
  }
  return tree;
}

// CPU seconds of |root| and every process below it, the reaped ones
// included.
inline double CpuSecondsOfTree(pid_t root) {
  const std::map<pid_t, ProcessEntry> processes = ReadProcesses();
  double total = 0;
  for (const pid_t pid : ProcessTree(root, processes)) total += processes.at(pid).seconds;
  return total;
}

// Proportional set size of |root| and every process below it, in MB.
inline double PssMegabytesOfTree(pid_t root) {
  double kilobytes = 0;
  for (const pid_t pid : ProcessTree(root, ReadProcesses())) {
    std::ifstream rollup("/proc/" + std::to_string(pid) + "/smaps_rollup");
    for (std::string line; std::getline(rollup, line);)
      if (line.rfind("Pss:", 0) == 0) kilobytes += std::atof(line.c_str() + 4);
  }
  return kilobytes / 1024;
}

// Whether |done| came true within |timeout_ms|, asked every 20 ms.
inline bool WaitFor(const std::function<bool()>& done, int timeout_ms) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
}

// The value below which the share |q| of |sorted| lies; 0 for none.
inline double Quantile(const std::vector<double>& sorted, double q) {
  return sorted.empty() ? 0 : sorted[std::min(sorted.size() - 1, static_cast<size_t>(q * sorted.size()))];
}

// The middle value (the upper one of an even count); 0 for none.
inline double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return Quantile(values, 0.5);
}

#endif  // BENCH_OUTSIDE_PROCESS_H_
