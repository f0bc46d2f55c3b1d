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

// Runs |work| (a modal dialog) on the UI thread; a worker thread waits for
// it. False, with |work| not run or its result not awaited, once dialogs
// are closed for the exit or when there is no UI thread.
bool RunModalOnUiThread(std::function<void()> work);
// Tests answer boxes themselves; an empty answerer restores the real boxes.
using MessageBoxAnswerer = std::function<int(const MessageBoxRequest&)>;
void SetMessageBoxAnswererForTesting(MessageBoxAnswerer answerer);

// Once the program is ending, boxes are not shown: those waiting on the
// UI thread, and any that follow, answer IDCANCEL at once.
void SetMessageBoxesClosed(bool closed);

// Closes every open dialog of the program as its Cancel would, so their
// loops unwind.
void RejectOpenDialogs();

}  // namespace platform

#endif  // PLATFORM_MESSAGE_BOX_H_
