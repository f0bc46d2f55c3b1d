#ifndef PLATFORM_TOP_LEVEL_WINDOW_H_
#define PLATFORM_TOP_LEVEL_WINDOW_H_

#include <QWidget>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/screen.h"
#include "platform/window_directory.h"

namespace platform {

// A top-level frame that other threads and processes can find by class
// name and title and send window messages to. With an |owner| it stays
// above that window and closes with it. Lives on the UI thread.
class TopLevelWindow : public QWidget {
  Q_OBJECT
 public:
  TopLevelWindow(const std::string& class_name, QWidget* owner = nullptr);
  ~TopLevelWindow() override;

  const std::string& ClassName() const { return class_name_; }
  // Sets the title and (re)registers the window under class and title.
  void SetTitle(const std::string& title);

  // Handles a message posted or sent to this window; returns its result.
  virtual intptr_t WindowProc(const WindowMessage&) { return 0; }

  void ShowWithCommand(ShowCommand command);
  void BringToForeground();
  // Full screen on the monitor the window is on; back, maximised on the
  // same monitor.
  void SetFullScreenPresentation(bool full_screen);

 private:
  std::string class_name_;
  std::string title_;
  bool registered_ = false;
  Rect full_screen_from_;  // the usable area of the monitor full screen took

};

// The window directory's side of registration (window_directory.cc).
void RegisterWindow(TopLevelWindow* window, const std::string& class_name, const std::string& title);
void UnregisterWindow(TopLevelWindow* window);
// The first window of this process under class and title; UI thread.
TopLevelWindow* FindLocalWindow(const std::string& class_name, const std::string& title);
// A handle on |window| itself, for posting to it from any thread.
std::shared_ptr<WindowHandle> HandleOf(TopLevelWindow* window);

}  // namespace platform

#endif  // PLATFORM_TOP_LEVEL_WINDOW_H_
