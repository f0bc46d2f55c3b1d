#ifndef ENGINE_QT_OFFSCREEN_ACCESSIBILITY_H_
#define ENGINE_QT_OFFSCREEN_ACCESSIBILITY_H_

class QWidget;

namespace engine {

// A screen reader walking down the window the user sees finds the page
// there, though the view that draws it is a window of its own that is
// never shown: |host| counts |view| among its accessible children while
// both live.
void AdoptForAccessibility(QWidget* host, QWidget* view);

}  // namespace engine

#endif  // ENGINE_QT_OFFSCREEN_ACCESSIBILITY_H_
