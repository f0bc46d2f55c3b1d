// Start-up of the built client against a bare engine window showing the
// same local page: time from start to the page's load event, and the CPU
// time of the whole process tree up to a second after it, in interleaved
// pairs. The tree is read from /proc before the program is stopped (on
// SIGTERM), so the work of ending is not counted: the engine's helpers are
// not all reaped through the program, so its children's usage after the
// stop would miss some of them.
// Usage: startup_bench VELTROCRM BARE_ENGINE_WINDOW [pairs]
//        (needs a display with a window manager: without one neither
//        window is maximised, and the two get different sizes)
#include <httplib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "bench/outside_process.h"

namespace {

constexpr char kPage[] = R"HTML(<html><body><h1>start-up</h1><script>
window.addEventListener('load', function () { fetch('/loaded', { method: 'POST' }); });
</script></body></html>)HTML";

using Clock = std::chrono::steady_clock;

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values.empty() ? 0 : values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: startup_bench VELTROCRM BARE_ENGINE_WINDOW [pairs]\n");
    return 2;
  }
  const std::string client = std::filesystem::absolute(argv[1]).string();
  const std::string bare = std::filesystem::absolute(argv[2]).string();
  const int pairs = argc > 3 ? std::atoi(argv[3]) : 10;

  PrivateHome home;
  // The client runs without the engine's sandbox as root; so does the bare window.
  setenv("QTWEBENGINE_DISABLE_SANDBOX", "1", 1);

  httplib::Server server;
  std::mutex mutex;
  bool loaded = false;
  server.Get("/page", [](const httplib::Request&, httplib::Response& res) { res.set_content(kPage, "text/html"); });
  server.Post("/loaded", [&](const httplib::Request&, httplib::Response&) {
    std::lock_guard<std::mutex> lock(mutex);
    loaded = true;
  });
  const int port = server.bind_to_any_port("127.0.0.1");
  std::thread serving([&] { server.listen_after_bind(); });
  const std::string url = "http://127.0.0.1:" + std::to_string(port) + "/page";

  // One start: seconds to the load event (negative when it never came) and
  // CPU seconds of the process tree until a second after it.
  auto run = [&](bool product, double& cpu) {
    {
      std::lock_guard<std::mutex> lock(mutex);
      loaded = false;
    }
    const auto start = Clock::now();
    const pid_t pid = product ? StartInOwnGroup({client, "--start-url=" + url, "--channel-service=127.0.0.1:9"})
                              : StartInOwnGroup({bare, url});
    double seconds = -1;
    while (Clock::now() - start < std::chrono::seconds(30)) {
      {
        std::lock_guard<std::mutex> lock(mutex);
        if (loaded) {
          seconds = std::chrono::duration<double>(Clock::now() - start).count();
          break;
        }
      }
      std::this_thread::sleep_for(std::chrono::microseconds(500));
    }
    // A settled second of work after the load belongs to the start too.
    std::this_thread::sleep_for(std::chrono::milliseconds(1000));
    cpu = CpuSecondsOfTree(pid);
    StopGroup(pid, 5000);
    return seconds;
  };

  std::vector<double> client_times, bare_times, client_cpu, bare_cpu;
  for (int i = 0; i < pairs; ++i) {
    double cpu = 0;
    const double b = run(false, cpu);
    if (b > 0) bare_times.push_back(b), bare_cpu.push_back(cpu);
    const double c = run(true, cpu);
    if (c > 0) client_times.push_back(c), client_cpu.push_back(cpu);
  }
  server.stop();
  serving.join();
  if (client_times.empty() || bare_times.empty()) {
    std::fprintf(stderr, "no start reached its page\n");
    return 1;
  }
  std::printf("pairs=%d client_loaded_s=%.3f bare_loaded_s=%.3f ratio=%.2f client_cpu_s=%.3f bare_cpu_s=%.3f "
              "cpu_ratio=%.2f (medians; %zu and %zu starts reached the page)\n",
              pairs, Median(client_times), Median(bare_times), Median(client_times) / Median(bare_times),
              Median(client_cpu), Median(bare_cpu), Median(client_cpu) / Median(bare_cpu), client_times.size(),
              bare_times.size());
  return 0;
}
