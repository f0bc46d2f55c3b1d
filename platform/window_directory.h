#ifndef PLATFORM_WINDOW_DIRECTORY_H_
#define PLATFORM_WINDOW_DIRECTORY_H_

#include <cstdint>
#include <memory>
#include <string>

namespace platform {

// A window message: the numbers keep their Windows meaning.
struct WindowMessage {
  WindowMessage(uint32_t message_id = 0, uintptr_t w = 0, intptr_t l = 0) : message(message_id), wparam(w), lparam(l) {}
  uint32_t message = 0;
  uintptr_t wparam = 0;
  intptr_t lparam = 0;
  // A copy-data request's identifier and text; 0 and empty otherwise.
  // Carried within this process only.
  uintptr_t copy_data_id = 0;
  std::u16string copy_data;
};

enum class ShowCommand { kNormal = 1, kMinimized = 2, kMaximized = 3, kHide = 0, kRestore = 9 };

// A top-level window found by class name and exact title, in this process
// or in another one of the same user. Usable from any thread; every
// operation on a window that is gone does nothing (Send returns 0).
class WindowHandle {
 public:
  virtual ~WindowHandle() = default;
  // Queued; returns false when the window is gone.
  virtual bool Post(const WindowMessage& message) = 0;
  // Waits until the window has handled the message; returns its result.
  virtual intptr_t Send(const WindowMessage& message) = 0;
  virtual void Show(ShowCommand command) = 0;
  virtual void SetForeground() = 0;
  // Full-screen presentation (no frame, whole desktop) or back to the
  // framed window maximised on the work area.
  virtual void SetFullScreenPresentation(bool full_screen) = 0;
};

// The first window registered under exactly |class_name| and |title|: in
// this process first, else over a per-user local socket named from both.
std::shared_ptr<WindowHandle> FindWindowByClassAndTitle(const std::string& class_name, const std::string& title);

}  // namespace platform

#endif  // PLATFORM_WINDOW_DIRECTORY_H_
