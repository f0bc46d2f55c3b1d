#include "engine/qt/windowless_input_qt.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFocusEvent>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QTextCharFormat>
#include <QWheelEvent>
#include <algorithm>

#include "engine/qt/input_mapping.h"

namespace engine {

QWidget* QtWindowlessInput::Target() const {
  if (!view_) return nullptr;
  return view_->focusProxy() ? view_->focusProxy() : view_.data();
}

void QtWindowlessInput::Focus(bool focus) {
  QWidget* target = Target();
  if (!target) return;
  QFocusEvent event(focus ? QEvent::FocusIn : QEvent::FocusOut, Qt::OtherFocusReason);
  QCoreApplication::sendEvent(target, &event);
}

void QtWindowlessInput::Key(const KeyEvent& event) {
  QWidget* target = Target();
  if (!target) return;
  QKeyEvent key = QtKeyEventFrom(event);
  QCoreApplication::sendEvent(target, &key);
}

void QtWindowlessInput::MouseClick(const MouseEvent& event, MouseButtonType type, bool mouse_up, int click_count) {
  QWidget* target = Target();
  if (!target) return;
  const Qt::MouseButton button = type == MBT_RIGHT ? Qt::RightButton : type == MBT_MIDDLE ? Qt::MiddleButton
                                                                                          : Qt::LeftButton;
  const QPointF at(event.x, event.y);
  const QEvent::Type kind = mouse_up ? QEvent::MouseButtonRelease
                            : click_count == 2 ? QEvent::MouseButtonDblClick : QEvent::MouseButtonPress;
  QMouseEvent mouse(kind, at, target->mapToGlobal(at), button, QtButtonsFromEventFlags(event.modifiers),
                    QtModifiersFromEventFlags(event.modifiers));
  mouse.setTimestamp(static_cast<quint64>(QDateTime::currentMSecsSinceEpoch()));
  QCoreApplication::sendEvent(target, &mouse);
}

void QtWindowlessInput::MouseMove(const MouseEvent& event, bool mouse_leave) {
  QWidget* target = Target();
  if (!target) return;
  if (mouse_leave) {
    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(target, &leave);
    return;
  }
  const QPointF at(event.x, event.y);
  QMouseEvent mouse(QEvent::MouseMove, at, target->mapToGlobal(at), Qt::NoButton,
                    QtButtonsFromEventFlags(event.modifiers), QtModifiersFromEventFlags(event.modifiers));
  QCoreApplication::sendEvent(target, &mouse);
}

void QtWindowlessInput::MouseWheel(const MouseEvent& event, int delta_x, int delta_y) {
  QWidget* target = Target();
  if (!target) return;
  const QPointF at(event.x, event.y);
  QWheelEvent wheel(at, target->mapToGlobal(at), QPoint(), QPoint(delta_x, delta_y),
                    QtButtonsFromEventFlags(event.modifiers), QtModifiersFromEventFlags(event.modifiers),
                    Qt::NoScrollPhase, false);
  QCoreApplication::sendEvent(target, &wheel);
}

void QtWindowlessInput::SetComposition(const std::u16string& text, int caret) {
  QWidget* target = Target();
  if (!target) return;
  const QString preedit = QString::fromStdU16String(text);
  QTextCharFormat underlined;
  underlined.setUnderlineStyle(QTextCharFormat::SingleUnderline);
  const QList<QInputMethodEvent::Attribute> attributes{
      {QInputMethodEvent::TextFormat, 0, static_cast<int>(preedit.size()), underlined},
      {QInputMethodEvent::Cursor, std::clamp(caret, 0, static_cast<int>(preedit.size())), 1}};
  QInputMethodEvent event(preedit, attributes);
  QCoreApplication::sendEvent(target, &event);
}

void QtWindowlessInput::CommitText(const std::u16string& text) {
  QWidget* target = Target();
  if (!target) return;
  QInputMethodEvent event;
  event.setCommitString(QString::fromStdU16String(text));
  QCoreApplication::sendEvent(target, &event);
}

void QtWindowlessInput::CancelComposition() {
  QWidget* target = Target();
  if (!target) return;
  QInputMethodEvent event;  // no preedit and nothing committed
  QCoreApplication::sendEvent(target, &event);
}

PaintRect QtWindowlessInput::CaretBounds() const {
  QWidget* target = Target();
  if (!target) return {};
  const QRect caret = target->inputMethodQuery(Qt::ImCursorRectangle).toRect();
  return {caret.x(), caret.y(), caret.width(), caret.height()};
}

}  // namespace engine
