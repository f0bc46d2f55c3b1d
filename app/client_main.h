#ifndef APP_CLIENT_MAIN_H_
#define APP_CLIENT_MAIN_H_

#include "platform/screen.h"

namespace app {

// The process entry of every process kind; returns the exit code.
int RunMain(int argc, char** argv);

// Restored bounds of the main window: 5 % in from the work area's size,
// 90 % of it wide and high, truncated.
platform::Rect InitialBoundsFromWorkArea(const platform::Rect& work_area);

// The start-up steps around the configuration files, exposed for tests.
// Consumes clearCache=1 of config.ini (writes 0, then empties the user data
// directory).
void ConsumeClearCacheFlag();
// Registers the firewall rule once: when isAdd of pardo.ini reads 0.
void RegisterFirewallRuleOnce();

}  // namespace app

#endif  // APP_CLIENT_MAIN_H_
