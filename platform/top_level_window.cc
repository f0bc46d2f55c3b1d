#include "platform/top_level_window.h"

#include <QGuiApplication>

#include "platform/screen.h"

namespace platform {

namespace {

Qt::WindowFlags FlagsFor(const QWidget* owner) {
  if (!owner) return Qt::Window;
  // Only dialog-type windows carry WM_TRANSIENT_FOR on X11, which keeps
  // them above their owner; they keep a normal window's buttons.
  return Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinMaxButtonsHint |
         Qt::WindowCloseButtonHint;
}

}  // namespace

TopLevelWindow::TopLevelWindow(const std::string& class_name, QWidget* owner)
    : QWidget(owner, FlagsFor(owner)), class_name_(class_name) {}

TopLevelWindow::~TopLevelWindow() {
  if (registered_) UnregisterWindow(this);
}

void TopLevelWindow::SetTitle(const std::string& title) {
  title_ = title;
  setWindowTitle(QString::fromStdString(title));
  if (registered_) UnregisterWindow(this);
  RegisterWindow(this, class_name_, title_);
  registered_ = true;
}

void TopLevelWindow::ShowWithCommand(ShowCommand command) {
  switch (command) {
    case ShowCommand::kMaximized: showMaximized(); break;
    case ShowCommand::kMinimized: showMinimized(); break;
    case ShowCommand::kHide: hide(); break;
    case ShowCommand::kNormal:
    case ShowCommand::kRestore: showNormal(); break;
  }
}

void TopLevelWindow::BringToForeground() {
  // Back from the taskbar as it was left: maximised or full screen.
  if (isMinimized()) setWindowState(windowState() & ~Qt::WindowMinimized);
  raise();
  activateWindow();
}

void TopLevelWindow::SetFullScreenPresentation(bool full_screen) {
  // The frame's flags stay as they are: changing them re-creates the native
  // window, and Qt then never tells the page it is active again.
  // On Wayland the compositor sizes a maximised or full-screen window and
  // picks its monitor; a size of our own in between breaks the protocol
  // (Weston ends the client for it). The window stays maximised under full
  // screen, so that leaving it is one step the compositor answers with the
  // maximised size: unmaximised and maximised again in one go, Weston
  // configured no size and ended the client over the one it drew.
  if (QGuiApplication::platformName().startsWith(QLatin1String("wayland"))) {
    const Qt::WindowStates state = (windowState() & ~Qt::WindowMinimized) | Qt::WindowMaximized;
    setWindowState(full_screen ? state | Qt::WindowFullScreen : state & ~Qt::WindowFullScreen);
    if (!isVisible()) show();
    return;
  }
  // The monitor is read before the state changes.
  if (full_screen) {
    const Monitor monitor = MonitorOf(this);
    full_screen_from_ = monitor.work_area;
    setGeometry(monitor.area.x, monitor.area.y, monitor.area.width, monitor.area.height);
    showFullScreen();
  } else {
    const Rect work = full_screen_from_.width > 0 ? full_screen_from_ : MonitorOf(this).work_area;
    showNormal();
    setGeometry(work.x, work.y, work.width, work.height);
    ShowWithCommand(ShowCommand::kMaximized);
  }
}

}  // namespace platform
