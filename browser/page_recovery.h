#ifndef BROWSER_PAGE_RECOVERY_H_
#define BROWSER_PAGE_RECOVERY_H_

#include <chrono>
#include <cstdint>
#include <functional>

namespace browser {

// When the service page's renderer ends (out of memory, a crash, killed):
// the page is down until the start page is back, which is loaded again
// after 1 s, then 5 s, then 30 s while it keeps ending soon after each
// reload; never in a tight loop. UI thread.
class PageRecovery {
 public:
  using Clock = std::chrono::steady_clock;
  // Runs |task| after |delay| on the UI thread.
  using Schedule = std::function<void(std::chrono::milliseconds delay, std::function<void()> task)>;
  explicit PageRecovery(Schedule schedule);

  // The renderer ended; the failure page goes up now. |reload| loads the
  // start page once the wait is over, and the load that follows brings the
  // page back (a retry of the user's before it does not). Returns the wait.
  std::chrono::milliseconds OnRendererEnded(Clock::time_point now, std::function<void()> reload);
  // A main-frame load ended: true when it brings the page back.
  bool OnLoadEnd(bool succeeded);
  bool page_down() const { return page_down_; }

 private:
  Schedule schedule_;
  bool page_down_ = false;
  bool reload_made_ = false;
  size_t step_ = 0;
  uint64_t generation_ = 0;
  Clock::time_point last_reload_{};
  bool reloaded_before_ = false;
};

}  // namespace browser

#endif  // BROWSER_PAGE_RECOVERY_H_
