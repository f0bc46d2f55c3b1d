#include "platform/window_directory.h"

#include <QCoreApplication>
#include <QThread>

#include <cstdlib>
#include <functional>
#include <map>
#include <mutex>
#include <vector>

#include "platform/top_level_window.h"
#include "platform/window_requests.h"
#include "platform/window_socket.h"

namespace platform {

namespace {

struct Entry {
  uint64_t id;
  TopLevelWindow* window;  // dereferenced on the UI thread only
  std::string class_name;
  std::string title;
};

class Directory {
 public:
  void Register(TopLevelWindow* window, const std::string& class_name, const std::string& title) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!dispatcher_) dispatcher_ = new QObject;  // lives as long as the process, on the UI thread
    entries_.push_back(Entry{next_id_++, window, class_name, title});
    const std::string path = WindowSocketPath(class_name, title);
    if (servers_.find(path) == servers_.end() && !WindowSocketAnswers(path))
      servers_[path] = new WindowSocketServer(path, class_name, title);
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

 private:
  std::mutex mutex_;
  std::vector<Entry> entries_;
  std::map<std::string, WindowSocketServer*> servers_;
  QObject* dispatcher_ = nullptr;
  uint64_t next_id_ = 1;
};

Directory& TheDirectory() {
  static Directory* directory = new Directory;  // used until process exit
  return *directory;
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

  bool Post(const WindowMessage& m) override { return RemoteRequest(path_, MessageRequest("post", m)) == "1"; }
  intptr_t Send(const WindowMessage& m) override {
    const std::string reply = RemoteRequest(path_, MessageRequest("send", m));
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
  std::string path_;
};

}  // namespace

std::shared_ptr<WindowHandle> FindWindowByClassAndTitle(const std::string& class_name, const std::string& title) {
  if (const uint64_t id = TheDirectory().Find(class_name, title)) return std::make_shared<LocalHandle>(id);
  const std::string path = WindowSocketPath(class_name, title);
  if (WindowSocketAnswers(path)) return std::make_shared<RemoteHandle>(path);
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
