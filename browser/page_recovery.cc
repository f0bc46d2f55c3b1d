#include "browser/page_recovery.h"

#include <algorithm>

namespace browser {

namespace {

constexpr std::chrono::milliseconds kWaits[] = {std::chrono::seconds(1), std::chrono::seconds(5),
                                                 std::chrono::seconds(30)};
// A page that lived this long after its reload starts the waits afresh.
constexpr auto kHealthyLife = std::chrono::seconds(60);

}  // namespace

PageRecovery::PageRecovery(Schedule schedule) : schedule_(std::move(schedule)) {}

std::chrono::milliseconds PageRecovery::OnRendererEnded(Clock::time_point now, std::function<void()> reload) {
  if (!reloaded_before_ || now - last_reload_ > kHealthyLife)
    step_ = 0;
  else
    step_ = std::min(step_ + 1, std::size(kWaits) - 1);
  page_down_ = true;
  reload_made_ = false;
  const uint64_t generation = ++generation_;
  const std::chrono::milliseconds wait = kWaits[step_];
  schedule_(wait, [this, generation, reload = std::move(reload)] {
    // A later end has its own reload.
    if (generation != generation_) return;
    last_reload_ = Clock::now();
    reloaded_before_ = true;
    reload_made_ = true;
    reload();
  });
  return wait;
}

bool PageRecovery::OnLoadEnd(bool succeeded) {
  // Only the reload's own load brings the page back: the failure page's,
  // and a load the renderer's end overtook, may come in any order before.
  if (!page_down_ || !reload_made_ || !succeeded) return false;
  page_down_ = false;
  return true;
}

}  // namespace browser
