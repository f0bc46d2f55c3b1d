#include "browser/util_win.h"

#include <QFontMetrics>
#include <QWidget>
#include <cmath>
#include <mutex>

namespace browser {

QRect DialogUnitsToPixels(const QFontMetrics& metrics, int x, int y, int width, int height) {
  const int base_x = metrics.averageCharWidth();
  const int base_y = metrics.height();
  return QRect(x * base_x / 4, y * base_y / 8, width * base_x / 4, height * base_y / 8);
}

namespace {

QWidget* TopLevel(QWidget* widget) { return widget ? widget->window() : nullptr; }

}  // namespace

float GetDeviceScaleFactor() {
  static std::once_flag once;
  static float factor = 1.0f;
  std::call_once(once, [] { factor = platform::ScreenDotsPerInchScale(); });
  return factor;
}

int LogicalToDevice(int value, float device_scale_factor) {
  return static_cast<int>(std::floor(static_cast<float>(value) * device_scale_factor));
}

platform::Rect LogicalToDevice(const platform::Rect& rect, float f) {
  return platform::Rect{LogicalToDevice(rect.x, f), LogicalToDevice(rect.y, f), LogicalToDevice(rect.width, f),
                        LogicalToDevice(rect.height, f)};
}

int DeviceToLogical(int value, float device_scale_factor) {
  return static_cast<int>(std::floor(static_cast<float>(value) / device_scale_factor));
}

void MaximizeToggle(QWidget* browser_window) {
  if (QWidget* top = TopLevel(browser_window)) {
    if (top->isMaximized())
      top->showNormal();
    else
      top->showMaximized();
  }
}

void Restore(QWidget* browser_window) {
  if (QWidget* top = TopLevel(browser_window)) top->showNormal();
}

}  // namespace browser
