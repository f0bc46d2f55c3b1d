#include "platform/window_directory.h"

#include <QCoreApplication>
#include <QLocalServer>
#include <QLocalSocket>
#include <QPointer>
#include <QThread>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <mutex>
#include <sstream>
#include <vector>

#include "platform/runtime_folder.h"
#include "platform/top_level_window.h"

namespace platform {

namespace {

constexpr size_t kMaxRequestLength = 256;
constexpr int kRemoteTimeoutMs = 5000;

struct Entry {
  uint64_t id;
  TopLevelWindow* window;  // dereferenced on the UI thread only
  std::string class_name;
  std::string title;
};

class Directory;
Directory& TheDirectory();
int ConnectTo(const std::string& path);

// Runs requests of other processes against the windows of this one.
class SocketServer : public QObject {
 public:
  SocketServer(const std::string& path, std::string class_name, std::string title)
      : class_name_(std::move(class_name)), title_(std::move(title)) {
    server_.setSocketOptions(QLocalServer::UserAccessOption);
    const QString name = QString::fromStdString(path);
    // Only a socket file that nobody answers on (left by a process that
    // died) is taken over; a live process keeps its own.
    if (!server_.listen(name)) {
      const int live = ConnectTo(path);
      if (live >= 0) {
        close(live);
      } else {
        QLocalServer::removeServer(name);
        server_.listen(name);
      }
    }
    connect(&server_, &QLocalServer::newConnection, this, [this] { Accept(); });
  }

 private:
  void Accept();
  void Serve(QLocalSocket* socket);

  QLocalServer server_;
  std::string class_name_;
  std::string title_;
};

class Directory {
 public:
  void Register(TopLevelWindow* window, const std::string& class_name, const std::string& title) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!dispatcher_) dispatcher_ = new QObject;  // lives as long as the process, on the UI thread
    entries_.push_back(Entry{next_id_++, window, class_name, title});
    const std::string path = WindowSocketPath(class_name, title);
    if (servers_.find(path) == servers_.end() && !RemoteWindowExists(path))
      servers_[path] = new SocketServer(path, class_name, title);
  }

  void Unregister(TopLevelWindow* window) {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<std::string> identities;
    for (auto it = entries_.begin(); it != entries_.end();) {
      if (it->window == window) {
        identities.push_back(WindowSocketPath(it->class_name, it->title));
        it = entries_.erase(it);
      } else {
        ++it;
      }
    }
    for (const std::string& path : identities) {
      bool still_used = false;
      for (const Entry& e : entries_) still_used |= WindowSocketPath(e.class_name, e.title) == path;
      auto server = servers_.find(path);
      if (!still_used && server != servers_.end()) {
        delete server->second;
        servers_.erase(server);
      }
    }
  }

  // Id of the first window under class and title, or 0.
  uint64_t Find(const std::string& class_name, const std::string& title) {
    std::lock_guard<std::mutex> lock(mutex_);
    for (const Entry& e : entries_)
      if (e.class_name == class_name && e.title == title) return e.id;
    return 0;
  }

  uint64_t IdOf(TopLevelWindow* window) {
    std::lock_guard<std::mutex> lock(mutex_);
    for (const Entry& e : entries_)
      if (e.window == window) return e.id;
    return 0;
  }

  // Any thread may test the result for null; only the UI thread uses it.
  TopLevelWindow* Window(uint64_t id) {
    std::lock_guard<std::mutex> lock(mutex_);
    for (const Entry& e : entries_)
      if (e.id == id) return e.window;
    return nullptr;
  }

  // Runs |task| on the UI thread; waits for it when |wait|.
  bool Dispatch(std::function<void()> task, bool wait) {
    QObject* dispatcher;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      dispatcher = dispatcher_;
    }
    if (!dispatcher || !qApp) return false;
    if (wait && QThread::currentThread() == dispatcher->thread()) {
      task();
      return true;
    }
    return QMetaObject::invokeMethod(dispatcher, std::move(task),
                                     wait ? Qt::BlockingQueuedConnection : Qt::QueuedConnection);
  }

  static bool RemoteWindowExists(const std::string& path);

 private:
  std::mutex mutex_;
  std::vector<Entry> entries_;
  std::map<std::string, SocketServer*> servers_;
  QObject* dispatcher_ = nullptr;
  uint64_t next_id_ = 1;
};

Directory& TheDirectory() {
  static Directory* directory = new Directory;  // used until process exit
  return *directory;
}

// Runs one request line against |window| (UI thread). Returns the reply.
std::string RunRequest(TopLevelWindow* window, const std::string& line) {
  std::istringstream in(line);
  std::string command;
  in >> command;
  if (command == "post" || command == "send") {
    unsigned long long message = 0, wparam = 0;
    long long lparam = 0;
    if (!(in >> message >> wparam >> lparam) || message > 0xFFFFFFFFull) return "error";
    WindowMessage msg;
    msg.message = static_cast<uint32_t>(message);
    msg.wparam = static_cast<uintptr_t>(wparam);
    msg.lparam = static_cast<intptr_t>(lparam);
    if (command == "post") {
      QPointer<TopLevelWindow> target(window);
      QMetaObject::invokeMethod(
          window, [target, msg] { if (target) target->WindowProc(msg); }, Qt::QueuedConnection);
      return "1";
    }
    return std::to_string(window->WindowProc(msg));
  }
  if (command == "show") {
    int show = 0;
    if (!(in >> show)) return "error";
    window->ShowWithCommand(static_cast<ShowCommand>(show));
    return "1";
  }
  if (command == "foreground") {
    window->BringToForeground();
    return "1";
  }
  if (command == "fullscreen") {
    int on = 0;
    if (!(in >> on)) return "error";
    window->SetFullScreenPresentation(on != 0);
    return "1";
  }
  if (command == "ping") return "1";
  return "error";
}

void SocketServer::Accept() {
  while (QLocalSocket* socket = server_.nextPendingConnection()) {
    connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
    connect(socket, &QLocalSocket::readyRead, this, [this, socket] { Serve(socket); });
  }
}

void SocketServer::Serve(QLocalSocket* socket) {
  if (!socket->canReadLine()) {
    if (socket->bytesAvailable() > static_cast<qint64>(kMaxRequestLength)) socket->abort();
    return;
  }
  const std::string line = socket->readLine(kMaxRequestLength).trimmed().toStdString();
  std::string reply = "error";
  Directory& directory = TheDirectory();
  if (TopLevelWindow* window = directory.Window(directory.Find(class_name_, title_)))
    reply = RunRequest(window, line);
  else
    reply = "0";
  if (reply == "error") fprintf(stderr, "window directory: rejected request \"%s\"\n", line.c_str());
  socket->write(QByteArray::fromStdString(reply + "\n"));
  socket->flush();
  socket->disconnectFromServer();
}

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

bool Directory::RemoteWindowExists(const std::string& path) {
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

class LocalHandle : public WindowHandle {
 public:
  explicit LocalHandle(uint64_t id) : id_(id) {}

  bool Post(const WindowMessage& message) override {
    const uint64_t id = id_;
    if (!TheDirectory().Window(id)) return false;
    return TheDirectory().Dispatch(
        [id, message] {
          if (TopLevelWindow* w = TheDirectory().Window(id)) w->WindowProc(message);
        },
        false);
  }

  intptr_t Send(const WindowMessage& message) override {
    intptr_t result = 0;
    RunOnWindow([&](TopLevelWindow* w) { result = w->WindowProc(message); }, true);
    return result;
  }

  void Show(ShowCommand command) override {
    RunOnWindow([command](TopLevelWindow* w) { w->ShowWithCommand(command); }, false);
  }
  void SetForeground() override {
    RunOnWindow([](TopLevelWindow* w) { w->BringToForeground(); }, false);
  }
  void SetFullScreenPresentation(bool full_screen) override {
    RunOnWindow([full_screen](TopLevelWindow* w) { w->SetFullScreenPresentation(full_screen); }, false);
  }

 private:
  void RunOnWindow(std::function<void(TopLevelWindow*)> action, bool wait) {
    const uint64_t id = id_;
    TheDirectory().Dispatch(
        [id, action = std::move(action)] {
          if (TopLevelWindow* w = TheDirectory().Window(id)) action(w);
        },
        wait);
  }

  uint64_t id_;
};

class RemoteHandle : public WindowHandle {
 public:
  explicit RemoteHandle(std::string path) : path_(std::move(path)) {}

  bool Post(const WindowMessage& m) override { return RemoteRequest(path_, Format("post", m)) == "1"; }
  intptr_t Send(const WindowMessage& m) override {
    const std::string reply = RemoteRequest(path_, Format("send", m));
    return reply.empty() || reply == "error" ? 0 : static_cast<intptr_t>(std::strtoll(reply.c_str(), nullptr, 10));
  }
  void Show(ShowCommand command) override {
    RemoteRequest(path_, "show " + std::to_string(static_cast<int>(command)));
  }
  void SetForeground() override { RemoteRequest(path_, "foreground"); }
  void SetFullScreenPresentation(bool full_screen) override {
    RemoteRequest(path_, std::string("fullscreen ") + (full_screen ? "1" : "0"));
  }

 private:
  static std::string Format(const char* verb, const WindowMessage& m) {
    return std::string(verb) + " " + std::to_string(m.message) + " " + std::to_string(m.wparam) + " " +
           std::to_string(m.lparam);
  }
  std::string path_;
};

}  // namespace

namespace {

// A file of the runtime folder named from class and title; FNV-1a keeps the
// name short and free of odd characters.
std::string RuntimePath(const std::string& class_name, const std::string& title, const char* suffix) {
  uint64_t hash = 1469598103934665603ull;
  for (unsigned char c : class_name + '\n' + title) hash = (hash ^ c) * 1099511628211ull;
  char name[64];
  snprintf(name, sizeof(name), "/veltrocrm-%016llx%s", static_cast<unsigned long long>(hash), suffix);
  // No private folder of this user's: no file anywhere else either.
  const std::string folder = RuntimeFolder();
  return folder.empty() ? std::string() : folder + name;
}

}  // namespace

std::string WindowSocketPath(const std::string& class_name, const std::string& title) {
  return RuntimePath(class_name, title, ".sock");
}

std::unique_ptr<InstanceLock> InstanceLock::TryAcquire(const std::string& class_name, const std::string& title) {
  const std::string path = RuntimePath(class_name, title, ".lock");
  // Not inherited by the programs this process starts; never a link.
  const int fd = path.empty() ? -1 : open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd < 0) {
    // Without a lock file the socket check alone decides, as before.
    fprintf(stderr, "window directory: no instance lock at \"%s\"\n", path.c_str());
    return std::unique_ptr<InstanceLock>(new InstanceLock(-1));
  }
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    close(fd);
    return nullptr;
  }
  return std::unique_ptr<InstanceLock>(new InstanceLock(fd));
}

InstanceLock::~InstanceLock() {
  if (fd_ >= 0) close(fd_);
}

std::shared_ptr<WindowHandle> FindWindowByClassAndTitle(const std::string& class_name, const std::string& title) {
  if (const uint64_t id = TheDirectory().Find(class_name, title)) return std::make_shared<LocalHandle>(id);
  const std::string path = WindowSocketPath(class_name, title);
  if (Directory::RemoteWindowExists(path)) return std::make_shared<RemoteHandle>(path);
  return nullptr;
}

void RegisterWindow(TopLevelWindow* window, const std::string& class_name, const std::string& title) {
  TheDirectory().Register(window, class_name, title);
}

void UnregisterWindow(TopLevelWindow* window) { TheDirectory().Unregister(window); }

TopLevelWindow* FindLocalWindow(const std::string& class_name, const std::string& title) {
  return TheDirectory().Window(TheDirectory().Find(class_name, title));
}

std::shared_ptr<WindowHandle> HandleOf(TopLevelWindow* window) {
  const uint64_t id = TheDirectory().IdOf(window);
  return id ? std::make_shared<LocalHandle>(id) : nullptr;
}

}  // namespace platform
