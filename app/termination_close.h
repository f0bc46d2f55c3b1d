#ifndef APP_TERMINATION_CLOSE_H_
#define APP_TERMINATION_CLOSE_H_

#include <QElapsedTimer>
#include <QTimer>

#include "browser/window_registry.h"

namespace app {

// Closes the windows for a termination signal (logout, kill, Ctrl+C) as the
// user would, so the same clean-up runs, within a bounded time whatever is
// open: open dialogs are cancelled first, and only once their loops have
// unwound does a window go, since a window takes its dialogs with it. What
// has not closed after the grace period, or on a second signal, is closed
// without waiting for its pages.
class TerminationClose {
 public:
  static constexpr int kGraceMs = 1000;

  explicit TerminationClose(browser::WindowRegistry* registry);
  TerminationClose(const TerminationClose&) = delete;
  TerminationClose& operator=(const TerminationClose&) = delete;

  // The |count|th signal.
  void OnSignal(int count);

 private:
  void Step();

  browser::WindowRegistry* registry_;
  QTimer timer_;
  QElapsedTimer since_first_;
  bool force_ = false;
  bool asked_ = false;
};

}  // namespace app

#endif  // APP_TERMINATION_CLOSE_H_
