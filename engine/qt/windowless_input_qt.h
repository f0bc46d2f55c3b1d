#ifndef ENGINE_QT_WINDOWLESS_INPUT_QT_H_
#define ENGINE_QT_WINDOWLESS_INPUT_QT_H_

#include <QPointer>
#include <QWidget>
#include <string>

#include "engine/engine.h"

namespace engine {

// A windowless browser's input: the client's events, which its window had
// from Qt, handed to the hidden view as Qt would hand them to a shown one.
class QtWindowlessInput {
 public:
  explicit QtWindowlessInput(QWidget* view) : view_(view) {}

  void Focus(bool focus);
  void Key(const KeyEvent& event);
  void MouseClick(const MouseEvent& event, MouseButtonType button, bool mouse_up, int click_count);
  void MouseMove(const MouseEvent& event, bool mouse_leave);
  void MouseWheel(const MouseEvent& event, int delta_x, int delta_y);
  void SetComposition(const std::u16string& text, int caret);
  void CommitText(const std::u16string& text);
  void CancelComposition();
  PaintRect CaretBounds() const;

 private:
  // The widget the engine draws in, which takes the view's input; null
  // once the view is gone.
  QWidget* Target() const;

  QPointer<QWidget> view_;
};

}  // namespace engine

#endif  // ENGINE_QT_WINDOWLESS_INPUT_QT_H_
