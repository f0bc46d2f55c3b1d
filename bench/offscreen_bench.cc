// Off-screen rendering against the windowed mode: the built client shows a
// page that animates on every frame, first windowed, then off screen, in
// turns. For each run: the frames per second the page itself got (its
// animation callbacks over 5 s), the frames per second the off-screen window
// drew over those 5 s (the frames of its log line at the end: a still page
// draws none, so only the load's few frames come on top), the CPU time of the whole process
// tree over those 5 s (from the page's first frame to its report), and then
// over 10 s of the same page standing still, in ticks of 1/100 s.
// Usage: offscreen_bench VELTROCRM [runs]
//        (needs a display with a window manager)
#include <httplib.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <fstream>
#include <mutex>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "bench/outside_process.h"

namespace {

constexpr char kPage[] = R"HTML(<html><body style="margin:0;background:#eee">
<div id="box" style="position:absolute;width:200px;height:200px;background:#2060c0"></div>
<script>
let frames = 0, start = 0;
function step(now) {
  if (!start) { start = now; fetch('/start', { method: 'POST' }); }
  frames++;
  const box = document.getElementById('box');
  box.style.left = (200 + 150 * Math.sin(now / 300)) + 'px';
  box.style.top = (200 + 150 * Math.cos(now / 300)) + 'px';
  if (now - start < 5000) requestAnimationFrame(step);
  else fetch('/done?fps=' + (frames * 1000 / (now - start)).toFixed(1) + '&ms=' + (now - start).toFixed(0),
             { method: 'POST' });
}
window.addEventListener('load', () => setTimeout(() => requestAnimationFrame(step), 1000));
</script></body></html>)HTML";

// N of the last "off-screen window: N frames in T s" of today's program log
// (UTF-16LE) in |log_folder|; 0 when there is none.
double LastDrawnFrames(const std::string& log_folder) {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char day[16];
  std::strftime(day, sizeof(day), "%Y%m%d", &local);
  std::ifstream file(log_folder + "/软件日志" + day + ".txt", std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  std::string ascii;
  for (size_t i = 0; i + 1 < bytes.size(); i += 2) ascii += bytes[i + 1] == 0 ? bytes[i] : '?';
  const std::regex line("off-screen window: ([0-9]+) frames in ([0-9.]+) s");
  double frames = 0;
  for (std::sregex_iterator it(ascii.begin(), ascii.end(), line), end; it != end; ++it) frames = std::stod((*it)[1]);
  return frames;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: offscreen_bench VELTROCRM [runs]\n");
    return 2;
  }
  const std::string client = std::filesystem::absolute(argv[1]).string();
  const std::string log_folder = std::filesystem::path(client).parent_path().string() + "/log";
  const int runs = argc > 2 ? std::atoi(argv[2]) : 3;
  PrivateHome home;
  setenv("QTWEBENGINE_DISABLE_SANDBOX", "1", 1);

  httplib::Server server;
  std::mutex mutex;
  std::condition_variable done_signal;
  double page_fps = -1, animated_ms = 0;
  bool started = false;
  server.Post("/start", [&](const httplib::Request&, httplib::Response&) {
    std::lock_guard<std::mutex> lock(mutex);
    started = true;
    done_signal.notify_all();
  });
  server.Get("/page", [](const httplib::Request&, httplib::Response& res) { res.set_content(kPage, "text/html"); });
  server.Post("/done", [&](const httplib::Request& req, httplib::Response&) {
    std::lock_guard<std::mutex> lock(mutex);
    page_fps = std::atof(req.get_param_value("fps").c_str());
    animated_ms = std::atof(req.get_param_value("ms").c_str());
    done_signal.notify_all();
  });
  const int port = server.bind_to_any_port("127.0.0.1");
  std::thread serving([&] { server.listen_after_bind(); });
  const std::string url = "http://127.0.0.1:" + std::to_string(port) + "/page";

  std::vector<double> fps[2], drawn, cpu[2], idle[2];
  for (int i = 0; i < runs * 2; ++i) {
    const bool offscreen = i % 2 == 1;
    {
      std::lock_guard<std::mutex> lock(mutex);
      page_fps = -1;
      started = false;
    }
    std::vector<std::string> arguments{client, "--start-url=" + url, "--channel-service=127.0.0.1:9"};
    if (offscreen) arguments.push_back("--off-screen-rendering-enabled");
    const pid_t pid = StartInOwnGroup(arguments);
    // The page waits a second after its load, then animates for 5 s.
    double cpu_start = -1;
    std::unique_lock<std::mutex> lock(mutex);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(40);
    while (page_fps < 0 && std::chrono::steady_clock::now() < deadline) {
      done_signal.wait_for(lock, std::chrono::milliseconds(20));
      if (started && cpu_start < 0) cpu_start = CpuSecondsOfTree(pid);
    }
    const double seconds_cpu = CpuSecondsOfTree(pid) - cpu_start;
    const double got = page_fps;
    const double animated_s = std::max(0.1, animated_ms / 1000);
    lock.unlock();
    // The animation has ended: what a page that draws nothing costs, once
    // the last frames are through.
    std::this_thread::sleep_for(std::chrono::seconds(2));
    const double idle_start = CpuSecondsOfTree(pid);
    std::this_thread::sleep_for(std::chrono::seconds(10));
    const double idle_ticks = (CpuSecondsOfTree(pid) - idle_start) * 100;
    StopGroup(pid, 5000);
    if (got < 0 || cpu_start < 0) continue;
    fps[offscreen].push_back(got);
    cpu[offscreen].push_back(seconds_cpu);
    idle[offscreen].push_back(idle_ticks);
    if (offscreen) drawn.push_back(LastDrawnFrames(log_folder) / animated_s);
  }
  server.stop();
  serving.join();
  std::printf("windowed: page_fps=%.1f cpu_s=%.2f idle_ticks=%.0f | off-screen: page_fps=%.1f drawn_fps=%.1f "
              "cpu_s=%.2f idle_ticks=%.0f (medians of %zu and %zu runs; CPU over the 5 animated seconds, "
              "idle ticks over 10 still seconds)\n",
              Median(fps[0]), Median(cpu[0]), Median(idle[0]), Median(fps[1]), Median(drawn), Median(cpu[1]),
              Median(idle[1]), fps[0].size(), fps[1].size());
  return 0;
}
