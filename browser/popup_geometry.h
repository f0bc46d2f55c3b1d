#ifndef BROWSER_POPUP_GEOMETRY_H_
#define BROWSER_POPUP_GEOMETRY_H_

#include <cstdint>
#include <string>

#include "platform/screen.h"

namespace browser {

inline constexpr uint32_t WS_OVERLAPPEDWINDOW_CLIPCHILDREN = 0x02CF0000;  // framed, with caption
inline constexpr uint32_t WS_POPUP_BORDERLESS = 0x90880000;               // WS_POPUP|WS_VISIBLE|WS_BORDER|WS_SYSMENU

struct PopupPlacement {
  uint32_t style = WS_OVERLAPPEDWINDOW_CLIPCHILDREN;
  platform::Rect bounds;
};

// Where a window opened with |target_name| goes: "kind_x_y_width_height"
// (four or five "_"; a first field "no" means borderless), otherwise 20 %
// in from the work area's size and 60 % of it.
PopupPlacement PlacePopup(const std::string& target_name, const platform::Rect& work_area);

}  // namespace browser

#endif  // BROWSER_POPUP_GEOMETRY_H_
