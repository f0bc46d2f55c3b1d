#ifndef ENV_SYSTEM_INTEGRATION_H_
#define ENV_SYSTEM_INTEGRATION_H_

#include <memory>
#include <string>
#include <vector>

#include "platform/window_directory.h"

namespace env {

// The main window: class name and exact title must both match. Works from
// any thread and from other processes of the same user; null when none.
std::shared_ptr<platform::WindowHandle> FindMainWindow();

// 0 leaves full screen, 1 enters it, 2 toggles; other modes do nothing.
// Returns whether the presentation was changed.
bool SetFullScreen(unsigned mode);
// The full-screen state SetFullScreen last applied.
bool IsFullScreen();
// The state |mode| leads to from |current|; false in |changed| when nothing
// is to be done.
bool FullScreenTarget(unsigned mode, bool current, bool& changed);

// Has the hosts helper open the mobile-call port in the host firewall,
// without waiting for it; then pauses 450 ms.
void AddFirewallRule();

}  // namespace env

#endif  // ENV_SYSTEM_INTEGRATION_H_
