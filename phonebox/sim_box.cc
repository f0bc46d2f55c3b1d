#include "phonebox/sim_box.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sstream>

#include "phonebox/phonebox.h"

namespace phonebox {

namespace {

constexpr int kMaxChannels = 32;
constexpr size_t kMaxCommand = 1024;
constexpr int kCommandTimeoutMs = 1000;
constexpr int kErrorNoDevice = 2;

bool ParseInt(const std::string& text, int& value) {
  if (text.empty() || text.size() > 11) return false;
  char* end = nullptr;
  errno = 0;
  const long parsed = std::strtol(text.c_str(), &end, 10);
  if (errno != 0 || *end != '\0' || parsed < -2147483647L || parsed > 2147483647L) return false;
  value = static_cast<int>(parsed);
  return true;
}

}  // namespace

SimBox::SimBox(EventSink& sink, std::string control_path) : sink_(sink), control_path_(std::move(control_path)) {
  Listen();
  if (listen_fd_ < 0 || pipe2(stop_pipe_, O_CLOEXEC) != 0) return;
  thread_ = std::thread([this] { Serve(); });
}

SimBox::~SimBox() {
  if (thread_.joinable()) {
    const char stop = 1;
    if (write(stop_pipe_[1], &stop, 1) != 1) std::fprintf(stderr, "phonebox: could not stop the control thread\n");
    thread_.join();
  }
  for (int fd : {stop_pipe_[0], stop_pipe_[1]})
    if (fd >= 0) close(fd);
  if (listen_fd_ >= 0) {
    close(listen_fd_);
    unlink(control_path_.c_str());
  }
}

void SimBox::Listen() {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (control_path_.empty() || control_path_.size() >= sizeof(address.sun_path)) {
    std::fprintf(stderr, "phonebox: no place for the simulated box's control socket\n");
    return;
  }
  std::memcpy(address.sun_path, control_path_.c_str(), control_path_.size());
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return;
  if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 && errno == EADDRINUSE) {
    // Another process's box that still answers keeps its socket; a dead
    // one's is replaced.
    const int probe = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const bool live = probe >= 0 && connect(probe, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0;
    if (probe >= 0) close(probe);
    if (live) {
      std::fprintf(stderr, "phonebox: another simulated box answers at %s\n", control_path_.c_str());
      close(fd);
      return;
    }
    unlink(control_path_.c_str());
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0) {
      close(fd);
      return;
    }
  }
  if (listen(fd, 8) != 0) {
    close(fd);
    return;
  }
  listen_fd_ = fd;
}

void SimBox::Serve() {
  for (;;) {
    pollfd ready[2] = {{listen_fd_, POLLIN, 0}, {stop_pipe_[0], POLLIN, 0}};
    if (poll(ready, 2, -1) < 0) {
      if (errno == EINTR) continue;
      return;
    }
    if (ready[1].revents) return;
    if (ready[0].revents & POLLIN) {
      const int connection = accept4(listen_fd_, nullptr, nullptr, SOCK_CLOEXEC);
      if (connection >= 0) {
        Answer(connection);
        close(connection);
      }
    }
  }
}

void SimBox::Answer(int connection) {
  ucred peer{};
  socklen_t length = sizeof(peer);
  if (getsockopt(connection, SOL_SOCKET, SO_PEERCRED, &peer, &length) != 0 || peer.uid != geteuid()) {
    std::fprintf(stderr, "phonebox: a command from another user refused\n");
    return;
  }
  std::string line;
  char buffer[256];
  pollfd ready{connection, POLLIN, 0};
  // A driver that sends nothing, or too much, does not hold the box.
  while (line.find('\n') == std::string::npos && line.size() <= kMaxCommand &&
         poll(&ready, 1, kCommandTimeoutMs) == 1) {
    const ssize_t got = recv(connection, buffer, sizeof(buffer), 0);
    if (got <= 0) break;
    line.append(buffer, got);
  }
  const size_t end = line.find('\n');
  const std::string reply =
      (end == std::string::npos || end > kMaxCommand ? std::string("error: one command line, at most 1024 bytes")
                                                    : Command(line.substr(0, end))) +
      "\n";
  send(connection, reply.data(), reply.size(), MSG_NOSIGNAL);
}

std::string SimBox::Command(const std::string& line) {
  std::istringstream words(line);
  std::string verb, argument;
  words >> verb;
  std::getline(words >> std::ws, argument);
  while (!argument.empty() && (argument.back() == '\r' || argument.back() == ' ')) argument.pop_back();
  std::unique_lock<std::mutex> lock(mutex_);
  int value = 0;
  if (verb == "plug") {
    plugged_ = true;
    return "ok plugged";
  }
  if (verb == "unplug") {
    if (!plugged_) return "ok unplugged already";
    plugged_ = false;
    const bool was_open = open_;
    lock.unlock();
    if (was_open) sink_.Emit(-1, PHONEBOX_EVENT_UNPLUGGED, 0, 0, 0, std::string());
    return "ok unplugged";
  }
  if (verb == "ring") {
    if (argument.empty()) return "error: ring NUMBER";
    if (argument.size() >= PHONEBOX_TEXT_BYTES) return "error: a caller ID of at most 599 bytes";
    if (!open_ || !plugged_) return "error: the box is not open";
    lock.unlock();
    sink_.Emit(0, PHONEBOX_EVENT_RING, 0, 0, 0, std::string());
    sink_.Emit(0, PHONEBOX_EVENT_CALLER_ID, 0, 0, 0, argument);
    return "ok rang " + argument;
  }
  if (verb == "device-error") {
    if (!open_) return "error: the box is not open";
    lock.unlock();
    sink_.Emit(-1, PHONEBOX_EVENT_DEVICE_ERROR, 0, PHONEBOX_DEVICE_ERROR_B, 0, std::string());
    return "ok device error";
  }
  if (verb == "channels") {
    if (!ParseInt(argument, value) || value < 0 || value > kMaxChannels) return "error: channels 0-32";
    channels_ = value;
    return "ok channels " + std::to_string(value);
  }
  if (verb == "no-callerid" || verb == "callerid") {
    if (!ParseInt(argument, value) || value < 0 || value >= kMaxChannels) return "error: " + verb + " CHANNEL";
    if (verb == "no-callerid")
      without_caller_id_.insert(value);
    else
      without_caller_id_.erase(value);
    return "ok " + verb + " " + std::to_string(value);
  }
  if (verb == "fail-open") {
    if (argument == "off") {
      fail_open_ = false;
      return "ok fail-open off";
    }
    if (!ParseInt(argument, value) || value > 0) return "error: fail-open CODE (0 or below) or off";
    fail_open_ = true;
    fail_open_code_ = value;
    return "ok fail-open " + std::to_string(value);
  }
  if (verb == "status") {
    std::string missing;
    for (int channel : without_caller_id_) missing += (missing.empty() ? "" : ",") + std::to_string(channel);
    return "ok plugged=" + std::to_string(plugged_) + " open=" + std::to_string(open_) +
           " channels=" + std::to_string(channels_) + " no-callerid=" + missing +
           " fail-open=" + (fail_open_ ? std::to_string(fail_open_code_) : std::string("off"));
  }
  return "error: unknown command (plug, unplug, ring NUMBER, device-error, channels N, no-callerid CHANNEL, "
         "callerid CHANNEL, fail-open CODE|off, status)";
}

int SimBox::Open() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (fail_open_) {
    last_error_ = fail_open_code_;
    return fail_open_code_;
  }
  if (!plugged_) {
    last_error_ = kErrorNoDevice;
    return -1;
  }
  open_ = true;
  return 1;
}

void SimBox::Close() {
  std::lock_guard<std::mutex> lock(mutex_);
  open_ = false;
}

int SimBox::Channels() {
  std::lock_guard<std::mutex> lock(mutex_);
  return open_ && plugged_ ? channels_ : 0;
}

int SimBox::Capabilities(int channel) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!open_ || channel < 0 || channel >= channels_) return 0;
  return without_caller_id_.count(channel) ? 0 : PHONEBOX_CAPABILITY_CALLER_ID;
}

int SimBox::LastError() {
  std::lock_guard<std::mutex> lock(mutex_);
  return last_error_;
}

}  // namespace phonebox
