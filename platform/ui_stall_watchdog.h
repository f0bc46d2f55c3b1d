#ifndef PLATFORM_UI_STALL_WATCHDOG_H_
#define PLATFORM_UI_STALL_WATCHDOG_H_

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

class QTimer;

namespace platform {

// Watches the UI thread for the support staff: it beats every 100 ms on
// the UI thread, and a watcher thread writes a line through |log| when a
// beat is 500 ms late (saying what the UI thread was doing, where a
// ScopedUiActivity says so) and another with the whole pause once it is
// over. Made and stopped on the UI thread, with an application.
class UiStallWatchdog {
 public:
  explicit UiStallWatchdog(std::function<void(const std::string&)> log);
  ~UiStallWatchdog();  // Stop()
  // Ends the watcher (joined) and writes the longest pause seen.
  void Stop();
  std::chrono::milliseconds longest_pause() const { return std::chrono::milliseconds(longest_pause_ms_.load()); }

 private:
  void Beat();
  void Watch();

  const std::function<void(const std::string&)> log_;
  std::unique_ptr<QTimer> timer_;
  std::atomic<int64_t> last_beat_ns_;
  std::atomic<int64_t> longest_pause_ms_{0};
  std::mutex mutex_;
  std::condition_variable stop_signal_;
  bool stopping_ = false;
  std::thread watcher_;
};

// What the UI thread is doing for as long as this lives, for the
// watchdog's line; |what| must outlive it (a literal).
class ScopedUiActivity {
 public:
  explicit ScopedUiActivity(const char* what);
  ~ScopedUiActivity();
  ScopedUiActivity(const ScopedUiActivity&) = delete;
  ScopedUiActivity& operator=(const ScopedUiActivity&) = delete;

 private:
  const char* previous_;
};

}  // namespace platform

#endif  // PLATFORM_UI_STALL_WATCHDOG_H_
