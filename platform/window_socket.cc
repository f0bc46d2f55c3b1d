#include "platform/window_socket.h"

#include <QLocalSocket>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "platform/runtime_folder.h"
#include "platform/top_level_window.h"
#include "platform/window_requests.h"

namespace platform {

namespace {

constexpr int kRemoteTimeoutMs = 5000;

int ConnectTo(const std::string& path) {
  sockaddr_un address{};
  if (path.size() >= sizeof(address.sun_path)) return -1;
  address.sun_family = AF_UNIX;
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

}  // namespace

std::string WindowSocketPath(const std::string& class_name, const std::string& title) {
  return RuntimeFileFor(class_name, title, ".sock");
}

WindowSocketServer::WindowSocketServer(const std::string& path, std::string class_name, std::string title)
    : class_name_(std::move(class_name)), title_(std::move(title)) {
  server_.setSocketOptions(QLocalServer::UserAccessOption);
  const QString name = QString::fromStdString(path);
  if (!server_.listen(name)) {
    const int live = ConnectTo(path);
    if (live >= 0) {
      close(live);
    } else {
      QLocalServer::removeServer(name);
      if (!server_.listen(name))
        fprintf(stderr, "window socket: cannot listen on \"%s\": %s\n", path.c_str(),
                server_.errorString().toLocal8Bit().constData());
    }
  }
  connect(&server_, &QLocalServer::newConnection, this, [this] { Accept(); });
}

void WindowSocketServer::Accept() {
  while (QLocalSocket* socket = server_.nextPendingConnection()) {
    connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
    connect(socket, &QLocalSocket::readyRead, this, [this, socket] { Serve(socket); });
  }
}

void WindowSocketServer::Serve(QLocalSocket* socket) {
  if (!socket->canReadLine()) {
    if (socket->bytesAvailable() > static_cast<qint64>(kMaxRequestLength)) socket->abort();
    return;
  }
  const std::string line = socket->readLine(kMaxRequestLength).trimmed().toStdString();
  TopLevelWindow* window = FindLocalWindow(class_name_, title_);
  const std::string reply = window ? RunRequest(window, line) : std::string("0");
  if (reply == "error") fprintf(stderr, "window socket: rejected request \"%s\"\n", line.c_str());
  socket->write(QByteArray::fromStdString(reply + "\n"));
  socket->flush();
  socket->disconnectFromServer();
}

bool WindowSocketAnswers(const std::string& path) {
  const int fd = ConnectTo(path);
  if (fd < 0) return false;
  close(fd);
  return true;
}

// Sends one request line and waits for the reply line.
std::string RemoteRequest(const std::string& path, const std::string& request) {
  const int fd = ConnectTo(path);
  if (fd < 0) return std::string();
  const std::string line = request + "\n";
  std::string reply;
  if (send(fd, line.data(), line.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(line.size())) {
    pollfd p{fd, POLLIN, 0};
    char buffer[128];
    while (reply.find('\n') == std::string::npos && reply.size() < kMaxRequestLength &&
           poll(&p, 1, kRemoteTimeoutMs) > 0) {
      const ssize_t n = recv(fd, buffer, sizeof(buffer), 0);
      if (n <= 0) break;
      reply.append(buffer, static_cast<size_t>(n));
    }
  }
  close(fd);
  return reply.substr(0, reply.find('\n'));
}

}  // namespace platform
