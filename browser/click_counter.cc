#include "browser/click_counter.h"

#include <cstdlib>

namespace browser {

bool ClickCounter::Ends(QPoint at, int64_t now_ms, const DoubleClickRule& rule) const {
  const int half_distance = rule.distance / 2;
  return std::abs(first_.x() - at.x()) > half_distance || std::abs(first_.y() - at.y()) > half_distance ||
         now_ms - last_ms_ > rule.interval_ms;
}

int ClickCounter::Press(QPoint at, Qt::MouseButton button, int64_t now_ms, const DoubleClickRule& rule) {
  if (!Ends(at, now_ms, rule) && button == button_) {
    ++count_;
  } else {
    count_ = 1;
    first_ = at;
  }
  last_ms_ = now_ms;
  button_ = button;
  return count_;
}

void ClickCounter::Move(QPoint at, int64_t now_ms, const DoubleClickRule& rule) {
  if (!Ends(at, now_ms, rule)) return;
  count_ = 0;
  first_ = QPoint();
  last_ms_ = 0;
}

}  // namespace browser
