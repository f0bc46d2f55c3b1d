#include "platform/top_level_window.h"

#include <QEvent>
#include <QPointer>
#include <QTimer>

#include "platform/screen.h"

namespace platform {

TopLevelWindow::TopLevelWindow(const std::string& class_name, QWidget* owner)
    : QWidget(owner, Qt::Window), class_name_(class_name) {}

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
  want_maximized_ = command == ShowCommand::kMaximized;
  switch (command) {
    case ShowCommand::kMaximized: showMaximized(); break;
    case ShowCommand::kMinimized: showMinimized(); break;
    case ShowCommand::kHide: hide(); break;
    case ShowCommand::kNormal:
    case ShowCommand::kRestore: showNormal(); break;
  }
}

void TopLevelWindow::BringToForeground() {
  raise();
  activateWindow();
}

void TopLevelWindow::SetFullScreenPresentation(bool full_screen) {
  // Changing the frame re-creates the native window, which loses the
  // keyboard focus; give it back to whoever had it.
  QPointer<QWidget> focus = focusWidget();
  if (full_screen) {
    want_maximized_ = false;
    setWindowFlag(Qt::FramelessWindowHint, true);
    const Rect desktop = DesktopRect();
    setGeometry(0, 0, desktop.x + desktop.width, desktop.y + desktop.height);
    showFullScreen();
  } else {
    setWindowFlag(Qt::FramelessWindowHint, false);
    const Rect work = WorkArea();
    showNormal();
    setGeometry(0, 0, work.x + work.width, work.y + work.height);
    ShowWithCommand(ShowCommand::kMaximized);
  }
  activateWindow();
  if (focus) focus->setFocus();
}

bool TopLevelWindow::event(QEvent* event) {
  switch (event->type()) {
    case QEvent::Show:
      shown_once_ = true;
      break;
    case QEvent::WinIdChange:
      if (shown_once_) surface_recreated_ = true;
      break;
    case QEvent::WindowStateChange:
      // Qt 6.4 re-creates a shown top-level window when the first
      // QWebEngineView inside it starts rendering, and the window manager
      // maps the new window unmaximised. Put back what was asked for.
      if (surface_recreated_ && want_maximized_ && !(windowState() & Qt::WindowMaximized)) {
        surface_recreated_ = false;
        QTimer::singleShot(0, this, [this] {
          if (want_maximized_) showMaximized();
        });
      }
      break;
    default:
      break;
  }
  return QWidget::event(event);
}

}  // namespace platform
