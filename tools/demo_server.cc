// A local stand-in for the service: serves the bundled demo client page,
// or the pages of another folder. /slow/NAME sends the folder's file NAME
// as a download in 20 pieces over about three seconds, as a slow line
// brings an installer; /late/PATH answers with the page PATH after eight
// seconds, as an overloaded service would; /redirect?to=URL answers with a
// redirect to URL, as a server that sends downloads elsewhere.
// Usage: demo_server [port [folder]]   (port 0 or none: a free port, printed on stdout)
#include <httplib.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <thread>

namespace {

// The file |path| of |root|; false for a path that climbs out of it or a
// file that cannot be read.
bool ReadUnderRoot(const std::string& root, const std::string& path, std::string& body) {
  if (path.find("..") != std::string::npos) return false;
  std::ifstream file(root + "/" + path, std::ios::binary);
  if (!file) return false;
  body.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  const int port = argc > 1 ? std::atoi(argv[1]) : 0;
  const char* root = argc > 2 ? argv[2] : VELTRO_DEMO_ROOT;
  httplib::Server server;
  if (!server.set_mount_point("/", root)) {
    std::fprintf(stderr, "demo_server: cannot serve %s\n", root);
    return 1;
  }
  server.Get("/client", [](const httplib::Request&, httplib::Response& res) { res.set_redirect("/client/"); });
  server.Get("/redirect", [](const httplib::Request& req, httplib::Response& res) {
    res.set_redirect(req.get_param_value("to"));
  });
  server.Get(R"(/slow/([A-Za-z0-9._-]+))", [root](const httplib::Request& req, httplib::Response& res) {
    const std::string name = req.matches[1];
    auto body = std::make_shared<std::string>();
    if (!ReadUnderRoot(root, name, *body)) {
      res.status = 404;
      return;
    }
    res.set_header("Content-Disposition", "attachment; filename=\"" + name + "\"");
    res.set_content_provider(body->size(), "application/octet-stream",
                             [body](size_t offset, size_t, httplib::DataSink& sink) {
                               const size_t piece = body->size() / 20 + 1;
                               std::this_thread::sleep_for(std::chrono::milliseconds(150));
                               const size_t length = std::min(piece, body->size() - offset);
                               sink.write(body->data() + offset, length);
                               return true;
                             });
  });
  server.Get(R"(/late/([A-Za-z0-9._/-]+))", [root](const httplib::Request& req, httplib::Response& res) {
    std::string page;
    if (!ReadUnderRoot(root, req.matches[1], page)) {
      res.status = 404;
      return;
    }
    std::this_thread::sleep_for(std::chrono::seconds(8));
    res.set_content(page, "text/html; charset=utf-8");
  });
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
