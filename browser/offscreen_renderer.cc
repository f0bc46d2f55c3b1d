#include "browser/offscreen_renderer.h"

#include <algorithm>

namespace browser {

namespace {

// Texture u, v then position x, y, z: the rows of the engine's top-down
// buffer land the right way up.
constexpr GLfloat kQuad[] = {0, 1, -1, -1, 0, 1, 1, 1, -1, 0, 1, 0, 1, 1, 0, 0, 0, -1, 1, 0};

// The smallest rectangle holding both; an empty one holds nothing.
engine::PaintRect Union(const engine::PaintRect& a, const engine::PaintRect& b) {
  if (a.width <= 0 || a.height <= 0) return b;
  if (b.width <= 0 || b.height <= 0) return a;
  const int left = std::min(a.x, b.x), top = std::min(a.y, b.y);
  const int right = std::max(a.x + a.width, b.x + b.width), bottom = std::max(a.y + a.height, b.y + b.height);
  return {left, top, right - left, bottom - top};
}

}  // namespace

void OffscreenRenderer::Initialize() {
  if (initialized_) return;
  gl_.Hint(GL_POLYGON_SMOOTH_HINT, GL_NICEST);
  const uint32_t color = settings_.background_color;
  gl_.ClearColor(((color >> 16) & 0xFF) / 255.0f, ((color >> 8) & 0xFF) / 255.0f, (color & 0xFF) / 255.0f, 1.0f);
  gl_.PixelStorei(GL_UNPACK_ALIGNMENT, 1);
  texture_ = gl_.GenTexture();
  gl_.BindTexture(GL_TEXTURE_2D, texture_);
  gl_.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
  gl_.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
  gl_.TexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
  initialized_ = true;
}

void OffscreenRenderer::Cleanup() {
  if (texture_ != 0) gl_.DeleteTexture(texture_);
  texture_ = 0;
  initialized_ = false;
}

void OffscreenRenderer::RenderChanged() {
  if (whole_ || Turned() || settings_.show_update_rect) {
    Render();
    return;
  }
  if (changed_.width <= 0 || changed_.height <= 0) return;
  // OpenGL counts rows from the bottom.
  gl_.Enable(GL_SCISSOR_TEST);
  gl_.Scissor(changed_.x, view_height_ - changed_.y - changed_.height, changed_.width, changed_.height);
  Render();
  gl_.Disable(GL_SCISSOR_TEST);
}

void OffscreenRenderer::Render() {
  if (view_width_ == 0 || view_height_ == 0) return;
  whole_ = false;
  changed_ = {};
  gl_.Clear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  gl_.MatrixMode(GL_MODELVIEW);
  gl_.LoadIdentity();
  gl_.Viewport(0, 0, view_width_, view_height_);
  gl_.MatrixMode(GL_PROJECTION);
  gl_.LoadIdentity();

  // The background gradient, seen only where the page is transparent or
  // turned; elsewhere the page covers it, and in software OpenGL it would
  // cost a whole-window pass a frame.
  if (settings_.transparent_painting || Turned()) {
    gl_.PushAttrib(GL_ALL_ATTRIB_BITS);
    gl_.Begin(GL_QUADS);
    gl_.Color4f(1, 0, 0, 1);
    gl_.Vertex2f(-1, -1);
    gl_.Vertex2f(1, -1);
    gl_.Color4f(0, 0, 1, 1);
    gl_.Vertex2f(1, 1);
    gl_.Vertex2f(-1, 1);
    gl_.End();
    gl_.PopAttrib();
  }

  gl_.MatrixMode(GL_MODELVIEW);
  if (spin_x_ != 0) gl_.Rotatef(-spin_x_, 1, 0, 0);
  if (spin_y_ != 0) gl_.Rotatef(-spin_y_, 0, 1, 0);
  if (settings_.transparent_painting) {
    gl_.Enable(GL_BLEND);
    gl_.BlendFunc(GL_ONE, GL_ONE_MINUS_SRC_ALPHA);
  }
  gl_.Enable(GL_TEXTURE_2D);
  gl_.BindTexture(GL_TEXTURE_2D, texture_);
  gl_.Color4f(1, 1, 1, 1);
  gl_.InterleavedArrays(GL_T2F_V3F, 0, kQuad);
  gl_.DrawArrays(GL_QUADS, 0, 4);
  gl_.Disable(GL_TEXTURE_2D);
  if (settings_.transparent_painting) gl_.Disable(GL_BLEND);

  if (settings_.show_update_rect && update_rect_.width > 0 && update_rect_.height > 0) {
    const float left = static_cast<float>(update_rect_.x);
    const float top = static_cast<float>(update_rect_.y);
    const float right = left + update_rect_.width;
    const float bottom = top + update_rect_.height;
    gl_.PushAttrib(GL_ALL_ATTRIB_BITS);
    gl_.MatrixMode(GL_PROJECTION);
    gl_.PushMatrix();
    gl_.LoadIdentity();
    gl_.Ortho(0, view_width_, view_height_, 0, 0, 1);
    gl_.MatrixMode(GL_MODELVIEW);
    gl_.LoadIdentity();
    gl_.LineWidth(1);
    gl_.Color4f(1, 0, 0, 1);
    gl_.Begin(GL_LINE_STRIP);
    gl_.Vertex2f(left + 1, top);
    gl_.Vertex2f(right, top);
    gl_.Vertex2f(right, bottom - 1);
    gl_.Vertex2f(left + 1, bottom - 1);
    gl_.Vertex2f(left + 1, top);
    gl_.End();
    gl_.MatrixMode(GL_PROJECTION);
    gl_.PopMatrix();
    gl_.PopAttrib();
  }
}

void OffscreenRenderer::OnPopupShow(bool show) {
  if (!show) ClearPopupRects();
}

void OffscreenRenderer::OnPopupSize(const engine::PaintRect& rect) {
  if (rect.width <= 0 || rect.height <= 0) return;
  requested_popup_rect_ = rect;
  popup_rect_ = ClampPopup(rect, view_width_, view_height_);
}

engine::PaintRect OffscreenRenderer::ClampPopup(const engine::PaintRect& requested, int view_width,
                                                int view_height) {
  engine::PaintRect rect = requested;
  if (rect.x < 0) rect.x = 0;
  if (rect.y < 0) rect.y = 0;
  if (rect.x + rect.width > view_width) rect.x = view_width - rect.width;
  if (rect.y + rect.height > view_height) rect.y = view_height - rect.height;
  if (rect.x < 0) rect.x = 0;
  if (rect.y < 0) rect.y = 0;
  return rect;
}

void OffscreenRenderer::OnPaint(engine::PaintElementType type, const std::vector<engine::PaintRect>& dirty,
                                const void* buffer, int width, int height) {
  Initialize();
  if (settings_.transparent_painting) gl_.Enable(GL_BLEND);
  gl_.Enable(GL_TEXTURE_2D);
  gl_.BindTexture(GL_TEXTURE_2D, texture_);
  if (type == engine::PET_VIEW) {
    const int old_width = view_width_;
    const int old_height = view_height_;
    view_width_ = width;
    view_height_ = height;
    if (settings_.show_update_rect && !dirty.empty()) update_rect_ = dirty.front();
    gl_.PixelStorei(GL_UNPACK_ROW_LENGTH, view_width_);
    const bool whole = old_width != width || old_height != height ||
                       (dirty.size() == 1 && dirty.front() == engine::PaintRect{0, 0, width, height});
    if (whole) {
      gl_.PixelStorei(GL_UNPACK_SKIP_PIXELS, 0);
      gl_.PixelStorei(GL_UNPACK_SKIP_ROWS, 0);
      gl_.TexImage2D(width, height, buffer);
      whole_ = true;
    } else {
      for (const engine::PaintRect& rect : dirty) {
        changed_ = Union(changed_, rect);
        gl_.PixelStorei(GL_UNPACK_SKIP_PIXELS, rect.x);
        gl_.PixelStorei(GL_UNPACK_SKIP_ROWS, rect.y);
        gl_.TexSubImage2D(rect.x, rect.y, rect.width, rect.height, buffer);
      }
    }
  } else if (popup_rect_.width > 0 && popup_rect_.height > 0) {
    int skip_pixels = 0, skip_rows = 0;
    int x = popup_rect_.x, y = popup_rect_.y, w = width, h = height;
    if (x < 0) {
      skip_pixels = -x;
      x = 0;
    }
    if (y < 0) {
      skip_rows = -y;
      y = 0;
    }
    if (x + w > view_width_) w = view_width_ - x;
    if (y + h > view_height_) h = view_height_ - y;
    gl_.PixelStorei(GL_UNPACK_ROW_LENGTH, width);
    gl_.PixelStorei(GL_UNPACK_SKIP_PIXELS, skip_pixels);
    gl_.PixelStorei(GL_UNPACK_SKIP_ROWS, skip_rows);
    gl_.TexSubImage2D(x, y, w, h, buffer);
    changed_ = Union(changed_, {x, y, w, h});
  }
  gl_.Disable(GL_TEXTURE_2D);
  if (settings_.transparent_painting) gl_.Disable(GL_BLEND);
}

void OffscreenRenderer::SetSpin(float x, float y) {
  spin_x_ = x;
  spin_y_ = y;
}

void OffscreenRenderer::IncrementSpin(float dx, float dy) {
  spin_x_ -= dx;
  spin_y_ -= dy;
}

void OffscreenRenderer::ClearPopupRects() {
  popup_rect_ = {};
  requested_popup_rect_ = {};
}

}  // namespace browser
