#ifndef PLATFORM_SCREEN_H_
#define PLATFORM_SCREEN_H_

class QWidget;

namespace platform {

struct Rect {
  int x = 0, y = 0, width = 0, height = 0;
  bool operator==(const Rect&) const = default;
};

// The primary screen's usable area (without panels) and its whole area,
// in device pixels. Empty before the GUI is up.
Rect WorkArea();
Rect DesktopRect();
// The monitor |window| is on (the most of it), as its whole area and its
// usable area; the primary monitor's for none.
struct Monitor {
  Rect area;
  Rect work_area;
};
Monitor MonitorOf(const QWidget* window);
// Logical dots per inch divided by 96.
float ScreenDotsPerInchScale();

}  // namespace platform

#endif  // PLATFORM_SCREEN_H_
