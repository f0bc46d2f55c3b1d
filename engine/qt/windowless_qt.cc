// Windowless browsers: the view's size, visibility and frames, and the
// client's input handed to the hidden view.
#include <QCoreApplication>
#include <QDateTime>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QTimer>
#include <QWheelEvent>

#include "engine/qt/browser_qt.h"
#include "engine/qt/key_mapping.h"
#include "engine/qt/offscreen_frames.h"

namespace engine {

QWidget* QtBrowser::InputTarget() const {
  if (!view_) return nullptr;
  return view_->focusProxy() ? view_->focusProxy() : view_.data();
}

void QtBrowser::WasResized() {
  if (frames_) frames_->Resize();
}

void QtBrowser::NotifyMoveOrResizeStarted() {
  if (frames_) frames_->Place();
}

void QtBrowser::WasHidden(bool hidden) {
  if (frames_) frames_->SetHidden(hidden);
}

void QtBrowser::Invalidate(PaintElementType type) {
  if (!frames_) return;
  if (type == PET_VIEW)
    frames_->InvalidateView();
  else
    frames_->RepaintPopup();
}

void QtBrowser::SendFocusEvent(bool focus) {
  QWidget* target = InputTarget();
  if (!target || !windowless_parent_) return;
  QFocusEvent event(focus ? QEvent::FocusIn : QEvent::FocusOut, Qt::OtherFocusReason);
  QCoreApplication::sendEvent(target, &event);
}

void QtBrowser::SendKeyEvent(const KeyEvent& event) {
  if (!InputTarget() || !windowless_parent_) return;
  if (event.type == KEYEVENT_CHAR) {
    const QString text(QChar(event.character));
    if (pending_key_down_)
      SendPendingKeyDown(text);
    else  // a character without a key (the second of a key that types two)
      SendQtKey(QEvent::KeyPress, 0, event, text);
    return;
  }
  if (pending_key_down_) SendPendingKeyDown(QString());
  if (event.type == KEYEVENT_KEYUP) {
    SendQtKey(QEvent::KeyRelease, QtKeyFromWindowsKeyCode(event.windows_key_code), event, QString());
    return;
  }
  // A key that types nothing goes once the client's calls for this press
  // are over.
  pending_key_down_ = event;
  QTimer::singleShot(0, view_, [weak = weak_from_this()] {
    auto self = weak.lock();
    if (self && self->pending_key_down_) self->SendPendingKeyDown(QString());
  });
}

void QtBrowser::SendPendingKeyDown(const QString& text) {
  const KeyEvent event = *std::exchange(pending_key_down_, std::nullopt);
  SendQtKey(QEvent::KeyPress, QtKeyFromWindowsKeyCode(event.windows_key_code), event, text);
}

void QtBrowser::SendQtKey(QEvent::Type type, int qt_key, const KeyEvent& event, const QString& text) {
  QWidget* target = InputTarget();
  if (!target) return;
  QKeyEvent key(type, qt_key, QtModifiersFromEventFlags(event.modifiers), static_cast<quint32>(event.native_key_code),
                0, NativeModifiersFromEventFlags(event.modifiers), text);
  QCoreApplication::sendEvent(target, &key);
}

void QtBrowser::SendMouseClickEvent(const MouseEvent& event, MouseButtonType type, bool mouse_up, int click_count) {
  QWidget* target = InputTarget();
  if (!target || !windowless_parent_) return;
  const Qt::MouseButton button = type == MBT_RIGHT ? Qt::RightButton : type == MBT_MIDDLE ? Qt::MiddleButton
                                                                                          : Qt::LeftButton;
  if (mouse_up)
    pressed_buttons_ &= ~button;
  else
    pressed_buttons_ |= button;
  const QPointF at(event.x, event.y);
  const QEvent::Type kind = mouse_up ? QEvent::MouseButtonRelease
                            : click_count == 2 ? QEvent::MouseButtonDblClick : QEvent::MouseButtonPress;
  QMouseEvent mouse(kind, at, target->mapToGlobal(at), button, pressed_buttons_,
                    QtModifiersFromEventFlags(event.modifiers));
  mouse.setTimestamp(static_cast<quint64>(QDateTime::currentMSecsSinceEpoch()));
  QCoreApplication::sendEvent(target, &mouse);
}

void QtBrowser::SendMouseMoveEvent(const MouseEvent& event, bool mouse_leave) {
  QWidget* target = InputTarget();
  if (!target || !windowless_parent_) return;
  if (mouse_leave) {
    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(target, &leave);
    return;
  }
  const QPointF at(event.x, event.y);
  QMouseEvent mouse(QEvent::MouseMove, at, target->mapToGlobal(at), Qt::NoButton, pressed_buttons_,
                    QtModifiersFromEventFlags(event.modifiers));
  QCoreApplication::sendEvent(target, &mouse);
}

void QtBrowser::SendMouseWheelEvent(const MouseEvent& event, int delta_x, int delta_y) {
  QWidget* target = InputTarget();
  if (!target || !windowless_parent_) return;
  const QPointF at(event.x, event.y);
  QWheelEvent wheel(at, target->mapToGlobal(at), QPoint(), QPoint(delta_x, delta_y), pressed_buttons_,
                    QtModifiersFromEventFlags(event.modifiers), Qt::NoScrollPhase, false);
  QCoreApplication::sendEvent(target, &wheel);
}

void QtBrowser::SendCaptureLostEvent() {
  // A press whose release never comes: the page is told the buttons are up.
  pressed_buttons_ = Qt::NoButton;
}
}  // namespace engine
