#include "engine/qt/offscreen_frames.h"

#include <QApplication>
#include <QMouseEvent>
#include <QQuickWidget>
#include <QQuickWindow>
#include <QWheelEvent>
#include <QWidget>
#include <QWindow>
#include <algorithm>
#include <cstring>

#include "engine/qt/browser_qt.h"

namespace engine {

namespace {

constexpr int kDefaultFrameRate = 30;
constexpr int kMostFrameRate = 60;

}  // namespace

std::vector<PaintRect> ChangedRects(const QImage& before, const QImage& after) {
  std::vector<PaintRect> rects;
  const int width = after.width();
  const size_t row_bytes = static_cast<size_t>(width) * 4;
  int band_top = -1, left = width, right = -1;
  auto close_band = [&](int bottom) {
    if (band_top >= 0) rects.push_back({left, band_top, right - left + 1, bottom - band_top});
    band_top = -1, left = width, right = -1;
  };
  for (int y = 0; y < after.height(); ++y) {
    const auto* a = reinterpret_cast<const uint32_t*>(before.constScanLine(y));
    const auto* b = reinterpret_cast<const uint32_t*>(after.constScanLine(y));
    if (std::memcmp(a, b, row_bytes) == 0) {
      close_band(y);
      continue;
    }
    if (band_top < 0) band_top = y;
    int first = 0;
    while (a[first] == b[first]) ++first;
    int last = width - 1;
    while (a[last] == b[last]) --last;
    left = std::min(left, first);
    right = std::max(right, last);
  }
  close_band(after.height());
  return rects;
}

QtOffscreenFrames::QtOffscreenFrames(QWidget* view, std::weak_ptr<QtBrowser> browser, int frame_rate)
    : QObject(view), view_(view), browser_(std::move(browser)) {
  if (frame_rate <= 0) frame_rate = kDefaultFrameRate;
  interval_ms_ = 1000 / std::min(frame_rate, kMostFrameRate);
  capture_timer_.setSingleShot(true);
  connect(&capture_timer_, &QTimer::timeout, this, &QtOffscreenFrames::Capture);
  // The engine makes its render widget when the page gets its first
  // renderer, and a new one when a renderer is replaced.
  view->installEventFilter(this);
  FollowFrames(view->focusProxy());
  ScheduleCapture();
}

void QtOffscreenFrames::FollowFrames(QWidget* widget) {
  auto* quick = qobject_cast<QQuickWidget*>(widget);
  QQuickWindow* scene = quick ? quick->quickWindow() : nullptr;
  if (!scene) return;
  if (widget != popup_) {
    if (scene == followed_) return;
    if (followed_) disconnect(followed_, nullptr, this, nullptr);
    followed_ = scene;
  }
  // Queued: the frame is read once the widget has it whole.
  connect(scene, &QQuickWindow::afterRendering, this, &QtOffscreenFrames::ScheduleCapture, Qt::QueuedConnection);
}

void QtOffscreenFrames::ScheduleCapture() {
  if (hidden_ || capture_timer_.isActive()) return;
  const qint64 since = since_capture_.isValid() ? since_capture_.elapsed() : interval_ms_;
  capture_timer_.start(static_cast<int>(std::max<qint64>(0, interval_ms_ - since)));
}

void QtOffscreenFrames::Resize() {
  auto browser = browser_.lock();
  auto handler = browser ? browser->client()->GetRenderHandler() : nullptr;
  PaintRect rect;
  if (!view_ || !handler || !handler->GetViewRect(browser, rect)) return;
  view_->resize(std::max(rect.width, 1), std::max(rect.height, 1));
  Place();
  whole_ = true;
  ScheduleCapture();
}

void QtOffscreenFrames::Place() {
  auto browser = browser_.lock();
  auto handler = browser ? browser->client()->GetRenderHandler() : nullptr;
  int x = 0, y = 0;
  if (!view_ || !handler || !handler->GetScreenPoint(browser, 0, 0, x, y)) return;
  view_->move(x, y);
  // A widget never shown on screen keeps its window where it was made; the
  // engine reads that window's place.
  if (QWindow* window = view_->windowHandle()) window->setPosition(x, y);
}

void QtOffscreenFrames::SetHidden(bool hidden) {
  hidden_ = hidden;
  if (hidden) {
    capture_timer_.stop();
  } else {
    whole_ = true;
    ScheduleCapture();
  }
}

QRect QtOffscreenFrames::PopupRect() const {
  if (!popup_ || !view_) return QRect();
  return QRect(popup_->pos() - view_->pos(), popup_->size());
}

void QtOffscreenFrames::PopupShown(QWidget* popup) {
  auto browser = browser_.lock();
  auto handler = browser ? browser->client()->GetRenderHandler() : nullptr;
  if (!handler || !popup) return;
  popup_ = popup;
  last_popup_ = QImage();
  const QRect rect = PopupRect();
  handler->OnPopupShow(browser, true);
  handler->OnPopupSize(browser, {rect.x(), rect.y(), rect.width(), rect.height()});
  // The pointer over the client's window goes to the popup while it is open.
  qApp->installEventFilter(this);
  FollowFrames(popup);
  CapturePopup(true);
  ScheduleCapture();
}

void QtOffscreenFrames::PopupGone(QWidget* popup) {
  if (!popup_ || popup != popup_) return;
  if (auto* quick = qobject_cast<QQuickWidget*>(popup); quick && quick->quickWindow())
    disconnect(quick->quickWindow(), nullptr, this, nullptr);
  popup_ = nullptr;
  last_popup_ = QImage();
  qApp->removeEventFilter(this);
  auto browser = browser_.lock();
  auto handler = browser ? browser->client()->GetRenderHandler() : nullptr;
  if (handler) handler->OnPopupShow(browser, false);
}

void QtOffscreenFrames::RepaintPopup() {
  auto browser = browser_.lock();
  auto handler = browser ? browser->client()->GetRenderHandler() : nullptr;
  if (!handler || last_popup_.isNull()) return;
  handler->OnPaint(browser, PET_POPUP, {{0, 0, last_popup_.width(), last_popup_.height()}}, last_popup_.constBits(),
                   last_popup_.width(), last_popup_.height());
}

void QtOffscreenFrames::CapturePopup(bool always) {
  if (!popup_ || !popup_->isVisible()) return;
  QImage frame = popup_->grab().toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied);
  if (frame.isNull() || (!always && frame == last_popup_)) return;
  last_popup_ = frame;
  // A view frame carries the popup with it; a popup frame alone asks for one.
  whole_ = true;
}

bool QtOffscreenFrames::eventFilter(QObject* watched, QEvent* event) {
  const QEvent::Type type = event->type();
  if (watched == view_) {
    // Nobody sees the view's own window: painting it for every frame of
    // the page was a whole-window copy a frame for nothing. Frames are read
    // by drawing the view when its scene has drawn.
    if (type == QEvent::UpdateRequest) return true;
    if (type == QEvent::ChildAdded || type == QEvent::ChildRemoved)
      QTimer::singleShot(0, this, [this] {
        if (view_) FollowFrames(view_->focusProxy());
      });
    return false;
  }
  const bool mouse = type == QEvent::MouseButtonPress || type == QEvent::MouseButtonRelease ||
                     type == QEvent::MouseButtonDblClick || type == QEvent::MouseMove || type == QEvent::Wheel;
  auto browser = browser_.lock();
  QWidget* stand_in = browser ? browser->windowless_parent() : nullptr;
  // The pointer events of the client's window, and of the popup's own,
  // which holds the pointer while it is open.
  if (!mouse || !popup_ || !stand_in || !watched->isWindowType() ||
      (watched != stand_in->window()->windowHandle() && watched != popup_->windowHandle()))
    return false;
  const QPointF global = static_cast<QSinglePointEvent*>(event)->globalPosition();
  const QPoint in_stand_in = stand_in->mapFromGlobal(global.toPoint());
  const QRect rect = PopupRect();
  if (!rect.contains(in_stand_in)) {
    // A press elsewhere closes the list; the rest (the release of the press
    // that opened it) is not the list's.
    if (type == QEvent::MouseButtonPress) popup_->close();
    return true;
  }
  const QPointF local = QPointF(in_stand_in - rect.topLeft());
  if (type == QEvent::Wheel) {
    auto* wheel = static_cast<QWheelEvent*>(event);
    QWheelEvent copy(local, popup_->mapToGlobal(local), wheel->pixelDelta(), wheel->angleDelta(), wheel->buttons(),
                     wheel->modifiers(), wheel->phase(), wheel->inverted());
    QCoreApplication::sendEvent(popup_, &copy);
  } else {
    auto* press = static_cast<QMouseEvent*>(event);
    QMouseEvent copy(type, local, popup_->mapToGlobal(local), press->button(), press->buttons(), press->modifiers());
    QCoreApplication::sendEvent(popup_, &copy);
  }
  return true;
}

void QtOffscreenFrames::Capture() {
  auto browser = browser_.lock();
  auto handler = browser ? browser->client()->GetRenderHandler() : nullptr;
  if (!view_ || !handler) return;
  since_capture_.start();
  CapturePopup(false);
  // Premultiplied 32-bit ARGB is BGRA in memory on this platform. The view
  // is drawn from what its scene last drew (asking the scene itself would
  // render it again, a frame of its own), into the buffer of the frame
  // before last: a new one of the window's size for every frame cost more
  // in page faults than the drawing.
  const qreal ratio = view_->devicePixelRatioF();
  const QSize size = view_->size() * ratio;
  if (size.isEmpty()) return;
  if (frame_.size() != size) frame_ = QImage(size, QImage::Format_ARGB32_Premultiplied);
  if (frame_.isNull()) return;
  frame_.setDevicePixelRatio(ratio);
  view_->render(&frame_);
  std::vector<PaintRect> dirty;
  if (whole_ || frame_.size() != last_.size())
    dirty.push_back({0, 0, frame_.width(), frame_.height()});
  else
    dirty = ChangedRects(last_, frame_);
  if (dirty.empty()) return;
  whole_ = false;
  std::swap(last_, frame_);
  handler->OnPaint(browser, PET_VIEW, dirty, last_.constBits(), last_.width(), last_.height());
}

}  // namespace engine
