#ifndef TESTS_INTEGRATION_TEST_HELPERS_H_
#define TESTS_INTEGRATION_TEST_HELPERS_H_

#include <arpa/inet.h>
#include <httplib.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTimer>
#include <condition_variable>
#include <cstdlib>
#include <functional>
#include <initializer_list>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "tests/unit/test_support.h"

// Runs the event loop until |done| or the deadline. It sleeps between
// events rather than spinning, so the engine's threads keep the CPU;
// the ticker wakes it for conditions no event announces.
inline bool WaitFor(const std::function<bool()>& done, int timeout_ms = 20000) {
  QElapsedTimer timer;
  timer.start();
  QTimer ticker;
  ticker.start(5);
  while (!done() && timer.elapsed() < timeout_ms) {
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    // Outside exec() deleteLater() needs this to happen at all.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  }
  return done();
}

// The text of a UTF-16LE log after its byte-order mark; empty when absent.
inline QString ReadUtf16Log(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return QString();
  const QByteArray bytes = file.readAll().mid(2);
  return QString::fromUtf16(reinterpret_cast<const char16_t*>(bytes.constData()), bytes.size() / 2);
}

// A stand-in program |name| in |folder| that appends its arguments to
// |record|, one line a call. False when it could not be written.
inline bool WriteRecordingProgram(const QString& folder, const QString& name, const QString& record) {
  QFile program(folder + "/" + name);
  if (!program.open(QIODevice::WriteOnly)) return false;
  program.write(QStringLiteral("#!/bin/sh\necho \"$*\" >> %1\n").arg(record).toUtf8());
  program.close();
  return program.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}

// A port that was free a moment ago and that nobody listens on.
inline int ClosedPort() {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof(address);
  bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address));
  getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
  close(fd);
  return ntohs(address.sin_port);
}

// An HTTP server on 127.0.0.1 that serves fixed bodies and records the
// headers of every request it gets.
class RecordingServer {
 public:
  struct Seen {
    std::string method;
    std::string path;
    std::multimap<std::string, std::string> headers;
  };

  RecordingServer() {
    // One request a connection, so stopping never waits for idle keep-alives.
    server_.set_keep_alive_max_count(1);
    server_.set_pre_routing_handler([this](const httplib::Request& req, httplib::Response& res) {
      {
        std::lock_guard<std::mutex> lock(mutex_);
        Seen seen{req.method, req.path, {}};
        for (const auto& [name, value] : req.headers) seen.headers.emplace(name, value);
        seen_.push_back(std::move(seen));
      }
      if (refuse_preflights_ && req.method == "OPTIONS") {
        res.status = 405;
        return httplib::Server::HandlerResponse::Handled;
      }
      res.set_header("Access-Control-Allow-Origin", "*");
      res.set_header("Access-Control-Allow-Headers", "*");
      auto body = bodies_.find(req.path);
      if (body == bodies_.end()) return httplib::Server::HandlerResponse::Unhandled;
      res.set_content(body->second.first, body->second.second);
      return httplib::Server::HandlerResponse::Handled;
    });
    // A POST to a path without a body of its own is kept, and answered; a
    // multipart form as one line a part: name="..." filename="..." and its
    // content.
    server_.Post(".*", [this](const httplib::Request& req, httplib::Response& res) {
      std::string body = req.body;
      for (const auto& [name, part] : req.files)
        body += "name=\"" + name + "\" filename=\"" + part.filename + "\" " + part.content + "\n";
      std::lock_guard<std::mutex> lock(mutex_);
      posted_[req.path] = body;
      res.set_content("posted", "text/plain");
    });
    port_ = server_.bind_to_any_port("127.0.0.1");
    thread_ = std::thread([this] { server_.listen_after_bind(); });
  }
  ~RecordingServer() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stopping_ = true;
    }
    released_.notify_all();
    server_.stop();
    thread_.join();
  }

  // Requests of |path| get no answer while the server lives: a resource
  // that keeps a page loading. Call before the first request.
  void Hang(const std::string& path) {
    server_.Get(path, [this](const httplib::Request&, httplib::Response& res) {
      std::unique_lock<std::mutex> lock(mutex_);
      released_.wait(lock, [this] { return stopping_; });
      res.status = 503;
    });
  }

  // Answers OPTIONS with 405 and no CORS headers, as many servers do: a
  // preflighted request then fails. Call before the first request.
  void RefusePreflights() { refuse_preflights_ = true; }
  // Call before the first request.
  void Serve(const std::string& path, const std::string& body, const std::string& type = "text/html; charset=utf-8") {
    bodies_[path] = {body, type};
  }
  std::string Url(const std::string& path, const std::string& host = "127.0.0.1") const {
    return "http://" + host + ":" + std::to_string(port_) + path;
  }
  std::vector<Seen> seen() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return seen_;
  }
  // The body of the last POST to |path|.
  std::string Posted(const std::string& path) const {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = posted_.find(path);
    return it == posted_.end() ? std::string() : it->second;
  }
  void ClearPosted() {
    std::lock_guard<std::mutex> lock(mutex_);
    posted_.clear();
  }
  // Requests of |path| with |method|.
  int Hits(const std::string& path, const std::string& method = "GET") const {
    int hits = 0;
    for (const Seen& s : seen()) hits += s.path == path && s.method == method;
    return hits;
  }

 private:
  httplib::Server server_;
  std::map<std::string, std::pair<std::string, std::string>> bodies_;
  bool refuse_preflights_ = false;
  mutable std::mutex mutex_;
  std::condition_variable released_;
  bool stopping_ = false;
  std::vector<Seen> seen_;
  std::map<std::string, std::string> posted_;
  int port_ = 0;
  std::thread thread_;
};

#endif  // TESTS_INTEGRATION_TEST_HELPERS_H_
