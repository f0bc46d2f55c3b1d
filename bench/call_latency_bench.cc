// Call-to-phoneCall latency of the real client, measured from outside: the
// built veltrocrm runs as its own process group, this program sends calls
// (landline rings through the simulated box's control socket, or the
// companion app's datagrams) and the page stamps each phoneCall with the
// wall clock. Every call is counted: lost and repeated calls are reported,
// not hidden. Calls go one every INTERVAL ms, or in bursts of BURST sent
// back to back with INTERVAL ms between bursts. "hanging" gives the page an
// image its server holds for 30 s: the calls come while the page loads.
// Usage: call_latency_bench VELTROCRM [calls [interval_ms [landline|mobile [burst [hanging]]]]]
//        (needs a display: Xvfb with a window manager is fine)
#include <arpa/inet.h>
#include <httplib.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "bench/outside_process.h"
#include "phonebox/control_socket.h"

namespace {

// Cross-origin isolated, so the page's clock is fine-grained.
constexpr char kPage[] = R"HTML(<html><body>landline bench<script>
var stamps = [];
function phoneCall(number) {
  if (number !== 'report') { stamps.push(number + ' ' + ((performance.timeOrigin + performance.now()) * 1000).toFixed(0)); return; }
  fetch('/report', { method: 'POST', body: stamps.join('\n') });
}
app.startLandlineCapture();
kestrin.openIncomingNotify();
</script></body></html>)HTML";

int64_t NowMicroseconds() {
  return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::system_clock::now().time_since_epoch())
      .count();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr,
                 "usage: call_latency_bench VELTROCRM [calls [interval_ms [landline|mobile [burst [hanging]]]]]\n");
    return 2;
  }
  const std::string client = std::filesystem::absolute(argv[1]).string();
  const int rings = argc > 2 ? std::atoi(argv[2]) : 1000;
  const int interval_ms = argc > 3 ? std::atoi(argv[3]) : 5;
  const bool mobile = argc > 4 && std::string(argv[4]) == "mobile";
  const int burst = argc > 5 ? std::max(1, std::atoi(argv[5])) : 1;
  const bool hanging = argc > 6 && std::string(argv[6]) == "hanging";

  PrivateHome home;

  httplib::Server server;
  std::mutex mutex;
  std::string report;
  bool reported = false;
  bool stopping = false;
  std::condition_variable stopped;
  server.Get("/client", [hanging](const httplib::Request&, httplib::Response& res) {
    res.set_header("Cross-Origin-Opener-Policy", "same-origin");
    res.set_header("Cross-Origin-Embedder-Policy", "require-corp");
    res.set_content(std::string(kPage) + (hanging ? "<img src='/never.png'>" : ""), "text/html");
  });
  server.Get("/never.png", [&](const httplib::Request&, httplib::Response& res) {
    std::unique_lock<std::mutex> lock(mutex);
    stopped.wait_for(lock, std::chrono::seconds(30), [&] { return stopping; });
    res.status = 404;
  });
  server.Post("/report", [&](const httplib::Request& req, httplib::Response&) {
    std::lock_guard<std::mutex> lock(mutex);
    report = req.body;
    reported = true;
  });
  const int port = server.bind_to_any_port("127.0.0.1");
  std::thread serving([&] { server.listen_after_bind(); });

  const pid_t pid = StartInOwnGroup({client, "--start-url=http://127.0.0.1:" + std::to_string(port) + "/client",
                                     "--channel-service=127.0.0.1:9"});

  const std::string box = phonebox::ControlSocketPath();
  std::string reply;
  int result = 1;
  if (!WaitFor([&] { return phonebox::SendControlCommand(box, "status", reply) && reply.find("open=1") != std::string::npos; },
               60000)) {
    std::fprintf(stderr, "the client's page did not open the simulated box\n");
  } else {
    std::map<std::string, int64_t> sent;
    const int udp = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(53526);
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    for (int i = 0; i < rings; ++i) {
      const std::string number = std::to_string(1000000 + i);
      sent[number] = NowMicroseconds();
      if (mobile) {
        const std::string datagram = "tel:" + number;
        sendto(udp, datagram.data(), datagram.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof(to));
      } else if (!phonebox::SendControlCommand(box, "ring " + number, reply)) {
        std::fprintf(stderr, "ring %d refused\n", i);
      }
      if ((i + 1) % burst == 0) std::this_thread::sleep_for(std::chrono::milliseconds(interval_ms));
    }
    close(udp);
    std::this_thread::sleep_for(std::chrono::milliseconds(1000));
    phonebox::SendControlCommand(box, "ring report", reply);
    if (!WaitFor([&] {
          std::lock_guard<std::mutex> lock(mutex);
          return reported;
        }, 10000)) {
      std::fprintf(stderr, "the page sent no report\n");
    } else {
      std::map<std::string, int> seen;
      std::vector<double> latencies;
      std::istringstream lines(report);
      std::string number;
      int64_t stamp = 0;
      while (lines >> number >> stamp) {
        if (++seen[number] == 1 && sent.count(number)) latencies.push_back((stamp - sent[number]) / 1000.0);
      }
      int repeated = 0;
      for (const auto& [n, count] : seen) repeated += count - 1;
      const size_t lost = sent.size() - latencies.size();
      std::sort(latencies.begin(), latencies.end());
      std::printf("source=%s calls=%d burst=%d interval_ms=%d delivered=%zu lost=%zu repeated=%d median_ms=%.2f "
                  "p99_ms=%.2f max_ms=%.2f%s\n",
                  mobile ? "mobile" : "landline", rings, burst, interval_ms, latencies.size(), lost, repeated,
                  Quantile(latencies, 0.5), Quantile(latencies, 0.99),
                  latencies.empty() ? 0.0 : latencies.back(), hanging ? " page=loading" : "");
      result = lost == 0 && repeated == 0 ? 0 : 1;
    }
  }

  // The client and every process it started go, whatever happened.
  StopGroup(pid, 5000);
  {
    std::lock_guard<std::mutex> lock(mutex);
    stopping = true;
  }
  stopped.notify_all();
  server.stop();
  serving.join();
  return result;
}
