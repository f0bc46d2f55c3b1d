#include "browser/util_win.h"

#include <QFontMetrics>
#include <QWidget>
#include <cmath>
#include <mutex>

namespace browser {

using engine::EVENTFLAG_ALT_DOWN;
using engine::EVENTFLAG_CAPS_LOCK_ON;
using engine::EVENTFLAG_CONTROL_DOWN;
using engine::EVENTFLAG_IS_KEY_PAD;
using engine::EVENTFLAG_IS_LEFT;
using engine::EVENTFLAG_IS_RIGHT;
using engine::EVENTFLAG_LEFT_MOUSE_BUTTON;
using engine::EVENTFLAG_MIDDLE_MOUSE_BUTTON;
using engine::EVENTFLAG_NUM_LOCK_ON;
using engine::EVENTFLAG_RIGHT_MOUSE_BUTTON;
using engine::EVENTFLAG_SHIFT_DOWN;

QRect DialogUnitsToPixels(const QFontMetrics& metrics, int x, int y, int width, int height) {
  const int base_x = metrics.averageCharWidth();
  const int base_y = metrics.height();
  return QRect(x * base_x / 4, y * base_y / 8, width * base_x / 4, height * base_y / 8);
}

namespace {

using namespace platform;  // the virtual-key codes

constexpr int VK_CLEAR = 12, VK_RETURN = 13, VK_PRIOR = 33, VK_DOWN = 40, VK_INSERT = 45, VK_DELETE = 46;
constexpr int VK_LWIN = 91, VK_RWIN = 92, VK_NUMPAD0 = 96, VK_ADD = 107, VK_SUBTRACT = 109, VK_DIVIDE = 111;
constexpr uintptr_t MK_LBUTTON = 0x1, MK_RBUTTON = 0x2, MK_SHIFT = 0x4, MK_CONTROL = 0x8, MK_MBUTTON = 0x10;

bool IsToggled(int key, const KeyStateReader& key_state) { return key_state(key) & 0x1; }

uint32_t LockFlags(const KeyStateReader& key_state) {
  uint32_t flags = 0;
  if (IsToggled(VK_NUMLOCK, key_state)) flags |= EVENTFLAG_NUM_LOCK_ON;
  if (IsToggled(VK_CAPITAL, key_state)) flags |= EVENTFLAG_CAPS_LOCK_ON;
  return flags;
}

QWidget* TopLevel(QWidget* widget) { return widget ? widget->window() : nullptr; }

}  // namespace

bool IsKeyDown(int virtual_key, const KeyStateReader& key_state) { return key_state(virtual_key) & 0x8000; }

uint32_t GetCefMouseModifiers(uintptr_t wparam, const KeyStateReader& key_state) {
  uint32_t flags = 0;
  if (wparam & MK_CONTROL) flags |= EVENTFLAG_CONTROL_DOWN;
  if (wparam & MK_SHIFT) flags |= EVENTFLAG_SHIFT_DOWN;
  if (IsKeyDown(VK_MENU, key_state)) flags |= EVENTFLAG_ALT_DOWN;
  if (wparam & MK_LBUTTON) flags |= EVENTFLAG_LEFT_MOUSE_BUTTON;
  if (wparam & MK_MBUTTON) flags |= EVENTFLAG_MIDDLE_MOUSE_BUTTON;
  if (wparam & MK_RBUTTON) flags |= EVENTFLAG_RIGHT_MOUSE_BUTTON;
  return flags | LockFlags(key_state);
}

uint32_t GetCefKeyboardModifiers(uintptr_t wparam, intptr_t lparam, const KeyStateReader& key_state) {
  uint32_t flags = 0;
  if (IsKeyDown(VK_SHIFT, key_state)) flags |= EVENTFLAG_SHIFT_DOWN;
  if (IsKeyDown(VK_CONTROL, key_state)) flags |= EVENTFLAG_CONTROL_DOWN;
  if (IsKeyDown(VK_MENU, key_state)) flags |= EVENTFLAG_ALT_DOWN;
  flags |= LockFlags(key_state);

  const bool extended = lparam & (1 << 24);
  const int key = static_cast<int>(wparam);
  if (key == VK_RETURN) {
    if (extended) flags |= EVENTFLAG_IS_KEY_PAD;
  } else if (key == VK_CLEAR || (key >= VK_NUMPAD0 && key <= VK_ADD) || (key >= VK_SUBTRACT && key <= VK_DIVIDE) ||
             key == VK_NUMLOCK) {
    flags |= EVENTFLAG_IS_KEY_PAD;
  } else if (key == VK_SHIFT || key == VK_CONTROL || key == VK_MENU) {
    const int left = key == VK_SHIFT ? VK_LSHIFT : key == VK_CONTROL ? VK_LCONTROL : VK_LMENU;
    const int right = key == VK_SHIFT ? VK_RSHIFT : key == VK_CONTROL ? VK_RCONTROL : VK_RMENU;
    if (IsKeyDown(left, key_state))
      flags |= EVENTFLAG_IS_LEFT;
    else if (IsKeyDown(right, key_state))
      flags |= EVENTFLAG_IS_RIGHT;
  } else if ((key >= VK_PRIOR && key <= VK_DOWN) || key == VK_INSERT || key == VK_DELETE) {
    if (!extended) flags |= EVENTFLAG_IS_KEY_PAD;
  } else if (key == VK_LWIN) {
    flags |= EVENTFLAG_IS_LEFT;
  } else if (key == VK_RWIN) {
    flags |= EVENTFLAG_IS_RIGHT;
  }
  return flags;
}

float GetDeviceScaleFactor() {
  static std::once_flag once;
  static float factor = 1.0f;
  std::call_once(once, [] { factor = platform::ScreenDotsPerInchScale(); });
  return factor;
}

int LogicalToDevice(int value, float device_scale_factor) {
  return static_cast<int>(std::floor(static_cast<float>(value) * device_scale_factor));
}

platform::Rect LogicalToDevice(const platform::Rect& rect, float f) {
  return platform::Rect{LogicalToDevice(rect.x, f), LogicalToDevice(rect.y, f), LogicalToDevice(rect.width, f),
                        LogicalToDevice(rect.height, f)};
}

int DeviceToLogical(int value, float device_scale_factor) {
  return static_cast<int>(std::floor(static_cast<float>(value) / device_scale_factor));
}

void MaximizeToggle(QWidget* browser_window) {
  if (QWidget* top = TopLevel(browser_window)) {
    if (top->isMaximized())
      top->showNormal();
    else
      top->showMaximized();
  }
}

void Restore(QWidget* browser_window) {
  if (QWidget* top = TopLevel(browser_window)) top->showNormal();
}

}  // namespace browser
