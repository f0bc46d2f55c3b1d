#ifndef BROWSER_OFFSCREEN_RENDERER_H_
#define BROWSER_OFFSCREEN_RENDERER_H_

#include <cstdint>
#include <vector>

#include "browser/gl_calls.h"
#include "engine/engine.h"

namespace browser {

// How off-screen windows draw, from the command line.
struct OffscreenSettings {
  bool transparent_painting = false;
  bool show_update_rect = false;
  uint32_t background_color = 0xFFFFFFFF;  // ARGB; alpha ignored
};

// Keeps the page image of a windowless browser in one texture, patching in
// only what changed, and draws it as a full-window quad: all of it, or only
// where the texture changed since it was last drawn.
class OffscreenRenderer {
 public:
  OffscreenRenderer(GlCalls& gl, const OffscreenSettings& settings) : gl_(gl), settings_(settings) {}

  void Initialize();
  void Cleanup();
  void Render();
  // Draws what changed since the last drawing; all of it where the whole
  // picture moves (turned, or outlining the update).
  void RenderChanged();
  void OnPopupShow(bool show);
  void OnPopupSize(const engine::PaintRect& rect);
  void OnPaint(engine::PaintElementType type, const std::vector<engine::PaintRect>& dirty, const void* buffer,
               int width, int height);
  void SetSpin(float x, float y);
  void IncrementSpin(float dx, float dy);
  void ClearPopupRects();

  // |requested| moved into a view of |view_width| x |view_height|, its size
  // kept.
  static engine::PaintRect ClampPopup(const engine::PaintRect& requested, int view_width, int view_height);

  int view_width() const { return view_width_; }
  int view_height() const { return view_height_; }
  const engine::PaintRect& popup_rect() const { return popup_rect_; }
  const engine::PaintRect& requested_popup_rect() const { return requested_popup_rect_; }

 private:
  bool Turned() const { return spin_x_ != 0 || spin_y_ != 0; }

  GlCalls& gl_;
  const OffscreenSettings settings_;
  bool initialized_ = false;
  GLuint texture_ = 0;
  int view_width_ = 0;
  int view_height_ = 0;
  engine::PaintRect popup_rect_;
  engine::PaintRect requested_popup_rect_;
  float spin_x_ = 0;
  float spin_y_ = 0;
  engine::PaintRect update_rect_;
  // Where the texture changed since the last drawing; whole_ when all of it.
  engine::PaintRect changed_;
  bool whole_ = true;
};

}  // namespace browser

#endif  // BROWSER_OFFSCREEN_RENDERER_H_
