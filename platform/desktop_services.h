#ifndef PLATFORM_DESKTOP_SERVICES_H_
#define PLATFORM_DESKTOP_SERVICES_H_

#include <functional>
#include <string>
#include <vector>

#include "platform/screen.h"

class QWidget;

namespace platform {

// Clipboard text: as Unicode text, or as the given bytes under plain text
// (the bytes up to the first zero). False when the clipboard is unusable.
bool SetClipboardUnicodeText(const std::u16string& text);
bool SetClipboardBytes(const std::string& bytes);

// Displays of the desktop.
int DisplayCount();
// The first display that is not the primary one; empty when there is none.
Rect SecondaryDisplayRect();
// Extends the desktop onto the second output (xrandr), without waiting
// for it; each step may take |timeout_ms|. False when there is no xrandr.
bool ExtendDesktopToSecondDisplay(int timeout_ms);

// Whether an input device of the keyboard kind is present.
bool HasKeyboardDevice();
// Parses /proc/bus/input/devices text for a keyboard (exposed for tests).
bool DevicesListKeyboard(const std::string& devices_text);

// Starts a program by name with |arguments|, detached. False when it
// cannot be started.
bool StartProgramByName(const std::string& program, const std::vector<std::string>& arguments);
// Opens |url| (or a file) with the desktop's default handler, started in
// |working_directory| when one is given, without waiting: |done| learns on
// the UI thread whether a handler took it (one still starting after
// |timeout_ms| counts as taken). False at once when there is no handler
// program at all.
bool OpenWithDefaultHandler(const std::string& url, int timeout_ms, const std::string& working_directory = "",
                            std::function<void(bool opened)> done = nullptr);

// Shows a notification with the program's icon through the desktop's
// notification service (org.freedesktop.Notifications on the session bus),
// without waiting for it. |on_click| runs on the UI thread when the user
// clicks the notification; |on_failed| when no service took it.
void ShowDesktopNotification(const std::string& title, const std::string& message, std::function<void()> on_click,
                             std::function<void()> on_failed);
// Asks the window manager to draw the user's attention to |window| (the
// urgency hint: a flashing taskbar entry) when it is minimised or not
// active; nothing otherwise.
void RequestAttention(QWidget* window);

}  // namespace platform

#endif  // PLATFORM_DESKTOP_SERVICES_H_
