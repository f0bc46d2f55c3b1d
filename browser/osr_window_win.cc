#include "browser/osr_window_win.h"

#include <QDateTime>
#include <QFocusEvent>
#include <QGuiApplication>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QStyleHints>
#include <QTimer>
#include <QWheelEvent>
#include <cmath>
#include <cstdio>

#include "browser/osr_surface_win.h"
#include "browser/util_win.h"
#include "engine/qt/input_mapping.h"
#include "env/logs.h"

namespace browser {

namespace {

DoubleClickRule DesktopDoubleClickRule() {
  const QStyleHints* hints = QGuiApplication::styleHints();
  return {hints->mouseDoubleClickDistance(), hints->mouseDoubleClickInterval()};
}

// Repaints of the rotation gesture, about 30 a second.
constexpr int kRenderDelayMs = 33;

engine::MouseButtonType ButtonType(Qt::MouseButton button) {
  if (button == Qt::RightButton) return engine::MBT_RIGHT;
  if (button == Qt::MiddleButton) return engine::MBT_MIDDLE;
  return engine::MBT_LEFT;
}

}  // namespace

bool OffscreenRenderHandler::GetViewRect(std::shared_ptr<engine::Browser>, engine::PaintRect& rect) {
  if (!window_) return false;
  rect = window_->ViewRect();
  return true;
}

bool OffscreenRenderHandler::GetScreenPoint(std::shared_ptr<engine::Browser>, int view_x, int view_y, int& screen_x,
                                            int& screen_y) {
  if (!window_) return false;
  const QPoint point = window_->mapToGlobal(QPoint(view_x, view_y));
  screen_x = point.x();
  screen_y = point.y();
  return true;
}

void OffscreenRenderHandler::OnPaint(std::shared_ptr<engine::Browser>, engine::PaintElementType type,
                                     const std::vector<engine::PaintRect>& dirty, const void* buffer, int width,
                                     int height) {
  if (window_) window_->PaintFrame(type, dirty, buffer, width, height);
}

void OffscreenRenderHandler::OnPopupShow(std::shared_ptr<engine::Browser>, bool show) {
  if (window_) window_->PopupShow(show);
}

void OffscreenRenderHandler::OnPopupSize(std::shared_ptr<engine::Browser>, const engine::PaintRect& rect) {
  if (window_) window_->PopupSize(rect);
}

OffscreenWindow::OffscreenWindow(QWidget* parent, const OffscreenSettings& settings)
    : QWidget(parent),
      gl_(std::make_unique<QtGlCalls>()),
      renderer_(*gl_, settings),
      render_handler_(std::make_shared<OffscreenRenderHandler>(this)) {
  setObjectName(QStringLiteral("Client_OsrWindow"));
  setFocusPolicy(Qt::StrongFocus);
  setMouseTracking(true);
  setAttribute(Qt::WA_InputMethodEnabled);
  surface_ = new OffscreenSurface([this] { RenderNow(); });
  surface_container_ = QWidget::createWindowContainer(surface_, this);
  surface_container_->setAttribute(Qt::WA_TransparentForMouseEvents);
  surface_container_->setFocusPolicy(Qt::NoFocus);
}

OffscreenWindow::~OffscreenWindow() {
  if (frames_ > 0) {
    char seconds[32];
    std::snprintf(seconds, sizeof(seconds), "%.1f", (QDateTime::currentMSecsSinceEpoch() - first_frame_ms_) / 1000.0);
    env::WriteProgramLog("off-screen window: " + std::to_string(frames_) + " frames in " + seconds + " s");
  }
  render_handler_->Detach();
  ReleaseBrowser();
}

void OffscreenWindow::ReleaseBrowser() {
  DisableGL();
  browser_.reset();
}

bool OffscreenWindow::EnableGL() {
  if (context_) return true;
  if (!surface_->handle()) return false;
  auto context = std::make_unique<QOpenGLContext>();
  context->setFormat(surface_->requestedFormat());
  if (!context->create() || !context->makeCurrent(surface_)) {
    env::WriteProgramLog("off-screen window: no OpenGL context on its surface");
    return false;
  }
  context_ = std::move(context);
  static_cast<QtGlCalls*>(gl_.get())->Bind(context_.get());
  renderer_.Initialize();
  context_->doneCurrent();
  // The texture is new: the next frame has to be whole.
  if (auto* h = host()) h->Invalidate(engine::PET_VIEW);
  return true;
}

void OffscreenWindow::DisableGL() {
  if (!context_) return;
  if (context_->makeCurrent(surface_)) {
    renderer_.Cleanup();
    context_->doneCurrent();
  }
  static_cast<QtGlCalls*>(gl_.get())->Bind(nullptr);
  context_.reset();
}

engine::BrowserControl* OffscreenWindow::host() const { return browser_ ? browser_->GetHost() : nullptr; }

void OffscreenWindow::SetBrowser(std::shared_ptr<engine::Browser> browser) {
  browser_ = std::move(browser);
  if (auto* h = host()) h->WasResized();
}

void OffscreenWindow::ShowBrowser() {
  auto* h = host();
  if (!h) return;
  if (!isVisible()) show();
  if (hidden_) {
    h->WasHidden(false);
    hidden_ = false;
  }
  h->SendFocusEvent(true);
}

void OffscreenWindow::HideBrowser() {
  auto* h = host();
  if (!h) return;
  h->SendFocusEvent(false);
  if (!hidden_) {
    h->WasHidden(true);
    hidden_ = true;
  }
}

void OffscreenWindow::SetDeviceScaleFactor(float scale) {
  if (scale == device_scale_factor_) return;
  device_scale_factor_ = scale;
  if (auto* h = host()) h->WasResized();
}

engine::PaintRect OffscreenWindow::ViewRect() const {
  return {0, 0, static_cast<int>(std::floor(width() / device_scale_factor_)),
          static_cast<int>(std::floor(height() / device_scale_factor_))};
}

void OffscreenWindow::PaintFrame(engine::PaintElementType type, const std::vector<engine::PaintRect>& dirty,
                                 const void* buffer, int width, int height) {
  if (painting_popup_) {
    renderer_.OnPaint(type, dirty, buffer, width, height);
    return;
  }
  // Before the surface has a window the frame has nowhere to go; making the
  // context asks for a whole one.
  if (!EnableGL() || !context_->makeCurrent(surface_)) return;
  if (type == engine::PET_VIEW && frames_++ == 0) first_frame_ms_ = QDateTime::currentMSecsSinceEpoch();
  renderer_.OnPaint(type, dirty, buffer, width, height);
  // The popup lies over the page: drawn again after every page frame.
  const engine::PaintRect& popup = renderer_.popup_rect();
  if (type == engine::PET_VIEW && popup.width > 0 && popup.height > 0 && host()) {
    painting_popup_ = true;
    host()->Invalidate(engine::PET_POPUP);
    painting_popup_ = false;
  }
  if (surface_->swapped())
    renderer_.Render();
  else
    renderer_.RenderChanged();
  Present();
  // The caret moves with what the page draws: typing, scrolling, focus.
  if (type == engine::PET_VIEW) FollowCaret();
}

void OffscreenWindow::PopupShow(bool show) {
  if (!show) {
    renderer_.ClearPopupRects();
    if (auto* h = host()) h->Invalidate(engine::PET_VIEW);
  }
  renderer_.OnPopupShow(show);
}

void OffscreenWindow::PopupSize(const engine::PaintRect& rect) {
  const platform::Rect device =
      LogicalToDevice(platform::Rect{rect.x, rect.y, rect.width, rect.height}, device_scale_factor_);
  renderer_.OnPopupSize({device.x, device.y, device.width, device.height});
}

void OffscreenWindow::RenderNow() {
  if (!EnableGL() || !context_->makeCurrent(surface_)) return;
  renderer_.Render();
  Present();
}

void OffscreenWindow::Present() {
  if (surface_->swapped())
    context_->swapBuffers(surface_);
  else
    gl_->Flush();
  context_->doneCurrent();
}

void OffscreenWindow::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  surface_container_->resize(event->size());
  if (auto* h = host()) h->WasResized();
}

void OffscreenWindow::focusInEvent(QFocusEvent* event) {
  if (event->reason() == Qt::PopupFocusReason) return;
  if (auto* h = host()) h->SendFocusEvent(true);
}

void OffscreenWindow::focusOutEvent(QFocusEvent* event) {
  // The page's own popup (an open select list) taking the keyboard is no
  // blur: the page would close it at once.
  if (event->reason() == Qt::PopupFocusReason) return;
  if (auto* h = host()) h->SendFocusEvent(false);
}

void OffscreenWindow::keyPressEvent(QKeyEvent* event) {
  if (auto* h = host()) h->SendKeyEvent(engine::KeyEventFromQt(*event, engine::KEYEVENT_RAWKEYDOWN));
}

void OffscreenWindow::keyReleaseEvent(QKeyEvent* event) {
  if (auto* h = host()) h->SendKeyEvent(engine::KeyEventFromQt(*event, engine::KEYEVENT_KEYUP));
}

void OffscreenWindow::inputMethodEvent(QInputMethodEvent* event) {
  auto* h = host();
  if (!h) return;
  if (!event->commitString().isEmpty()) h->ImeCommitText(event->commitString().toStdU16String());
  const QString preedit = event->preeditString();
  if (!preedit.isEmpty()) {
    int caret = static_cast<int>(preedit.size());
    for (const QInputMethodEvent::Attribute& attribute : event->attributes())
      if (attribute.type == QInputMethodEvent::Cursor) caret = attribute.start;
    h->ImeSetComposition(preedit.toStdU16String(), caret);
  } else if (event->commitString().isEmpty()) {
    h->ImeCancelComposition();
  }
  event->accept();
}

QRect OffscreenWindow::CaretRect() const {
  auto* h = host();
  const engine::PaintRect caret = h ? h->ImeCaretBounds() : engine::PaintRect{};
  if (caret.height <= 0) return QRect();
  const platform::Rect device = LogicalToDevice(platform::Rect{caret.x, caret.y, caret.width, caret.height},
                                                device_scale_factor_);
  return QRect(device.x, device.y, std::max(device.width, 1), device.height);
}

QVariant OffscreenWindow::inputMethodQuery(Qt::InputMethodQuery query) const {
  // The candidates go next to the page's caret, not at the window's corner.
  if (query == Qt::ImCursorRectangle || query == Qt::ImAnchorRectangle) {
    const QRect caret = CaretRect();
    if (caret.isValid()) return caret;
  }
  return QWidget::inputMethodQuery(query);
}

void OffscreenWindow::FollowCaret() {
  if (!hasFocus()) return;
  const QRect caret = CaretRect();
  if (caret == last_caret_) return;
  last_caret_ = caret;
  QGuiApplication::inputMethod()->update(Qt::ImCursorRectangle | Qt::ImAnchorRectangle);
}

bool OffscreenWindow::OverPopup(int x, int y) const {
  const engine::PaintRect& popup = renderer_.popup_rect();
  return x >= popup.x && x < popup.x + popup.width && y >= popup.y && y < popup.y + popup.height;
}

QPoint OffscreenWindow::WithPopupOffset(int x, int y) const {
  if (!OverPopup(x, y)) return {x, y};
  const engine::PaintRect& requested = renderer_.requested_popup_rect();
  const engine::PaintRect& clamped = renderer_.popup_rect();
  return {x + requested.x - clamped.x, y + requested.y - clamped.y};
}

engine::MouseEvent OffscreenWindow::ToEngine(QPoint device_point, Qt::KeyboardModifiers modifiers,
                                             Qt::MouseButtons buttons) const {
  engine::MouseEvent mouse;
  mouse.x = DeviceToLogical(device_point.x(), device_scale_factor_);
  mouse.y = DeviceToLogical(device_point.y(), device_scale_factor_);
  mouse.modifiers = engine::MouseEventFlagsFromQt(modifiers, buttons);
  return mouse;
}

void OffscreenWindow::mousePressEvent(QMouseEvent* event) {
  auto* h = host();
  if (!h) return;
  setFocus();
  const QPoint at = event->position().toPoint();
  if (event->modifiers() & Qt::ShiftModifier) {
    rotating_ = true;
    last_mouse_ = at;
    return;
  }
  clicks_.Press(at, event->button(), QDateTime::currentMSecsSinceEpoch(), DesktopDoubleClickRule());
  mouse_down_on_view_ = !OverPopup(at.x(), at.y());
  h->SendMouseClickEvent(ToEngine(WithPopupOffset(at.x(), at.y()), event->modifiers(), event->buttons()),
                         ButtonType(event->button()), false, clicks_.count());
}

void OffscreenWindow::mouseDoubleClickEvent(QMouseEvent* event) { mousePressEvent(event); }

void OffscreenWindow::mouseReleaseEvent(QMouseEvent* event) {
  auto* h = host();
  if (!h) return;
  if (rotating_) {
    rotating_ = false;
    renderer_.SetSpin(0, 0);
    ScheduleRender();
    return;
  }
  const QPoint at = event->position().toPoint();
  const engine::PaintRect& requested = renderer_.requested_popup_rect();
  const engine::PaintRect& clamped = renderer_.popup_rect();
  // A press on the page released over a moved popup would land in the wrong place.
  if (mouse_down_on_view_ && OverPopup(at.x(), at.y()) && (requested.x != clamped.x || requested.y != clamped.y))
    return;
  h->SendMouseClickEvent(ToEngine(WithPopupOffset(at.x(), at.y()), event->modifiers(), event->buttons()),
                         ButtonType(event->button()), true, clicks_.count());
}

void OffscreenWindow::mouseMoveEvent(QMouseEvent* event) {
  auto* h = host();
  if (!h) return;
  const QPoint at = event->position().toPoint();
  if (rotating_) {
    renderer_.IncrementSpin(static_cast<float>(at.x() - last_mouse_.x()), static_cast<float>(at.y() - last_mouse_.y()));
    last_mouse_ = at;
    ScheduleRender();
    return;
  }
  clicks_.Move(at, QDateTime::currentMSecsSinceEpoch(), DesktopDoubleClickRule());
  h->SendMouseMoveEvent(ToEngine(WithPopupOffset(at.x(), at.y()), event->modifiers(), event->buttons()), false);
}

void OffscreenWindow::leaveEvent(QEvent*) {
  if (auto* h = host())
    h->SendMouseMoveEvent(ToEngine(mapFromGlobal(QCursor::pos()), QGuiApplication::keyboardModifiers(),
                                   QGuiApplication::mouseButtons()),
                          true);
}

void OffscreenWindow::wheelEvent(QWheelEvent* event) {
  auto* h = host();
  if (!h) return;
  const QPoint at = event->position().toPoint();
  const QPoint with_offset = WithPopupOffset(at.x(), at.y());
  const int delta = event->angleDelta().y() != 0 ? event->angleDelta().y() : event->angleDelta().x();
  const bool sideways = event->modifiers() & Qt::ShiftModifier;
  h->SendMouseWheelEvent(ToEngine(with_offset, event->modifiers(), event->buttons()), sideways ? delta : 0,
                         sideways ? 0 : delta);
}

void OffscreenWindow::ScheduleRender() {
  if (render_pending_) return;
  render_pending_ = true;
  QTimer::singleShot(kRenderDelayMs, this, [this] {
    render_pending_ = false;
    RenderNow();
  });
}

}  // namespace browser
