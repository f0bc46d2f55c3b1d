#ifndef ENGINE_QT_OFFSCREEN_FRAMES_H_
#define ENGINE_QT_OFFSCREEN_FRAMES_H_

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
// is never on screen, read back at the frame rate, and what changed goes to
// the client's render handler.
class QtOffscreenFrames : public QObject {
 public:
  QtOffscreenFrames(QWidget* view, std::weak_ptr<QtBrowser> browser, int frame_rate);
  // The view takes the render handler's size; the next frame is whole.
  void Resize();
  void SetHidden(bool hidden);
  void InvalidateView() { whole_ = true; }

 private:
  void Capture();

  QPointer<QWidget> view_;
  std::weak_ptr<QtBrowser> browser_;
  QTimer timer_;
  QImage last_;
  bool whole_ = true;
};

}  // namespace engine

#endif  // ENGINE_QT_OFFSCREEN_FRAMES_H_
