// Datagram-to-phoneCall latency: the real client in this process (engine,
// main window, page bridge, UDP listener) and a sender thread on loopback.
// Usage: call_latency_bench [calls]   (needs a display: Xvfb is fine)
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>

#include "bench/bench_page.h"
#include "telephony/mobile_call_listener.h"

namespace {

// The page keeps the latency of each call, in microseconds from the time
// the sender put in the number to the time phoneCall ran.
constexpr char kPage[] = R"HTML(<html><body><pre id="out"></pre><script>
var latencies = [];
function phoneCall(number) {
  var now = (performance.timeOrigin + performance.now()) * 1000;
  var sent = Number(number.split('_')[1]);
  latencies.push(now - sent);
}
function summary() {
  var s = latencies.slice().sort(function (a, b) { return a - b; });
  var at = function (q) { return s[Math.min(s.length - 1, Math.floor(q * s.length))]; };
  return 'calls=' + s.length + ' median_us=' + Math.round(at(0.5)) + ' p99_us=' + Math.round(at(0.99)) +
         ' max_us=' + Math.round(s[s.length - 1]);
}
document.getElementById('out').textContent = kestrin.openIncomingNotify() ? 'capture on' : 'capture off';
</script></body></html>)HTML";



}  // namespace

int main(int argc, char** argv) {
  engine::MainArgs args{argc, argv};
  if (const int result = engine::ExecuteProcess(args, nullptr); result >= 0) return result;
  const int calls = argc > 1 ? std::atoi(argv[1]) : 1000;

  BenchPage page(argc, argv, kPage);
  if (!page.Open("capture on") || !WaitFor([] { return telephony::IsMobileListenerStarted(); }, 5000)) {
    std::fprintf(stderr, "the page did not turn capture on\n");
    return 1;
  }
  // Let the listener bind before the first call.
  WaitFor([] { return false; }, 500);

  std::atomic<bool> sent_all{false};
  std::thread sender([&] {
    const int fd = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(telephony::kMobileCallPort);
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    for (int i = 0; i < calls; ++i) {
      const auto now = std::chrono::duration_cast<std::chrono::microseconds>(
                           std::chrono::system_clock::now().time_since_epoch())
                           .count();
      const std::string datagram = "tel:" + std::to_string(i) + "_" + std::to_string(now);
      sendto(fd, datagram.data(), datagram.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof(to));
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    close(fd);
    sent_all = true;
  });
  WaitFor([&] { return sent_all.load(); }, calls * 50 + 10000);
  sender.join();
  WaitFor([] { return false; }, 500);

  const std::string result = page.Run("document.getElementById('out').textContent = summary();", "calls=", 5000);
  std::printf("%s\n", result.c_str());
  return result.find("calls=") != std::string::npos ? 0 : 1;
}
