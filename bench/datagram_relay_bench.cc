// The machine's own floor for the road of a call: datagrams sent the way
// call_latency_bench sends them pass through HOPS plain processes, each
// forwarding what it receives to the next, and the last one stamps them.
// Run beside call_latency_bench, it shows how much of that benchmark's tail
// the machine's scheduling makes on its own.
// Usage: datagram_relay_bench [calls [interval_ms [burst [hops]]]]
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

#include "bench/outside_process.h"

namespace {

int64_t NowMicroseconds() {
  return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::system_clock::now().time_since_epoch())
      .count();
}

// A loopback UDP socket on a port of the system's choosing.
int BoundSocket(sockaddr_in& address) {
  const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  address = {};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof(address);
  if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
      getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0)
    return -1;
  return fd;
}

constexpr char kEnd = 'q';

}  // namespace

int main(int argc, char** argv) {
  const int calls = argc > 1 ? std::max(1, std::atoi(argv[1])) : 1000;
  const int interval_ms = argc > 2 ? std::atoi(argv[2]) : 5;
  const int burst = argc > 3 ? std::max(1, std::atoi(argv[3])) : 1;
  const int hops = argc > 4 ? std::max(1, std::atoi(argv[4])) : 4;

  std::vector<int> sockets(hops);
  std::vector<sockaddr_in> addresses(hops);
  for (int i = 0; i < hops; ++i) {
    if ((sockets[i] = BoundSocket(addresses[i])) < 0) {
      std::perror("socket");
      return 1;
    }
  }
  int stamps[2];
  if (pipe(stamps) != 0) return 1;
  std::vector<pid_t> relays;
  for (int i = 0; i < hops; ++i) {
    const pid_t pid = fork();
    if (pid != 0) {
      relays.push_back(pid);
      continue;
    }
    const bool last = i == hops - 1;
    // Should the end marker never come, the relay ends anyway.
    const timeval patience{5, 0};
    setsockopt(sockets[i], SOL_SOCKET, SO_RCVTIMEO, &patience, sizeof(patience));
    std::vector<int64_t> received;
    char byte = 0;
    while (recv(sockets[i], &byte, 1, 0) == 1) {
      if (!last) {
        sendto(sockets[i], &byte, 1, 0, reinterpret_cast<sockaddr*>(&addresses[i + 1]), sizeof(sockaddr_in));
      } else if (byte != kEnd) {
        received.push_back(NowMicroseconds());
      }
      if (byte == kEnd) break;
    }
    if (last && write(stamps[1], received.data(), received.size() * sizeof(int64_t)) < 0) _exit(1);
    _exit(0);
  }
  close(stamps[1]);

  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  std::vector<int64_t> sent;
  const int out = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  auto send = [&](char byte) {
    sendto(out, &byte, 1, 0, reinterpret_cast<sockaddr*>(&addresses[0]), sizeof(sockaddr_in));
  };
  for (int i = 0; i < calls; ++i) {
    sent.push_back(NowMicroseconds());
    send('c');
    if ((i + 1) % burst == 0) std::this_thread::sleep_for(std::chrono::milliseconds(interval_ms));
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  send(kEnd);

  std::vector<int64_t> received(calls);
  size_t bytes = 0;
  const size_t wanted = received.size() * sizeof(int64_t);
  for (ssize_t n; bytes < wanted && (n = read(stamps[0], reinterpret_cast<char*>(received.data()) + bytes,
                                              wanted - bytes)) > 0;)
    bytes += static_cast<size_t>(n);
  for (pid_t relay : relays) waitpid(relay, nullptr, 0);
  const size_t arrived = bytes / sizeof(int64_t);
  // Loopback keeps the order, so the n-th stamp is the n-th datagram's.
  std::vector<double> latencies;
  for (size_t i = 0; i < arrived; ++i) latencies.push_back((received[i] - sent[i]) / 1000.0);
  std::sort(latencies.begin(), latencies.end());
  std::printf("hops=%d calls=%d burst=%d interval_ms=%d arrived=%zu median_ms=%.2f p99_ms=%.2f max_ms=%.2f\n", hops,
              calls, burst, interval_ms, arrived, Quantile(latencies, 0.5), Quantile(latencies, 0.99),
              latencies.empty() ? 0.0 : latencies.back());
  return arrived == static_cast<size_t>(calls) ? 0 : 1;
}
