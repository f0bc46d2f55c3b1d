#include "platform/keyboard_state.h"

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/keysym.h>

#include <QGuiApplication>

namespace platform {

namespace {

Display* XDisplay() {
  auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
  return x11 ? x11->display() : nullptr;
}

bool KeysymDown(Display* display, const char (&keys)[32], KeySym keysym) {
  const KeyCode code = XKeysymToKeycode(display, keysym);
  return code != 0 && (keys[code / 8] & (1 << (code % 8)));
}

uint16_t FromToolkit(int virtual_key) {
  const Qt::KeyboardModifiers modifiers = QGuiApplication::queryKeyboardModifiers();
  switch (virtual_key) {
    case VK_SHIFT: return (modifiers & Qt::ShiftModifier) ? 0x8000 : 0;
    case VK_CONTROL: return (modifiers & Qt::ControlModifier) ? 0x8000 : 0;
    case VK_MENU: return (modifiers & Qt::AltModifier) ? 0x8000 : 0;
    default: return 0;
  }
}

}  // namespace

uint16_t KeyState(int virtual_key) {
  Display* display = XDisplay();
  if (!display) return FromToolkit(virtual_key);
  KeySym left = NoSymbol, right = NoSymbol;
  switch (virtual_key) {
    case VK_SHIFT: left = XK_Shift_L, right = XK_Shift_R; break;
    case VK_CONTROL: left = XK_Control_L, right = XK_Control_R; break;
    case VK_MENU: left = XK_Alt_L, right = XK_Alt_R; break;
    case VK_LSHIFT: left = XK_Shift_L; break;
    case VK_RSHIFT: left = XK_Shift_R; break;
    case VK_LCONTROL: left = XK_Control_L; break;
    case VK_RCONTROL: left = XK_Control_R; break;
    case VK_LMENU: left = XK_Alt_L; break;
    case VK_RMENU: left = XK_Alt_R; break;
    case VK_CAPITAL: left = XK_Caps_Lock; break;
    case VK_NUMLOCK: left = XK_Num_Lock; break;
    default: return 0;
  }
  char keys[32] = {};
  XQueryKeymap(display, keys);
  uint16_t state = (KeysymDown(display, keys, left) || (right != NoSymbol && KeysymDown(display, keys, right)))
                       ? 0x8000 : 0;
  if (virtual_key == VK_CAPITAL || virtual_key == VK_NUMLOCK) {
    XkbStateRec xkb{};
    const unsigned int lock = virtual_key == VK_CAPITAL ? LockMask : XkbKeysymToModifiers(display, XK_Num_Lock);
    if (XkbGetState(display, XkbUseCoreKbd, &xkb) == Success && lock != 0 && (xkb.locked_mods & lock)) state |= 0x1;
  }
  return state;
}

}  // namespace platform
