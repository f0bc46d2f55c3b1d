#ifndef BROWSER_OSR_WINDOW_WIN_H_
#define BROWSER_OSR_WINDOW_WIN_H_

#include <QOpenGLContext>
#include <QPoint>
#include <QRect>
#include <QWidget>
#include <memory>

#include "browser/click_counter.h"
#include "browser/offscreen_renderer.h"
#include "engine/engine.h"

namespace browser {

class OffscreenWindow;
class OffscreenSurface;

// The render handler a windowless browser's client hands out: the frames
// and questions go to the window while it lives.
class OffscreenRenderHandler : public engine::RenderHandler {
 public:
  explicit OffscreenRenderHandler(OffscreenWindow* window) : window_(window) {}
  void Detach() { window_ = nullptr; }
  bool GetViewRect(std::shared_ptr<engine::Browser> browser, engine::PaintRect& rect) override;
  bool GetScreenPoint(std::shared_ptr<engine::Browser> browser, int view_x, int view_y, int& screen_x,
                      int& screen_y) override;
  void OnPaint(std::shared_ptr<engine::Browser> browser, engine::PaintElementType type,
               const std::vector<engine::PaintRect>& dirty, const void* buffer, int width, int height) override;
  void OnPopupShow(std::shared_ptr<engine::Browser> browser, bool show) override;
  void OnPopupSize(std::shared_ptr<engine::Browser> browser, const engine::PaintRect& rect) override;

 private:
  OffscreenWindow* window_;
};

// The child window that shows a windowless browser: draws its frames with
// OpenGL on a native surface of its own and sends mouse, keyboard, focus and
// input-method text to it.
class OffscreenWindow : public QWidget {
 public:
  OffscreenWindow(QWidget* parent, const OffscreenSettings& settings);
  ~OffscreenWindow() override;

  std::shared_ptr<OffscreenRenderHandler> render_handler() const { return render_handler_; }
  void SetBrowser(std::shared_ptr<engine::Browser> browser);
  void ShowBrowser();
  void HideBrowser();
  void SetDeviceScaleFactor(float scale);
  // Drops the texture and the browser before the window goes.
  void ReleaseBrowser();

  engine::PaintRect ViewRect() const;
  void PaintFrame(engine::PaintElementType type, const std::vector<engine::PaintRect>& dirty, const void* buffer,
                  int width, int height);
  void PopupShow(bool show);
  void PopupSize(const engine::PaintRect& rect);
  // The page image again, as it stands: the surface shown, or the page turned.
  void RenderNow();
  // Shows what was drawn, and lets the context go.
  void Present();

 protected:
  void resizeEvent(QResizeEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void keyReleaseEvent(QKeyEvent* event) override;
  void inputMethodEvent(QInputMethodEvent* event) override;
  QVariant inputMethodQuery(Qt::InputMethodQuery query) const override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void leaveEvent(QEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  // Tab belongs to the page, not to the focus chain of the frame.
  bool focusNextPrevChild(bool) override { return false; }

 private:
  engine::BrowserControl* host() const;
  QRect CaretRect() const;  // the page's caret in this widget, or invalid
  void FollowCaret();
  bool OverPopup(int x, int y) const;
  QPoint WithPopupOffset(int x, int y) const;
  engine::MouseEvent ToEngine(QPoint device_point, Qt::KeyboardModifiers modifiers,
                              Qt::MouseButtons buttons) const;
  void ScheduleRender();
  // The context on the surface, made once the surface has a window.
  bool EnableGL();
  void DisableGL();

  std::unique_ptr<GlCalls> gl_;
  OffscreenSurface* surface_ = nullptr;  // owned by its container
  QWidget* surface_container_ = nullptr;
  std::unique_ptr<QOpenGLContext> context_;
  OffscreenRenderer renderer_;
  std::shared_ptr<OffscreenRenderHandler> render_handler_;
  std::shared_ptr<engine::Browser> browser_;
  float device_scale_factor_ = 1.0f;
  QRect last_caret_;  // as last told to the input method
  bool hidden_ = false;
  bool render_pending_ = false;
  bool painting_popup_ = false;
  // The rotation gesture (Shift + drag).
  bool rotating_ = false;
  QPoint last_mouse_;
  // Click counting.
  ClickCounter clicks_;
  bool mouse_down_on_view_ = false;
  // Frames drawn, for the log line at the end.
  long frames_ = 0;
  qint64 first_frame_ms_ = 0;
};

}  // namespace browser

#endif  // BROWSER_OSR_WINDOW_WIN_H_
