#ifndef BROWSER_UTIL_WIN_H_
#define BROWSER_UTIL_WIN_H_

#include "platform/screen.h"

#include <QRect>

class QFontMetrics;
class QWidget;

namespace browser {

// A rectangle of a dialog template, in dialog units of |metrics|' font, in
// pixels.
QRect DialogUnitsToPixels(const QFontMetrics& metrics, int x, int y, int width, int height);

// The screen's scale factor, read once per process.
float GetDeviceScaleFactor();
int LogicalToDevice(int value, float device_scale_factor);
platform::Rect LogicalToDevice(const platform::Rect& rect, float device_scale_factor);
int DeviceToLogical(int value, float device_scale_factor);

// Page-requested full screen: maximise toggle and restore of the top-level
// window that holds |browser_window|.
void MaximizeToggle(QWidget* browser_window);
void Restore(QWidget* browser_window);

}  // namespace browser

#endif  // BROWSER_UTIL_WIN_H_
