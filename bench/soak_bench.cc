// A working day compressed: the built client runs from outside through
// thousands of calls (companion-app datagrams and landline rings, single,
// in bursts, at changing rates), popups opened and closed, downloads saved
// through the save dialog (answered with xdotool), page reloads (by the
// page, by F5 and by a navigation to another page of the service, each with
// calls coming every 2 ms meanwhile) and renderer kills. Every call is
// counted as the page reports it to this
// program's server (a beacon per call, which survives reloads): lost and
// repeated calls are reported, with the memory, threads and descriptors of
// the client after warm-up and at the end and the UI thread's longest
// pause from its program log.
// Usage: soak_bench VELTROCRM [calls [popups [reloads [renderer_kills [downloads]]]]]
//        (needs a display: Xvfb with a window manager is fine)
#include <arpa/inet.h>
#include <httplib.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "bench/outside_process.h"
#include "phonebox/control_socket.h"

namespace {

// Each call goes back to the server at once; "popup" and "reload" are
// orders from the bench, sent as calls.
constexpr char kPage[] = R"HTML(<html><body>soak<script>
function phoneCall(number) {
  if (number === 'popup') {
    var popup = window.open('/popup', 'no_100_80_320_240');
    setTimeout(function () { if (popup) popup.close(); }, 150);
  } else if (number === 'reload') {
    location.reload();
  } else if (number === 'navigate') {
    location.href = '/client?' + Date.now();
  } else if (number.indexOf('download-') === 0) {
    var link = document.createElement('a');
    link.href = '/file';
    link.download = number + '.bin';
    link.click();
  }
  navigator.sendBeacon('/call', number);
}
app.startLandlineCapture();
kestrin.openIncomingNotify();
fetch('/loaded', { method: 'POST' });
</script></body></html>)HTML";

// The engine's renderers: helpers whose parent is a helper of |client|.
std::vector<pid_t> Renderers(pid_t client) {
  const std::map<pid_t, ProcessEntry> processes = ReadProcesses();
  std::vector<pid_t> renderers;
  for (const auto& [pid, entry] : processes) {
    const auto parent = processes.find(entry.parent);
    if (parent != processes.end() && parent->second.parent == client && entry.parent != client)
      renderers.push_back(pid);
  }
  return renderers;
}

int CountEntries(const std::string& folder) {
  int count = 0;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) count += !entry.path().empty();
  return count;
}

int ThreadsOf(pid_t pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  for (std::string line; std::getline(status, line);)
    if (line.rfind("Threads:", 0) == 0) return std::atoi(line.c_str() + 8);
  return 0;
}

// The last "UI thread: longest pause" figure of today's program log beside
// the client (UTF-16LE, ASCII text here); -1 when there is none.
long LongestPauseMs(const std::string& client) {
  const std::time_t now = std::time(nullptr);
  char day[16];
  std::strftime(day, sizeof day, "%Y%m%d", std::localtime(&now));
  std::ifstream log(std::filesystem::path(client).parent_path() / "log" / (std::string("软件日志") + day + ".txt"),
                    std::ios::binary);
  std::string text;
  for (char c; log.get(c);)
    if (c != '\0') text += c;
  const std::string marker = "UI thread: longest pause ";
  const size_t at = text.rfind(marker);
  return at == std::string::npos ? -1 : std::atol(text.c_str() + at + marker.size());
}

// As a user answers them: the save dialog's Return saves on the desktop,
// the notice that follows is closed with Return. False when a window did
// not come.
// F5 in the main window, as the user presses it.
bool PressF5() {
  return std::system("w=$(xdotool search --onlyvisible --name '^VeltroCRM' 2>/dev/null | head -1); [ -n \"$w\" ] && "
                     "xdotool windowactivate --sync \"$w\" key F5 >/dev/null 2>&1") == 0;
}

bool AnswerSaveDialogAndNotice() {
  const std::string answer =
      "for title in 另存为 文件下载; do w=; for i in $(seq 100); do "
      "w=$(xdotool search --onlyvisible --name \"^$title\\$\" 2>/dev/null | head -1); [ -n \"$w\" ] && break; sleep 0.1; done; "
      "[ -n \"$w\" ] || exit 1; xdotool windowactivate --sync \"$w\" key Return >/dev/null 2>&1; done";
  return std::system(answer.c_str()) == 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: soak_bench VELTROCRM [calls [popups [reloads [renderer_kills [downloads]]]]]\n");
    return 2;
  }
  const std::string client = std::filesystem::absolute(argv[1]).string();
  const int calls = argc > 2 ? std::atoi(argv[2]) : 10000;
  const int popups = argc > 3 ? std::atoi(argv[3]) : 500;
  const int reloads = argc > 4 ? std::atoi(argv[4]) : 50;
  const int kills = argc > 5 ? std::atoi(argv[5]) : 5;
  const int downloads = argc > 6 ? std::atoi(argv[6]) : 100;
  const std::string file(64 * 1024, 'd');

  PrivateHome home;
  httplib::Server server;
  std::mutex mutex;
  std::map<std::string, int> received;
  std::atomic<int> loads{0};
  server.Get("/client", [](const httplib::Request&, httplib::Response& res) { res.set_content(kPage, "text/html"); });
  server.Get("/popup", [](const httplib::Request&, httplib::Response& res) {
    res.set_content("<html><body style='background:#10a040'>popup</body></html>", "text/html");
  });
  server.Get("/file", [&](const httplib::Request&, httplib::Response& res) {
    res.set_content(file, "application/octet-stream");
  });
  server.Post("/loaded", [&](const httplib::Request&, httplib::Response&) { ++loads; });
  server.Post("/call", [&](const httplib::Request& req, httplib::Response&) {
    std::lock_guard<std::mutex> lock(mutex);
    ++received[req.body];
  });
  const int port = server.bind_to_any_port("127.0.0.1");
  std::thread serving([&] { server.listen_after_bind(); });

  const pid_t pid = StartInOwnGroup({client, "--start-url=http://127.0.0.1:" + std::to_string(port) + "/client",
                                     "--channel-service=127.0.0.1:9"});
  const std::string box = phonebox::ControlSocketPath();
  std::string reply;
  if (!WaitFor([&] { return phonebox::SendControlCommand(box, "status", reply) && reply.find("open=1") != std::string::npos; },
               60000)) {
    std::fprintf(stderr, "the client's page did not open the simulated box\n");
    StopGroup(pid, 5000);
    server.stop();
    serving.join();
    return 1;
  }
  const int udp = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(53526);
  to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  auto send_call = [&](const std::string& number, bool mobile) {
    if (mobile) {
      const std::string datagram = "tel:" + number;
      sendto(udp, datagram.data(), datagram.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof(to));
    } else {
      phonebox::SendControlCommand(box, "ring " + number, reply);
    }
  };
  // The listener binds on its own thread once the page has asked for it.
  if (!WaitFor([&] {
        send_call("warm-up", true);
        std::lock_guard<std::mutex> lock(mutex);
        return received.count("warm-up") > 0;
      }, 30000))
    std::fprintf(stderr, "no companion-app call reached the page\n");
  // The page is back once it has loaded again and said so.
  auto page_back_after = [&](int loads_before) { return WaitFor([&] { return loads > loads_before; }, 60000); };

  std::vector<std::string> sent;
  double pss_warm = 0, pss_end = 0;
  int threads_start = 0, threads_end = 0, fds_start = 0, fds_end = 0;
  int popups_done = 0, reloads_done = 0, kills_done = 0, downloads_done = 0, downloads_saved = 0;
  const auto start = std::chrono::steady_clock::now();
  // Bursts of 1, 8 and 16 in turn, 2 to 40 ms apart.
  const int bursts[] = {1, 8, 1, 16, 1, 8};
  const int gaps_ms[] = {2, 10, 40, 5, 20};
  for (int i = 0, round = 0; i < calls; ++round) {
    const int burst = std::min(bursts[round % 6], calls - i);
    for (int b = 0; b < burst; ++b, ++i) {
      sent.push_back(std::to_string(10000000 + i));
      send_call(sent.back(), i % 2 == 0);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(gaps_ms[round % 5]));
    if (i >= 1000 && pss_warm == 0) {
      std::this_thread::sleep_for(std::chrono::milliseconds(500));
      pss_warm = PssMegabytesOfTree(pid);
      threads_start = ThreadsOf(pid);
      fds_start = CountEntries("/proc/" + std::to_string(pid) + "/fd");
    }
    // The other events of the day, spread over the calls.
    const int done_share = i * 1000 / std::max(calls, 1);
    if (popups_done < popups * done_share / 1000) {
      send_call("popup", true);
      ++popups_done;
    }
    if (downloads_done < downloads * done_share / 1000) {
      const std::string name = "download-" + std::to_string(++downloads_done);
      send_call(name, true);
      const std::string saved = std::string(std::getenv("HOME")) + "/Desktop/" + name + ".bin";
      if (AnswerSaveDialogAndNotice() &&
          WaitFor([&] { return std::filesystem::exists(saved) && std::filesystem::file_size(saved) == file.size(); },
                  10000))
        ++downloads_saved;
      else
        std::fprintf(stderr, "download %d was not saved\n", downloads_done);
    }
    if (reloads_done < reloads * done_share / 1000) {
      const int before = loads;
      // In turns: the page reloads, F5, the page goes to another of its pages.
      const int way = reloads_done % 3;
      if (way == 0) send_call("reload", false);
      if (way == 1 && !PressF5()) std::fprintf(stderr, "F5 could not be pressed\n");
      if (way == 2) send_call("navigate", false);
      ++reloads_done;
      std::fprintf(stderr, "%s after call %d\n", way == 0 ? "reload" : way == 1 ? "F5" : "navigation", i);
      // Calls keep coming while the page is replaced.
      for (int b = 0; b < 40; ++b, ++i) {
        sent.push_back(std::to_string(10000000 + i));
        send_call(sent.back(), i % 2 == 0);
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
      }
      if (!page_back_after(before)) std::fprintf(stderr, "the page did not load again after reload %d\n", reloads_done);
    }
    if (kills_done < kills * done_share / 1000) {
      const int before = loads;
      for (const pid_t renderer : Renderers(pid)) kill(renderer, SIGKILL);
      ++kills_done;
      std::fprintf(stderr, "renderers killed after call %d\n", i);
      // A few calls while the page is down wait for it.
      for (int b = 0; b < 3; ++b, ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        sent.push_back(std::to_string(10000000 + i));
        send_call(sent.back(), i % 2 == 0);
      }
      if (!page_back_after(before)) std::fprintf(stderr, "the page did not come back after kill %d\n", kills_done);
    }
  }
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  WaitFor([&] {
    std::lock_guard<std::mutex> lock(mutex);
    for (const std::string& number : sent)
      if (!received.count(number)) return false;
    return true;
  }, 20000);
  std::this_thread::sleep_for(std::chrono::milliseconds(1000));
  pss_end = PssMegabytesOfTree(pid);
  threads_end = ThreadsOf(pid);
  fds_end = CountEntries("/proc/" + std::to_string(pid) + "/fd");
  close(udp);

  int lost = 0, repeated = 0;
  {
    std::lock_guard<std::mutex> lock(mutex);
    for (const std::string& number : sent) {
      const auto found = received.find(number);
      if (found == received.end()) {
        if (++lost <= 10) std::fprintf(stderr, "lost: %s\n", number.c_str());
      } else if (found->second > 1) {
        if (repeated < 10) std::fprintf(stderr, "repeated: %s (%d times)\n", number.c_str(), found->second);
        repeated += found->second - 1;
      }
    }
  }
  // A clean exit writes the UI thread's longest pause.
  StopGroup(pid, 10000);
  server.stop();
  serving.join();
  std::printf("calls=%zu lost=%d repeated=%d popups=%d downloads=%d/%d reloads=%d renderer_kills=%d seconds=%.0f "
              "pss_mb_warm=%.1f pss_mb_end=%.1f (%+.1f%%) threads=%d->%d fds=%d->%d ui_longest_pause_ms=%ld\n",
              sent.size(), lost, repeated, popups_done, downloads_saved, downloads_done, reloads_done, kills_done, seconds,
              pss_warm, pss_end,
              pss_warm > 0 ? (pss_end - pss_warm) * 100 / pss_warm : 0.0, threads_start, threads_end, fds_start,
              fds_end, LongestPauseMs(client));
  return lost == 0 && repeated == 0 && downloads_saved == downloads_done ? 0 : 1;
}
