#include "browser/browser_host.h"

#include <QTimer>
#include <QWidget>

namespace browser {

namespace {
constexpr uint32_t kChildWindowStyle = 0x56010000;  // WS_CHILD|WS_CLIPCHILDREN|WS_CLIPSIBLINGS|WS_TABSTOP|WS_VISIBLE
}  // namespace

BrowserHost::BrowserHost(BrowserHostDelegate* delegate, bool offscreen, const std::string& start_url)
    : delegate_(delegate), handler_(std::make_shared<BrowserEventHandler>(this, delegate, offscreen, start_url)) {}

BrowserHost::~BrowserHost() {
  if (handler_) handler_->ClearDelegate();
}

void BrowserHost::BrowserCreated(std::shared_ptr<engine::Browser> browser) {
  browser_ = browser;
  delegate_->BrowserCreated(browser);
}

void BrowserHost::BrowserClosing(std::shared_ptr<engine::Browser>) { closing_ = true; }

void BrowserHost::BrowserClosed(std::shared_ptr<engine::Browser>) {
  browser_.reset();
  handler_->ClearDelegate();
  handler_.reset();
  // The delegate may destroy this host.
  delegate_->BrowserHostDestroyed();
}

void BrowserHost::SetMainWindowHandle(std::shared_ptr<platform::WindowHandle> window) {
  if (handler_) handler_->SetMainWindowHandle(std::move(window));
}

WindowedBrowserHost::WindowedBrowserHost(BrowserHostDelegate* delegate, const std::string& start_url)
    : BrowserHost(delegate, false, start_url), start_url_(start_url) {}

namespace {
engine::WindowInfo ChildWindowInfo(QWidget* parent, const platform::Rect& rect) {
  engine::WindowInfo info;
  info.style = kChildWindowStyle;
  info.parent = parent;
  info.x = rect.x;
  info.y = rect.y;
  info.width = rect.width;
  info.height = rect.height;
  return info;
}
}  // namespace

void WindowedBrowserHost::CreateBrowser(QWidget* parent, const platform::Rect& rect,
                                        const engine::BrowserSettings& settings,
                                        std::shared_ptr<engine::RequestContext> request_context) {
  engine::CreateBrowser(ChildWindowInfo(parent, rect), handler_, start_url_, settings, std::move(request_context));
}

void WindowedBrowserHost::GetPopupConfig(QWidget* parent, const platform::Rect& rect,
                                         engine::WindowInfo& window_info, std::shared_ptr<engine::Client>& client,
                                         engine::BrowserSettings&) {
  window_info = ChildWindowInfo(parent, rect);
  client = handler_;
}

void WindowedBrowserHost::ShowPopup(int x, int y, int width, int height) {
  QWidget* window = GetWindowHandle();
  if (!window) return;
  window->setGeometry(x, y, width, height);
  window->show();
}

QWidget* WindowedBrowserHost::GetWindowHandle() const {
  return browser_ ? browser_->GetHost()->GetWindowHandle() : nullptr;
}

void WindowedBrowserHost::Show() {
  if (QWidget* window = GetWindowHandle(); window && !window->isVisible()) window->show();
}

void WindowedBrowserHost::Hide() {
  // Zero size rather than hidden, so the page keeps running as on screen.
  if (QWidget* window = GetWindowHandle()) window->resize(0, 0);
}

void WindowedBrowserHost::SetBounds(int x, int y, int width, int height) {
  if (QWidget* window = GetWindowHandle()) window->setGeometry(x, y, width, height);
}

void WindowedBrowserHost::SetFocus(bool focus) {
  if (browser_) browser_->GetHost()->SetFocus(focus);
}

}  // namespace browser

namespace browser {

OffscreenBrowserHost::OffscreenBrowserHost(BrowserHostDelegate* delegate, const std::string& start_url,
                                           const OffscreenSettings& settings)
    : BrowserHost(delegate, true, start_url), start_url_(start_url), settings_(settings) {}

OffscreenBrowserHost::~OffscreenBrowserHost() { delete window_.data(); }

void OffscreenBrowserHost::BrowserCreated(std::shared_ptr<engine::Browser> browser) {
  if (window_) {
    // Shown from the loop: the frame lays itself out first.
    QPointer<OffscreenWindow> window = window_;
    window_->SetBrowser(browser);
    QTimer::singleShot(0, window, [window] { window->ShowBrowser(); });
  }
  BrowserHost::BrowserCreated(std::move(browser));
}

void OffscreenBrowserHost::BrowserClosing(std::shared_ptr<engine::Browser> browser) {
  if (window_) window_->ReleaseBrowser();
  BrowserHost::BrowserClosing(std::move(browser));
}

void OffscreenBrowserHost::BrowserClosed(std::shared_ptr<engine::Browser> browser) {
  delete window_.data();
  BrowserHost::BrowserClosed(std::move(browser));
}

void OffscreenBrowserHost::CreateBrowser(QWidget* parent, const platform::Rect& rect,
                                         const engine::BrowserSettings& settings,
                                         std::shared_ptr<engine::RequestContext> request_context) {
  window_ = new OffscreenWindow(parent, settings_);
  window_->setGeometry(rect.x, rect.y, rect.width, rect.height);
  handler_->SetRenderHandler(window_->render_handler());
  engine::WindowInfo info;
  info.parent = window_;
  info.width = rect.width;
  info.height = rect.height;
  info.windowless_rendering_enabled = true;
  info.transparent_painting_enabled = settings_.transparent_painting;
  engine::CreateBrowser(info, handler_, start_url_, settings, std::move(request_context));
}

void OffscreenBrowserHost::GetPopupConfig(QWidget* parent, const platform::Rect& rect,
                                          engine::WindowInfo& window_info, std::shared_ptr<engine::Client>& client,
                                          engine::BrowserSettings&) {
  window_ = new OffscreenWindow(parent, settings_);
  window_->setGeometry(rect.x, rect.y, rect.width, rect.height);
  handler_->SetRenderHandler(window_->render_handler());
  window_info = engine::WindowInfo{};
  window_info.parent = window_;
  window_info.width = rect.width;
  window_info.height = rect.height;
  window_info.windowless_rendering_enabled = true;
  window_info.transparent_painting_enabled = settings_.transparent_painting;
  client = handler_;
}

void OffscreenBrowserHost::ShowPopup(int x, int y, int width, int height) {
  if (!window_) return;
  window_->setGeometry(x, y, width, height);
  window_->ShowBrowser();
}

void OffscreenBrowserHost::Show() {
  if (window_) window_->ShowBrowser();
}

void OffscreenBrowserHost::Hide() {
  if (window_) window_->HideBrowser();
}

void OffscreenBrowserHost::SetBounds(int x, int y, int width, int height) {
  if (window_) window_->setGeometry(x, y, width, height);
}

void OffscreenBrowserHost::Moved() {
  if (browser_) browser_->GetHost()->NotifyMoveOrResizeStarted();
}

void OffscreenBrowserHost::SetFocus(bool focus) {
  if (focus && window_) window_->setFocus();
}

QWidget* OffscreenBrowserHost::GetWindowHandle() const { return window_.data(); }

void OffscreenBrowserHost::SetDeviceScaleFactor(float scale) {
  if (scale == device_scale_factor_ || scale < 1.0f || scale > 4.0f) return;
  device_scale_factor_ = scale;
  if (window_) window_->SetDeviceScaleFactor(scale);
}

}  // namespace browser
