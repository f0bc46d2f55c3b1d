#ifndef PLATFORM_MESSAGE_BOX_H_
#define PLATFORM_MESSAGE_BOX_H_

#include <functional>
#include <string>

class QWidget;

namespace platform {

// Button and icon flags and results with their Windows values.
enum : unsigned {
  MB_OK = 0x0,
  MB_OKCANCEL = 0x1,
  MB_ICONERROR = 0x10,
  MB_ICONQUESTION = 0x20,
  MB_ICONWARNING = 0x30,
  MB_ICONINFORMATION = 0x40,
};
enum { IDOK = 1, IDCANCEL = 2 };

struct MessageBoxRequest {
  std::string text;
  std::string caption;
  unsigned flags = MB_OK;
};

// Shows a modal message box and returns the button chosen. A call from a
// worker thread waits until the box on the UI thread is closed.
int ShowMessageBox(QWidget* owner, const std::string& text, const std::string& caption, unsigned flags);

// Tests answer boxes themselves; an empty answerer restores the real boxes.
using MessageBoxAnswerer = std::function<int(const MessageBoxRequest&)>;
void SetMessageBoxAnswererForTesting(MessageBoxAnswerer answerer);

// Once the UI thread has left its loop, boxes of other threads are not
// shown: those waiting, and any that follow, answer IDCANCEL at once.
void SetMessageBoxesClosed(bool closed);

}  // namespace platform

#endif  // PLATFORM_MESSAGE_BOX_H_
