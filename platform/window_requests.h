#ifndef PLATFORM_WINDOW_REQUESTS_H_
#define PLATFORM_WINDOW_REQUESTS_H_

#include <string>

#include "platform/window_directory.h"

namespace platform {

class TopLevelWindow;

// The one-line requests another process of the user makes of a window of
// this one, and their one-line replies: "post|send MESSAGE WPARAM LPARAM",
// "show COMMAND", "foreground", "fullscreen 0|1", "ping"; "error" for
// anything else.
inline constexpr size_t kMaxRequestLength = 256;

std::string MessageRequest(const char* verb, const WindowMessage& message);
// Runs one request line against |window| (UI thread); returns the reply.
std::string RunRequest(TopLevelWindow* window, const std::string& line);

}  // namespace platform

#endif  // PLATFORM_WINDOW_REQUESTS_H_
