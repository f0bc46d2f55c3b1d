#ifndef BROWSER_CLICK_COUNTER_H_
#define BROWSER_CLICK_COUNTER_H_

#include <QPoint>
#include <Qt>
#include <cstdint>

namespace browser {

// The desktop's rule for a double click: how far (pixels) and how late
// (milliseconds) a press may come after the first of a run.
struct DoubleClickRule {
  int distance = 0;
  int64_t interval_ms = 0;
};

// Counts the presses of one click run, as the page's click_count: a press
// of the same button near the run's first and soon after the last adds to
// it; anything else, or the pointer moving away or resting, starts anew.
class ClickCounter {
 public:
  // The press's click count.
  int Press(QPoint at, Qt::MouseButton button, int64_t now_ms, const DoubleClickRule& rule);
  void Move(QPoint at, int64_t now_ms, const DoubleClickRule& rule);
  int count() const { return count_; }

 private:
  bool Ends(QPoint at, int64_t now_ms, const DoubleClickRule& rule) const;

  QPoint first_;
  int64_t last_ms_ = 0;
  Qt::MouseButton button_ = Qt::NoButton;
  int count_ = 0;
};

}  // namespace browser

#endif  // BROWSER_CLICK_COUNTER_H_
