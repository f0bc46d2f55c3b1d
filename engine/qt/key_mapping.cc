#include "engine/qt/key_mapping.h"

#include "engine/engine.h"

namespace engine {

int WindowsKeyCodeFromQtKey(int key) {
  if (key >= Qt::Key_F1 && key <= Qt::Key_F24) return 0x70 + (key - Qt::Key_F1);
  if ((key >= Qt::Key_A && key <= Qt::Key_Z) || (key >= Qt::Key_0 && key <= Qt::Key_9)) return key;
  switch (key) {
    case Qt::Key_Backspace: return 0x08;
    case Qt::Key_Tab:
    case Qt::Key_Backtab: return 0x09;
    case Qt::Key_Clear: return 0x0C;
    case Qt::Key_Return:
    case Qt::Key_Enter: return 0x0D;
    case Qt::Key_Shift: return 0x10;
    case Qt::Key_Control: return 0x11;
    case Qt::Key_Alt: return 0x12;
    case Qt::Key_Pause: return 0x13;
    case Qt::Key_CapsLock: return 0x14;
    case Qt::Key_Escape: return 0x1B;
    case Qt::Key_Space: return 0x20;
    case Qt::Key_PageUp: return 0x21;
    case Qt::Key_PageDown: return 0x22;
    case Qt::Key_End: return 0x23;
    case Qt::Key_Home: return 0x24;
    case Qt::Key_Left: return 0x25;
    case Qt::Key_Up: return 0x26;
    case Qt::Key_Right: return 0x27;
    case Qt::Key_Down: return 0x28;
    case Qt::Key_Print: return 0x2C;
    case Qt::Key_Insert: return 0x2D;
    case Qt::Key_Delete: return 0x2E;
    case Qt::Key_Meta: return 0x5B;
    case Qt::Key_NumLock: return 0x90;
    case Qt::Key_ScrollLock: return 0x91;
    default: return 0;
  }
}

uint32_t EventFlagsFromQtModifiers(Qt::KeyboardModifiers modifiers) {
  uint32_t flags = 0;
  if (modifiers & Qt::ShiftModifier) flags |= EVENTFLAG_SHIFT_DOWN;
  if (modifiers & Qt::ControlModifier) flags |= EVENTFLAG_CONTROL_DOWN;
  if (modifiers & Qt::AltModifier) flags |= EVENTFLAG_ALT_DOWN;
  if (modifiers & Qt::KeypadModifier) flags |= EVENTFLAG_IS_KEY_PAD;
  return flags;
}

KeyEvent KeyEventFromQt(const QKeyEvent& event, KeyEventType type) {
  KeyEvent key;
  key.type = type;
  key.windows_key_code = WindowsKeyCodeFromQtKey(event.key());
  key.native_key_code = static_cast<int>(event.nativeScanCode());
  key.modifiers = EventFlagsFromQtModifiers(event.modifiers());
  key.is_system_key = event.modifiers() & Qt::AltModifier;
  return key;
}

quint32 NativeModifiersFromEventFlags(uint32_t flags) {
  constexpr quint32 kShift = 1, kLock = 2, kControl = 4, kMod1 = 8, kMod2 = 16;
  quint32 state = 0;
  if (flags & EVENTFLAG_SHIFT_DOWN) state |= kShift;
  if (flags & EVENTFLAG_CAPS_LOCK_ON) state |= kLock;
  if (flags & EVENTFLAG_CONTROL_DOWN) state |= kControl;
  if (flags & EVENTFLAG_ALT_DOWN) state |= kMod1;
  if (flags & EVENTFLAG_NUM_LOCK_ON) state |= kMod2;
  return state;
}

int QtKeyFromWindowsKeyCode(int code) {
  if ((code >= 'A' && code <= 'Z') || (code >= '0' && code <= '9')) return code;
  if (code >= 0x70 && code <= 0x87) return Qt::Key_F1 + (code - 0x70);
  static constexpr int kKeys[] = {
      Qt::Key_Backspace, Qt::Key_Tab,    Qt::Key_Clear,   Qt::Key_Return, Qt::Key_Shift,  Qt::Key_Control,
      Qt::Key_Alt,       Qt::Key_Pause,  Qt::Key_CapsLock, Qt::Key_Escape, Qt::Key_Space, Qt::Key_PageUp,
      Qt::Key_PageDown,  Qt::Key_End,    Qt::Key_Home,    Qt::Key_Left,   Qt::Key_Up,     Qt::Key_Right,
      Qt::Key_Down,      Qt::Key_Print,  Qt::Key_Insert,  Qt::Key_Delete, Qt::Key_Meta,   Qt::Key_NumLock,
      Qt::Key_ScrollLock};
  for (int key : kKeys)
    if (WindowsKeyCodeFromQtKey(key) == code) return key;
  return 0;
}

Qt::KeyboardModifiers QtModifiersFromEventFlags(uint32_t flags) {
  Qt::KeyboardModifiers modifiers;
  if (flags & EVENTFLAG_SHIFT_DOWN) modifiers |= Qt::ShiftModifier;
  if (flags & EVENTFLAG_CONTROL_DOWN) modifiers |= Qt::ControlModifier;
  if (flags & EVENTFLAG_ALT_DOWN) modifiers |= Qt::AltModifier;
  if (flags & EVENTFLAG_IS_KEY_PAD) modifiers |= Qt::KeypadModifier;
  return modifiers;
}

}  // namespace engine
