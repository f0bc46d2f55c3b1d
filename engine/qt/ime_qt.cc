// Input-method composition for windowless browsers: the page's hidden view
// gets the same input-method events and queries a visible view would.
#include <QCoreApplication>
#include <algorithm>
#include <QInputMethodEvent>
#include <QTextCharFormat>
#include <QWidget>

#include "engine/qt/browser_qt.h"

namespace engine {

void QtBrowser::ImeSetComposition(const std::u16string& text, int caret) {
  QWidget* target = InputTarget();
  if (!target || !windowless_parent_) return;
  const QString preedit = QString::fromStdU16String(text);
  QTextCharFormat underlined;
  underlined.setUnderlineStyle(QTextCharFormat::SingleUnderline);
  const QList<QInputMethodEvent::Attribute> attributes{
      {QInputMethodEvent::TextFormat, 0, static_cast<int>(preedit.size()), underlined},
      {QInputMethodEvent::Cursor, std::clamp(caret, 0, static_cast<int>(preedit.size())), 1}};
  QInputMethodEvent event(preedit, attributes);
  QCoreApplication::sendEvent(target, &event);
}

void QtBrowser::ImeCommitText(const std::u16string& text) {
  QWidget* target = InputTarget();
  if (!target || !windowless_parent_) return;
  QInputMethodEvent event;
  event.setCommitString(QString::fromStdU16String(text));
  QCoreApplication::sendEvent(target, &event);
}

void QtBrowser::ImeCancelComposition() {
  QWidget* target = InputTarget();
  if (!target || !windowless_parent_) return;
  QInputMethodEvent event;  // no preedit and nothing committed
  QCoreApplication::sendEvent(target, &event);
}

PaintRect QtBrowser::ImeCaretBounds() {
  QWidget* target = InputTarget();
  if (!target || !windowless_parent_) return {};
  const QRect caret = target->inputMethodQuery(Qt::ImCursorRectangle).toRect();
  return {caret.x(), caret.y(), caret.width(), caret.height()};
}

}  // namespace engine
