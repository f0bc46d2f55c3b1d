#ifndef BROWSER_TEMP_WINDOW_WIN_H_
#define BROWSER_TEMP_WINDOW_WIN_H_

#include <memory>

class QWidget;

namespace browser {

// A hidden window that parents popup browsers until their own root window
// exists. One per browser process, owned by the root window registry.
class TempWindow {
 public:
  TempWindow();
  ~TempWindow();
  TempWindow(const TempWindow&) = delete;
  TempWindow& operator=(const TempWindow&) = delete;

  // The single instance's window, or null.
  static QWidget* GetWindowHandle();

 private:
  std::unique_ptr<QWidget> window_;
};

}  // namespace browser

#endif  // BROWSER_TEMP_WINDOW_WIN_H_
