#ifndef ENGINE_QT_OFFSCREEN_FRAMES_H_
#define ENGINE_QT_OFFSCREEN_FRAMES_H_

#include <QElapsedTimer>
#include <QImage>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <memory>
#include <vector>

#include "engine/engine.h"

namespace engine {

class QtBrowser;

// The parts of |after| that differ from |before| (same size): one
// rectangle per run of changed rows, as wide as the changes in it.
std::vector<PaintRect> ChangedRects(const QImage& before, const QImage& after);

// The windowless mode this engine lacks: the page is drawn by a view that
// is never on screen, read back when its scene has drawn a frame (at most
// at the frame rate), and what changed goes to the client's render handler.
// A page that draws nothing costs nothing.
class QtOffscreenFrames : public QObject {
 public:
  QtOffscreenFrames(QWidget* view, std::weak_ptr<QtBrowser> browser, int frame_rate);
  // The view takes the render handler's size; the next frame is whole.
  void Resize();
  // Puts the hidden view where the client's window shows it: the page
  // reads its window's place from the view's.
  void Place();
  void SetHidden(bool hidden);
  void InvalidateView() {
    whole_ = true;
    ScheduleCapture();
  }
  // The engine's popup widget (an open select list) of the view shown or
  // gone. It lives past the screens; its frames go out as popup frames and
  // the pointer over its place in the client's window goes to it.
  void PopupShown(QWidget* popup);
  void PopupGone(QWidget* popup);
  // The popup's last frame again, at once.
  void RepaintPopup();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // Follows the frames of the scene that draws |widget| (the engine's
  // render widget of the view or of its popup).
  void FollowFrames(QWidget* widget);
  void ScheduleCapture();
  void Capture();
  void CapturePopup(bool always);
  // Where the popup is, in view pixels.
  QRect PopupRect() const;

  QPointer<QWidget> view_;
  QPointer<QWidget> popup_;
  QImage last_popup_;
  std::weak_ptr<QtBrowser> browser_;
  QTimer capture_timer_;  // single shot: the next capture the frame rate allows
  int interval_ms_ = 0;
  QElapsedTimer since_capture_;
  bool hidden_ = false;
  QPointer<QObject> followed_;  // the view's scene being followed
  QImage last_;
  QImage frame_;  // the next frame is drawn here
  bool whole_ = true;
};

}  // namespace engine

#endif  // ENGINE_QT_OFFSCREEN_FRAMES_H_
