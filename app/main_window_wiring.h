#ifndef APP_MAIN_WINDOW_WIRING_H_
#define APP_MAIN_WINDOW_WIRING_H_

namespace app {

// Plugs the subsystems that talk to the main window through its messages
// (call capture, external links, the upgrade) into the root
// windows. Before the first window.
void WireMainWindowMessages();

}  // namespace app

#endif  // APP_MAIN_WINDOW_WIRING_H_
