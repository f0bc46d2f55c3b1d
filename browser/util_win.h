#ifndef BROWSER_UTIL_WIN_H_
#define BROWSER_UTIL_WIN_H_

#include <cstdint>
#include <functional>

#include "engine/engine.h"
#include "platform/keyboard_state.h"
#include "platform/screen.h"

#include <QRect>

class QFontMetrics;
class QWidget;

namespace browser {

// A rectangle of a dialog template, in dialog units of |metrics|' font, in
// pixels.
QRect DialogUnitsToPixels(const QFontMetrics& metrics, int x, int y, int width, int height);

// Windows virtual-key state: the high bit (0x8000) means down, the low bit
// means toggled (lock keys).
using KeyStateReader = std::function<uint16_t(int virtual_key)>;

// Mouse-message wParam bits (MK_*) to event flags.
uint32_t GetCefMouseModifiers(uintptr_t wparam, const KeyStateReader& key_state = platform::KeyState);
// Key-message wParam (virtual key) and lParam (bit 24: extended) to flags.
uint32_t GetCefKeyboardModifiers(uintptr_t wparam, intptr_t lparam,
                                 const KeyStateReader& key_state = platform::KeyState);
bool IsKeyDown(int virtual_key, const KeyStateReader& key_state = platform::KeyState);

// The screen's scale factor, read once per process.
float GetDeviceScaleFactor();
int LogicalToDevice(int value, float device_scale_factor);
platform::Rect LogicalToDevice(const platform::Rect& rect, float device_scale_factor);
int DeviceToLogical(int value, float device_scale_factor);

// Page-requested full screen: maximise toggle and restore of the top-level
// window that holds |browser_window|.
void MaximizeToggle(QWidget* browser_window);
void Restore(QWidget* browser_window);

}  // namespace browser

#endif  // BROWSER_UTIL_WIN_H_
