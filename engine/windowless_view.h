#ifndef ENGINE_WINDOWLESS_VIEW_H_
#define ENGINE_WINDOWLESS_VIEW_H_

// What a browser and the window around it exchange: the input the window
// hands it and, when it has no window of its own, the frames it paints.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace engine {

class Browser;

// The engine's event flags.
enum EventFlags : uint32_t {
  EVENTFLAG_NONE = 0,
  EVENTFLAG_CAPS_LOCK_ON = 1,
  EVENTFLAG_SHIFT_DOWN = 2,
  EVENTFLAG_CONTROL_DOWN = 4,
  EVENTFLAG_ALT_DOWN = 8,
  EVENTFLAG_LEFT_MOUSE_BUTTON = 16,
  EVENTFLAG_MIDDLE_MOUSE_BUTTON = 32,
  EVENTFLAG_RIGHT_MOUSE_BUTTON = 64,
  EVENTFLAG_COMMAND_DOWN = 128,  // the logo (Meta) key
  EVENTFLAG_NUM_LOCK_ON = 256,
  EVENTFLAG_IS_KEY_PAD = 512,
  EVENTFLAG_IS_LEFT = 1024,
  EVENTFLAG_IS_RIGHT = 2048,
};

enum KeyEventType { KEYEVENT_RAWKEYDOWN = 0, KEYEVENT_KEYUP = 2 };

// A key as the desktop delivered it: one event per press or release, the
// text it types with it.
struct KeyEvent {
  KeyEventType type = KEYEVENT_RAWKEYDOWN;
  uint32_t modifiers = 0;  // the engine's event flags
  int windows_key_code = 0;
  int native_key_code = 0;      // the key's scan code
  uint32_t native_symbol = 0;   // the layout's symbol for it (an X keysym)
  bool is_system_key = false;
  std::u16string text;
};

// What a drag entering a page carries.
struct DragData {
  bool is_link = false;      // an address or an image from another page
  bool is_file = false;      // files of this machine
  bool is_fragment = false;  // text
};

// A rectangle of a windowless browser's view, in view pixels.
struct PaintRect {
  int x = 0, y = 0, width = 0, height = 0;
  bool operator==(const PaintRect&) const = default;
};

enum PaintElementType { PET_VIEW = 0, PET_POPUP = 1 };

// A windowless browser's frames and what it needs to know of its window.
// Called on the UI thread.
class RenderHandler {
 public:
  virtual ~RenderHandler() = default;
  // The view's size in view pixels; false when there is no view.
  virtual bool GetViewRect(std::shared_ptr<Browser> browser, PaintRect& rect) = 0;
  // Where the view's point |view_x|,|view_y| is on the screen, in the same
  // units: the page's window.screenX and screenY come from it. False when
  // the client does not know.
  virtual bool GetScreenPoint(std::shared_ptr<Browser>, int /*view_x*/, int /*view_y*/, int& /*screen_x*/,
                              int& /*screen_y*/) {
    return false;
  }
  // |buffer| holds |width| x |height| pixels, 32-bit BGRA, rows top down;
  // only |dirty| changed since the last frame of this type.
  virtual void OnPaint(std::shared_ptr<Browser> browser, PaintElementType type, const std::vector<PaintRect>& dirty,
                       const void* buffer, int width, int height) = 0;
  // A popup widget (an open select list) appears or goes; its place.
  virtual void OnPopupShow(std::shared_ptr<Browser> browser, bool show) = 0;
  virtual void OnPopupSize(std::shared_ptr<Browser> browser, const PaintRect& rect) = 0;
};

enum MouseButtonType { MBT_LEFT = 0, MBT_MIDDLE = 1, MBT_RIGHT = 2 };

struct MouseEvent {
  int x = 0, y = 0;         // view pixels
  uint32_t modifiers = 0;  // the engine's event flags: keys, and the buttons held
};

}  // namespace engine

#endif  // ENGINE_WINDOWLESS_VIEW_H_
