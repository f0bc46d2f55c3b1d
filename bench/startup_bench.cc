// Start-up of the built client against a bare engine window showing the
// same local page: time from start to the page's load event, and the CPU
// time of the whole process tree up to a second after it, in interleaved
// rounds: the bare window as it comes; with the GPU switches the client
// always gives the engine; with those, Qt Quick's software renderer and no
// OpenGL, which is how the client then draws; and the client. Also the total
// PSS of the tree a second after the load. The tree is read from
// /proc before the program is stopped (on SIGTERM), so the work of ending is
// not counted: the engine's helpers are not all reaped through the program,
// so its children's usage after the stop would miss some of them.
// Usage: startup_bench VELTROCRM BARE_ENGINE_WINDOW [rounds]
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

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: startup_bench VELTROCRM BARE_ENGINE_WINDOW [rounds]\n");
    return 2;
  }
  const std::string client = std::filesystem::absolute(argv[1]).string();
  const std::string bare = std::filesystem::absolute(argv[2]).string();
  const int rounds = argc > 3 ? std::atoi(argv[3]) : 10;

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

  // One start: seconds to the load event (negative when it never came), CPU
  // seconds of the process tree until a second after it, and its PSS then.
  enum Program { kBare, kBareWithClientSwitches, kBareDrawingAsClient, kClient };
  auto run = [&](Program program, double& cpu, double& pss) {
    {
      std::lock_guard<std::mutex> lock(mutex);
      loaded = false;
    }
    // The client always turns the engine's GPU paths off, and then draws
    // with Qt Quick's software renderer and without OpenGL; the other
    // yardsticks do the same, so that the ratios tell those choices' share
    // from the client's own.
    if (program == kBareWithClientSwitches || program == kBareDrawingAsClient)
      setenv("QTWEBENGINE_CHROMIUM_FLAGS", "--disable-gpu --disable-gpu-compositing", 1);
    if (program == kBareDrawingAsClient) {
      setenv("QT_QUICK_BACKEND", "software", 1);
      setenv("QT_XCB_GL_INTEGRATION", "none", 1);
    }
    const auto start = Clock::now();
    const pid_t pid = program == kClient
                          ? StartInOwnGroup({client, "--start-url=" + url, "--channel-service=127.0.0.1:9"})
                          : StartInOwnGroup({bare, url});
    unsetenv("QTWEBENGINE_CHROMIUM_FLAGS");
    unsetenv("QT_QUICK_BACKEND");
    unsetenv("QT_XCB_GL_INTEGRATION");
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
    pss = PssMegabytesOfTree(pid);
    StopGroup(pid, 5000);
    return seconds;
  };

  std::vector<double> times[4], cpus[4], psses[4];
  for (int i = 0; i < rounds; ++i) {
    for (Program program : {kBare, kBareWithClientSwitches, kBareDrawingAsClient, kClient}) {
      double cpu = 0, pss = 0;
      const double seconds = run(program, cpu, pss);
      if (seconds > 0) times[program].push_back(seconds), cpus[program].push_back(cpu), psses[program].push_back(pss);
    }
  }
  server.stop();
  serving.join();
  for (const auto& program_times : times) {
    if (program_times.empty()) {
      std::fprintf(stderr, "no start reached its page\n");
      return 1;
    }
  }
  const double client_time = Median(times[kClient]), client_cpu = Median(cpus[kClient]),
               client_pss = Median(psses[kClient]);
  const char* names[] = {"bare window", "bare window with the client's GPU switches",
                         "bare window with the client's GPU switches, software Qt Quick and no OpenGL"};
  for (Program yardstick : {kBare, kBareWithClientSwitches, kBareDrawingAsClient}) {
    std::printf("%s: rounds=%d client_loaded_s=%.3f bare_loaded_s=%.3f ratio=%.2f client_cpu_s=%.3f bare_cpu_s=%.3f "
                "cpu_ratio=%.2f client_pss_mb=%.1f bare_pss_mb=%.1f pss_ratio=%.2f (medians; %zu and %zu starts "
                "reached the page)\n",
                names[yardstick], rounds,
                client_time, Median(times[yardstick]), client_time / Median(times[yardstick]), client_cpu,
                Median(cpus[yardstick]), client_cpu / Median(cpus[yardstick]), client_pss, Median(psses[yardstick]),
                client_pss / Median(psses[yardstick]), times[kClient].size(),
                times[yardstick].size());
  }
  return 0;
}
