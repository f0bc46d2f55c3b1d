#include "env/startup_timeline.h"

#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <set>
#include <sstream>
#include <string>

#include "env/logs.h"

namespace env {

namespace {

// Milliseconds since this process started, from the kernel's own clock of
// it (/proc/self/stat field 22, in ticks since boot) and /proc/uptime.
long MillisecondsSinceStart() {
  std::ifstream stat_file("/proc/self/stat");
  std::string stat;
  std::getline(stat_file, stat);
  // The command name may hold spaces; the fields after it are counted from ")".
  std::istringstream fields(stat.substr(stat.rfind(')') + 2));
  std::string field;
  for (int i = 3; i <= 22 && fields >> field; ++i) {
  }
  double uptime = 0;
  std::ifstream("/proc/uptime") >> uptime;
  const double started = std::strtod(field.c_str(), nullptr) / static_cast<double>(sysconf(_SC_CLK_TCK));
  return static_cast<long>((uptime - started) * 1000);
}

}  // namespace

void StartupMark(const char* what) {
  static const bool wanted = std::getenv("VELTROCRM_STARTUP_TIMELINE") != nullptr;
  if (!wanted) return;
  // The kernel's clock of the process has 10 ms steps: it places the first
  // mark, the steady clock the others to the millisecond.
  static const long first = MillisecondsSinceStart();
  static const auto first_time = std::chrono::steady_clock::now();
  static std::mutex mutex;
  static std::set<std::string> written;
  {
    std::lock_guard<std::mutex> lock(mutex);
    if (!written.insert(what).second) return;
  }
  const long since_first = static_cast<long>(
      std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - first_time).count());
  WriteProgramLog("startup +" + std::to_string(first + since_first) + " ms: " + what);
}

}  // namespace env
