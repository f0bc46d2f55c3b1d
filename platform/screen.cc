#include "platform/screen.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

namespace platform {

namespace {
Rect FromQRect(const QRect& r) { return Rect{r.x(), r.y(), r.width(), r.height()}; }
QScreen* Primary() { return qGuiApp ? QGuiApplication::primaryScreen() : nullptr; }
}  // namespace

Rect WorkArea() {
  QScreen* screen = Primary();
  return screen ? FromQRect(screen->availableGeometry()) : Rect{};
}

Rect DesktopRect() {
  QScreen* screen = Primary();
  return screen ? FromQRect(screen->geometry()) : Rect{};
}

Monitor MonitorOf(const QWidget* window) {
  QScreen* screen = window ? window->screen() : Primary();
  if (!screen) return {};
  return {FromQRect(screen->geometry()), FromQRect(screen->availableGeometry())};
}

float ScreenDotsPerInchScale() {
  QScreen* screen = Primary();
  return screen ? static_cast<float>(screen->logicalDotsPerInchX() / 96.0) : 1.0f;
}

}  // namespace platform
