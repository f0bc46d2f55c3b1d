#ifndef ENGINE_QT_INPUT_MAPPING_H_
#define ENGINE_QT_INPUT_MAPPING_H_

#include <QKeyEvent>
#include <Qt>
#include <cstdint>

#include "engine/engine.h"

namespace engine {

// The Windows virtual-key code of a Qt key, as the engine reports it on
// Linux; 0 for keys without one.
int WindowsKeyCodeFromQtKey(int qt_key);
// The Qt key of a Windows virtual-key code; 0 for codes without one.
int QtKeyFromWindowsKeyCode(int code);

// A key as the engine reports it: Shift, Control, Alt and the keypad as Qt
// gives them, Caps Lock and Num Lock from the desktop's modifier state, and
// which of a pair of keys (Shift, Control, Alt, the logo key) it is.
KeyEvent KeyEventFromQt(const QKeyEvent& event, KeyEventType type);
// The Qt event |key| came from, as a widget would have been given it.
QKeyEvent QtKeyEventFrom(const KeyEvent& key);

// A mouse event's flags: the keys Qt reports and the buttons held.
uint32_t MouseEventFlagsFromQt(Qt::KeyboardModifiers modifiers, Qt::MouseButtons buttons);
Qt::KeyboardModifiers QtModifiersFromEventFlags(uint32_t flags);
Qt::MouseButtons QtButtonsFromEventFlags(uint32_t flags);

}  // namespace engine

#endif  // ENGINE_QT_INPUT_MAPPING_H_
