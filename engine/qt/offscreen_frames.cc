#include "engine/qt/offscreen_frames.h"

#include <QWidget>
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
  timer_.setInterval(1000 / std::min(frame_rate, kMostFrameRate));
  connect(&timer_, &QTimer::timeout, this, &QtOffscreenFrames::Capture);
  timer_.start();
}

void QtOffscreenFrames::Resize() {
  auto browser = browser_.lock();
  auto handler = browser ? browser->client()->GetRenderHandler() : nullptr;
  PaintRect rect;
  if (!view_ || !handler || !handler->GetViewRect(browser, rect)) return;
  view_->resize(std::max(rect.width, 1), std::max(rect.height, 1));
  whole_ = true;
}

void QtOffscreenFrames::SetHidden(bool hidden) {
  if (hidden) {
    timer_.stop();
  } else if (!timer_.isActive()) {
    whole_ = true;
    timer_.start();
  }
}

void QtOffscreenFrames::Capture() {
  auto browser = browser_.lock();
  auto handler = browser ? browser->client()->GetRenderHandler() : nullptr;
  if (!view_ || !handler) return;
  // Premultiplied 32-bit ARGB is BGRA in memory on this platform.
  QImage frame = view_->grab().toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied);
  if (frame.isNull()) return;
  std::vector<PaintRect> dirty;
  if (whole_ || frame.size() != last_.size())
    dirty.push_back({0, 0, frame.width(), frame.height()});
  else
    dirty = ChangedRects(last_, frame);
  if (dirty.empty()) return;
  whole_ = false;
  last_ = frame;
  handler->OnPaint(browser, PET_VIEW, dirty, last_.constBits(), last_.width(), last_.height());
}

}  // namespace engine
