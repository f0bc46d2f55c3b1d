// Time of one channel-selection run for N channels of M addresses each.
// Each channel's domain is an address nothing answers at, so every
// channel is probed by address; the candidates are loopback addresses.
// Run it where nothing leaves the machine, in a network namespace of its own:
//   unshare --net sh -c 'ip link set lo up; build/channel_selection_bench 100 5'
#include <httplib.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <thread>

#include "channel/channel_list.h"
#include "channel/channel_selector.h"
#include "engine/encoding.h"

int main(int argc, char** argv) {
  const int channels = argc > 1 ? std::atoi(argv[1]) : 100;
  const int addresses = argc > 2 ? std::atoi(argv[2]) : 5;

  std::string document = "[";
  for (int c = 0; c < channels; ++c) {
    for (int a = 0; a < addresses; ++a) {
      if (document.size() > 1) document += ",";
      // The domain is a literal address without a route; candidates answer on loopback.
      document += "{\"domain\":\"10.66." + std::to_string(c / 250) + "." + std::to_string(c % 250 + 1) +
                  "\",\"ip\":\"127.0." + std::to_string(c % 250) + "." + std::to_string(a + 1) + "\"}";
    }
  }
  document += "]";
  std::string scrambled = document;
  channel::Unscramble(scrambled);
  const std::string body = "{\"code\":100,\"data\":\"" + engine::Base64Encode(scrambled) + "\"}";

  httplib::Server server;
  server.Get("/home/index/getAllChannelByAppId",
             [&](const httplib::Request&, httplib::Response& res) { res.set_content(body, "application/json"); });
  const int port = server.bind_to_any_port("127.0.0.1");
  std::thread serving([&] { server.listen_after_bind(); });

  const auto hosts = std::filesystem::temp_directory_path() / ("veltro-bench-hosts-" + std::to_string(getpid()));
  std::ofstream(hosts) << "127.0.0.1 localhost\n";
  double seconds = 0;
  size_t pinned = 0;
  {
    channel::ChannelSelector selector(hosts.string(), "127.0.0.1:" + std::to_string(port), nullptr);
    const auto start = std::chrono::steady_clock::now();
    selector.RunSelection();
    seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    pinned = selector.hosts_lines().size();
  }
  std::filesystem::remove(hosts);
  server.stop();
  serving.join();
  std::printf("channels=%d addresses=%d pinned=%zu seconds=%.2f\n", channels, addresses, pinned, seconds);
  return pinned == static_cast<size_t>(channels) ? 0 : 1;
}
