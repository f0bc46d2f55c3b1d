// A local stand-in for the channel service: answers the channel-list
// request with the given channel document, scrambled and Base64-encoded as
// the service does. Usage: channel_server DOCUMENT_FILE [port]
// (port 0 or none: a free port, printed on stdout)
#include <httplib.h>

#include <cstdio>
#include <fstream>
#include <sstream>

#include "channel/channel_list.h"
#include "engine/encoding.h"

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: channel_server DOCUMENT_FILE [port]\n");
    return 2;
  }
  std::ifstream in(argv[1], std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "channel_server: cannot read %s\n", argv[1]);
    return 1;
  }
  std::stringstream document;
  document << in.rdbuf();
  std::string scrambled = document.str();
  channel::Unscramble(scrambled);  // the same XOR scrambles and unscrambles
  const std::string body = "{\"code\":100,\"data\":\"" + engine::Base64Encode(scrambled) + "\"}";

  httplib::Server server;
  server.Get("/home/index/getAllChannelByAppId", [&](const httplib::Request& req, httplib::Response& res) {
    if (req.get_param_value("app") != "8") {
      res.status = 404;
      return;
    }
    res.set_content(body, "application/json");
  });
  const int port = argc > 2 ? std::atoi(argv[2]) : 0;
  const int bound = port > 0 ? (server.bind_to_port("127.0.0.1", port) ? port : -1)
                             : server.bind_to_any_port("127.0.0.1");
  if (bound <= 0) return 1;
  std::printf("%d\n", bound);
  std::fflush(stdout);
  return server.listen_after_bind() ? 0 : 1;
}
