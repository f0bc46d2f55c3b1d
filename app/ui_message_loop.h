#ifndef APP_UI_MESSAGE_LOOP_H_
#define APP_UI_MESSAGE_LOOP_H_

#include <functional>

namespace app {

// The browser process's main message loop and its way to run work on the
// UI thread. One per process, reachable through Get() while it exists.
class UiMessageLoop {
 public:
  UiMessageLoop();
  ~UiMessageLoop();
  UiMessageLoop(const UiMessageLoop&) = delete;
  UiMessageLoop& operator=(const UiMessageLoop&) = delete;

  static UiMessageLoop* Get();

  // Runs until Quit; returns 0.
  int Run();
  void Quit();
  // Any thread.
  void PostTask(std::function<void()> task);
  bool RunsOnUiThread() const;
};

}  // namespace app

#endif  // APP_UI_MESSAGE_LOOP_H_
