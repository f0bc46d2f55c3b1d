#include "engine/qt/input_mapping.h"

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
    case Qt::Key_Meta:
    case Qt::Key_Super_L: return 0x5B;
    case Qt::Key_Super_R: return 0x5C;
    case Qt::Key_NumLock: return 0x90;
    case Qt::Key_ScrollLock: return 0x91;
    default: return 0;
  }
}

namespace {

// The desktop's modifier state as X11 lays it out (xkb on Wayland too).
constexpr quint32 kShiftMask = 1, kLockMask = 2, kControlMask = 4, kMod1Mask = 8, kMod2Mask = 16, kMod4Mask = 64;

// Keysyms of the keys that come in pairs.
constexpr quint32 kShiftL = 0xffe1, kShiftR = 0xffe2, kControlL = 0xffe3, kControlR = 0xffe4, kMetaL = 0xffe7,
                  kMetaR = 0xffe8, kAltL = 0xffe9, kAltR = 0xffea, kSuperL = 0xffeb, kSuperR = 0xffec;

uint32_t ModifierFlags(Qt::KeyboardModifiers modifiers) {
  uint32_t flags = 0;
  if (modifiers & Qt::ShiftModifier) flags |= EVENTFLAG_SHIFT_DOWN;
  if (modifiers & Qt::ControlModifier) flags |= EVENTFLAG_CONTROL_DOWN;
  if (modifiers & Qt::AltModifier) flags |= EVENTFLAG_ALT_DOWN;
  if (modifiers & Qt::MetaModifier) flags |= EVENTFLAG_COMMAND_DOWN;
  return flags;
}

uint32_t SideFlag(quint32 symbol) {
  switch (symbol) {
    case kShiftL: case kControlL: case kMetaL: case kAltL: case kSuperL: return EVENTFLAG_IS_LEFT;
    case kShiftR: case kControlR: case kMetaR: case kAltR: case kSuperR: return EVENTFLAG_IS_RIGHT;
    default: return 0;
  }
}

// QKeyEvent::modifiers() toggles a modifier key's own modifier against the
// state it was made with (the state before the key, as desktops report it).
Qt::KeyboardModifier OwnModifier(int qt_key) {
  switch (qt_key) {
    case Qt::Key_Shift: return Qt::ShiftModifier;
    case Qt::Key_Control: return Qt::ControlModifier;
    case Qt::Key_Alt: return Qt::AltModifier;
    case Qt::Key_Meta: return Qt::MetaModifier;
    default: return Qt::NoModifier;
  }
}

// The desktop's modifier state for Qt's |modifiers| and the lock keys of
// |flags|, where the engine reads Caps Lock and Num Lock from.
quint32 NativeModifiers(Qt::KeyboardModifiers modifiers, uint32_t flags) {
  quint32 state = 0;
  if (modifiers & Qt::ShiftModifier) state |= kShiftMask;
  if (flags & EVENTFLAG_CAPS_LOCK_ON) state |= kLockMask;
  if (modifiers & Qt::ControlModifier) state |= kControlMask;
  if (modifiers & Qt::AltModifier) state |= kMod1Mask;
  if (flags & EVENTFLAG_NUM_LOCK_ON) state |= kMod2Mask;
  if (modifiers & Qt::MetaModifier) state |= kMod4Mask;
  return state;
}

}  // namespace

KeyEvent KeyEventFromQt(const QKeyEvent& event, KeyEventType type) {
  KeyEvent key;
  key.type = type;
  key.windows_key_code = WindowsKeyCodeFromQtKey(event.key());
  key.native_key_code = static_cast<int>(event.nativeScanCode());
  key.native_symbol = event.nativeVirtualKey();
  key.modifiers = ModifierFlags(event.modifiers()) | SideFlag(event.nativeVirtualKey());
  if (event.modifiers() & Qt::KeypadModifier) key.modifiers |= EVENTFLAG_IS_KEY_PAD;
  if (event.nativeModifiers() & kLockMask) key.modifiers |= EVENTFLAG_CAPS_LOCK_ON;
  if (event.nativeModifiers() & kMod2Mask) key.modifiers |= EVENTFLAG_NUM_LOCK_ON;
  key.is_system_key = event.modifiers() & Qt::AltModifier;
  key.text = event.text().toStdU16String();
  return key;
}

QKeyEvent QtKeyEventFrom(const KeyEvent& key) {
  const QString text = QString::fromStdU16String(key.text);
  // Qt names a key that types a character after that character.
  const int qt_key = text.size() == 1 && text[0].isPrint() ? text[0].toUpper().unicode()
                                                           : QtKeyFromWindowsKeyCode(key.windows_key_code);
  const Qt::KeyboardModifiers before_key = QtModifiersFromEventFlags(key.modifiers) ^ OwnModifier(qt_key);
  return QKeyEvent(key.type == KEYEVENT_KEYUP ? QEvent::KeyRelease : QEvent::KeyPress, qt_key, before_key,
                   static_cast<quint32>(key.native_key_code), key.native_symbol,
                   NativeModifiers(before_key, key.modifiers), text);
}

uint32_t MouseEventFlagsFromQt(Qt::KeyboardModifiers modifiers, Qt::MouseButtons buttons) {
  uint32_t flags = ModifierFlags(modifiers);
  if (buttons & Qt::LeftButton) flags |= EVENTFLAG_LEFT_MOUSE_BUTTON;
  if (buttons & Qt::MiddleButton) flags |= EVENTFLAG_MIDDLE_MOUSE_BUTTON;
  if (buttons & Qt::RightButton) flags |= EVENTFLAG_RIGHT_MOUSE_BUTTON;
  return flags;
}

Qt::MouseButtons QtButtonsFromEventFlags(uint32_t flags) {
  Qt::MouseButtons buttons;
  if (flags & EVENTFLAG_LEFT_MOUSE_BUTTON) buttons |= Qt::LeftButton;
  if (flags & EVENTFLAG_MIDDLE_MOUSE_BUTTON) buttons |= Qt::MiddleButton;
  if (flags & EVENTFLAG_RIGHT_MOUSE_BUTTON) buttons |= Qt::RightButton;
  return buttons;
}

int QtKeyFromWindowsKeyCode(int code) {
  if ((code >= 'A' && code <= 'Z') || (code >= '0' && code <= '9')) return code;
  if (code >= 0x70 && code <= 0x87) return Qt::Key_F1 + (code - 0x70);
  static constexpr int kKeys[] = {
      Qt::Key_Backspace, Qt::Key_Tab,    Qt::Key_Clear,   Qt::Key_Return, Qt::Key_Shift,  Qt::Key_Control,
      Qt::Key_Alt,       Qt::Key_Pause,  Qt::Key_CapsLock, Qt::Key_Escape, Qt::Key_Space, Qt::Key_PageUp,
      Qt::Key_PageDown,  Qt::Key_End,    Qt::Key_Home,    Qt::Key_Left,   Qt::Key_Up,     Qt::Key_Right,
      Qt::Key_Down,      Qt::Key_Print,  Qt::Key_Insert,  Qt::Key_Delete, Qt::Key_Meta,   Qt::Key_Super_R, Qt::Key_NumLock,
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
  if (flags & EVENTFLAG_COMMAND_DOWN) modifiers |= Qt::MetaModifier;
  if (flags & EVENTFLAG_IS_KEY_PAD) modifiers |= Qt::KeypadModifier;
  return modifiers;
}

}  // namespace engine
