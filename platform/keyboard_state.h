#ifndef PLATFORM_KEYBOARD_STATE_H_
#define PLATFORM_KEYBOARD_STATE_H_

#include <cstdint>

namespace platform {

// Windows virtual-key codes of the keys whose state is asked for.
inline constexpr int VK_SHIFT = 16, VK_CONTROL = 17, VK_MENU = 18, VK_CAPITAL = 20, VK_NUMLOCK = 144;
inline constexpr int VK_LSHIFT = 160, VK_RSHIFT = 161, VK_LCONTROL = 162, VK_RCONTROL = 163, VK_LMENU = 164,
                     VK_RMENU = 165;

// The state of |virtual_key| as GetKeyState gives it: the high bit (0x8000)
// while the key is down, the low bit while Caps Lock or Num Lock is on.
// Read from the X server; without one (a Wayland session) only whether
// Shift, Ctrl or Alt is down, as the toolkit knows it.
uint16_t KeyState(int virtual_key);

}  // namespace platform

#endif  // PLATFORM_KEYBOARD_STATE_H_
