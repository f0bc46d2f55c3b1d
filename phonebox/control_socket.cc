#include "phonebox/control_socket.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>

#include "platform/runtime_folder.h"

namespace phonebox {

namespace {
constexpr int kReplyTimeoutMs = 5000;
constexpr size_t kMaxReply = 4096;
}  // namespace

std::string ControlSocketPath() {
  const std::string folder = platform::RuntimeFolder();
  return folder.empty() ? std::string() : folder + "/veltrocrm-phonebox.sock";
}

bool SendControlCommand(const std::string& path, const std::string& command, std::string& reply) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (path.empty() || path.size() >= sizeof(address.sun_path)) return false;
  std::memcpy(address.sun_path, path.c_str(), path.size());
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  bool answered = false;
  const std::string line = command + "\n";
  if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0 &&
      send(fd, line.data(), line.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(line.size())) {
    reply.clear();
    pollfd ready{fd, POLLIN, 0};
    char buffer[512];
    while (reply.size() < kMaxReply && poll(&ready, 1, kReplyTimeoutMs) == 1) {
      const ssize_t got = recv(fd, buffer, sizeof(buffer), 0);
      if (got <= 0) break;
      reply.append(buffer, got);
      if (reply.find('\n') != std::string::npos) break;
    }
    if (const size_t end = reply.find('\n'); end != std::string::npos) {
      reply.resize(end);
      answered = true;
    }
  }
  close(fd);
  return answered;
}

}  // namespace phonebox
