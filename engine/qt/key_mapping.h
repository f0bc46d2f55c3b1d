#ifndef ENGINE_QT_KEY_MAPPING_H_
#define ENGINE_QT_KEY_MAPPING_H_

#include <Qt>
#include <cstdint>

namespace engine {

// The Windows virtual-key code of a Qt key, as the engine reports it on
// Linux; 0 for keys without one.
int WindowsKeyCodeFromQtKey(int qt_key);
// Shift, Control and Alt as the engine's event flags; keypad keys add the
// key-pad flag.
uint32_t EventFlagsFromQtModifiers(Qt::KeyboardModifiers modifiers);

}  // namespace engine

#endif  // ENGINE_QT_KEY_MAPPING_H_
