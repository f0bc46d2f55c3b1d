#include "platform/ui_stall_watchdog.h"

#include <QTimer>

namespace platform {

namespace {

constexpr auto kBeat = std::chrono::milliseconds(100);
constexpr auto kStall = std::chrono::milliseconds(500);

std::atomic<const char*> g_activity{nullptr};

int64_t NowNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

}  // namespace

UiStallWatchdog::UiStallWatchdog(std::function<void(const std::string&)> log)
    : log_(std::move(log)), timer_(std::make_unique<QTimer>()), last_beat_ns_(NowNs()) {
  timer_->setTimerType(Qt::PreciseTimer);
  QObject::connect(timer_.get(), &QTimer::timeout, [this] { Beat(); });
  timer_->start(kBeat);
  watcher_ = std::thread([this] { Watch(); });
}

UiStallWatchdog::~UiStallWatchdog() { Stop(); }

void UiStallWatchdog::Stop() {
  if (!watcher_.joinable()) return;
  timer_->stop();
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  stop_signal_.notify_all();
  watcher_.join();
  log_("UI thread: longest pause " + std::to_string(longest_pause_ms_.load()) + " ms");
}

void UiStallWatchdog::Beat() {
  const int64_t now = NowNs();
  const int64_t pause_ms =
      (now - last_beat_ns_.exchange(now)) / 1000000 - std::chrono::duration_cast<std::chrono::milliseconds>(kBeat).count();
  if (pause_ms > longest_pause_ms_) longest_pause_ms_ = pause_ms;
  if (pause_ms >= kStall.count()) log_("UI thread stalled " + std::to_string(pause_ms) + " ms");
}

void UiStallWatchdog::Watch() {
  int64_t reported_beat = 0;
  std::unique_lock<std::mutex> lock(mutex_);
  while (!stop_signal_.wait_for(lock, kBeat, [this] { return stopping_; })) {
    const int64_t beat = last_beat_ns_;
    const int64_t late_ms = (NowNs() - beat) / 1000000 - std::chrono::duration_cast<std::chrono::milliseconds>(kBeat).count();
    if (late_ms < kStall.count() || beat == reported_beat) continue;
    reported_beat = beat;
    const char* activity = g_activity;
    log_("UI thread not answering for " + std::to_string(late_ms) + " ms" +
         (activity ? std::string(" while ") + activity : std::string()));
  }
}

ScopedUiActivity::ScopedUiActivity(const char* what) : previous_(g_activity.exchange(what)) {}
ScopedUiActivity::~ScopedUiActivity() { g_activity = previous_; }

}  // namespace platform
