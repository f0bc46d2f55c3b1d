// A local stand-in for the service: serves the bundled demo client page,
// or the pages of another folder.
// Usage: demo_server [port [folder]]   (port 0 or none: a free port, printed on stdout)
#include <httplib.h>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
  const int port = argc > 1 ? std::atoi(argv[1]) : 0;
  const char* root = argc > 2 ? argv[2] : VELTRO_DEMO_ROOT;
  httplib::Server server;
  if (!server.set_mount_point("/", root)) {
    std::fprintf(stderr, "demo_server: cannot serve %s\n", root);
    return 1;
  }
  server.Get("/client", [](const httplib::Request&, httplib::Response& res) { res.set_redirect("/client/"); });
  const int bound = port > 0 ? (server.bind_to_port("127.0.0.1", port) ? port : -1)
                             : server.bind_to_any_port("127.0.0.1");
  if (bound <= 0) {
    std::fprintf(stderr, "demo_server: cannot listen on 127.0.0.1:%d\n", port);
    return 1;
  }
  std::printf("%d\n", bound);
  std::fflush(stdout);
  return server.listen_after_bind() ? 0 : 1;
}
