// Time of one channel-selection run for N channels of M addresses each.
// Each channel's domain resolves to an address nothing answers at, so every
// channel is probed by address; the candidates are loopback addresses.
// It runs in network and mount namespaces of its own, so nothing leaves
// the machine and its /etc/hosts is its own; as root:
//   build/channel_selection_bench 100 5
#include <httplib.h>
#include <net/if.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <thread>

#include "channel/channel_list.h"
#include "channel/channel_selector.h"
#include "engine/encoding.h"

namespace {

// New network and mount namespaces for this process (before any thread
// starts), with only the loopback device, up.
bool PrivateNamespaces() {
  if (unshare(CLONE_NEWNET | CLONE_NEWNS) != 0 || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
    std::perror("private namespaces (run as root)");
    return false;
  }
  const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  ifreq request{};
  std::strncpy(request.ifr_name, "lo", IFNAMSIZ - 1);
  const bool up = fd >= 0 && ioctl(fd, SIOCGIFFLAGS, &request) == 0 &&
                  (request.ifr_flags |= IFF_UP, ioctl(fd, SIOCSIFFLAGS, &request) == 0);
  if (fd >= 0) close(fd);
  if (!up) {
    std::perror("loopback up");
    return false;
  }
  // Public addresses for the candidates, all of them this machine's own.
  if (std::system("ip route add local 11.0.0.0/8 dev lo") != 0) {
    std::fprintf(stderr, "cannot route 11.0.0.0/8 to loopback\n");
    return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  const int channels = argc > 1 ? std::atoi(argv[1]) : 100;
  const int addresses = argc > 2 ? std::atoi(argv[2]) : 5;

  std::string document = "[";
  for (int c = 0; c < channels; ++c) {
    for (int a = 0; a < addresses; ++a) {
      if (document.size() > 1) document += ",";
      // Candidates answer on loopback, where this namespace routes 11.0.0.0/8.
      document += "{\"domain\":\"ch" + std::to_string(c) + ".bench.example\",\"ip\":\"11.0." +
                  std::to_string(c % 250) + "." + std::to_string(a + 1) + "\"}";
    }
  }
  document += "]";
  std::string scrambled = document;
  channel::Unscramble(scrambled);
  const std::string body = "{\"code\":100,\"data\":\"" + engine::Base64Encode(scrambled) + "\"}";

  if (!PrivateNamespaces()) return 2;
  // The domains resolve to addresses without a route, through an /etc/hosts
  // of this mount namespace only.
  const auto resolver = std::filesystem::temp_directory_path() / ("veltro-bench-resolve-" + std::to_string(getpid()));
  {
    std::ofstream out(resolver);
    out << "127.0.0.1 localhost\n";
    for (int c = 0; c < channels; ++c)
      out << "10.66." << c / 250 << "." << c % 250 + 1 << " ch" << c << ".bench.example\n";
  }
  if (mount(resolver.c_str(), "/etc/hosts", nullptr, MS_BIND, nullptr) != 0) {
    std::perror("bind /etc/hosts");
    return 2;
  }

  httplib::Server server;
  server.Get("/home/index/getAllChannelByAppId",
             [&](const httplib::Request&, httplib::Response& res) { res.set_content(body, "application/json"); });
  const int port = server.bind_to_any_port("127.0.0.1");
  std::thread serving([&] { server.listen_after_bind(); });

  const auto hosts = std::filesystem::temp_directory_path() / ("veltro-bench-hosts-" + std::to_string(getpid()));
  std::ofstream(hosts) << "127.0.0.1 localhost\n";
  const channel::HostsFiles files{hosts.string(), hosts.string() + ".pinnable", hosts.string() + ".lock"};
  std::ofstream(files.pinnable_domains) << "bench.example\n";
  double seconds = 0;
  size_t pinned = 0;
  {
    channel::ChannelSelector selector(std::make_shared<channel::LocalHostsEditor>(files), "127.0.0.1:" + std::to_string(port), nullptr);
    const auto start = std::chrono::steady_clock::now();
    selector.RunSelection();
    seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    pinned = selector.pinned_hosts().size();
  }
  for (const std::string& file : {files.hosts, files.pinnable_domains, files.lock}) std::filesystem::remove(file);
  umount("/etc/hosts");
  std::filesystem::remove(resolver);
  server.stop();
  serving.join();
  std::printf("channels=%d addresses=%d pinned=%zu seconds=%.2f\n", channels, addresses, pinned, seconds);
  return pinned == static_cast<size_t>(channels) ? 0 : 1;
}
