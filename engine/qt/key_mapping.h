#ifndef ENGINE_QT_KEY_MAPPING_H_
#define ENGINE_QT_KEY_MAPPING_H_

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
// The engine's event flags as Qt's keyboard modifiers.
Qt::KeyboardModifiers QtModifiersFromEventFlags(uint32_t flags);
// A key press or release as the engine reports it, of |type|.
KeyEvent KeyEventFromQt(const QKeyEvent& event, KeyEventType type);
// Shift, Control and Alt as the engine's event flags; keypad keys add the
// key-pad flag.
uint32_t EventFlagsFromQtModifiers(Qt::KeyboardModifiers modifiers);
// The X11 modifier state of |flags| (Shift, Lock, Control, Mod1, Mod2), where
// the engine reads Caps Lock and Num Lock from.
quint32 NativeModifiersFromEventFlags(uint32_t flags);

}  // namespace engine

#endif  // ENGINE_QT_KEY_MAPPING_H_
