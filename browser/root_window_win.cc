#include "browser/root_window_win.h"

#include <QCloseEvent>
#include <QResizeEvent>

#include "app/app_context.h"
#include "app/root_window_registry.h"
#include "browser/util_win.h"
#include "browser/window_messages.h"
#include "env/product.h"
#include "env/system_integration.h"
#include "platform/message_box.h"

namespace browser {

// The frame window; it reaches its RootWindow through the pointer it keeps
// until it is destroyed, like a window's user data.
class RootFrame : public platform::TopLevelWindow {
 public:
  explicit RootFrame(RootWindow* owner) : TopLevelWindow(env::MainWindowClassName()), owner_(owner) {
    setAttribute(Qt::WA_DeleteOnClose);
  }
  ~RootFrame() override {
    if (RootWindow* owner = std::exchange(owner_, nullptr)) owner->OnNcDestroy();
  }

  intptr_t WindowProc(const platform::WindowMessage& message) override {
    return owner_ ? owner_->HandleMessage(message) : 0;
  }

 protected:
  void closeEvent(QCloseEvent* event) override {
    if (owner_ && !owner_->OnClose())
      event->ignore();
    else
      event->accept();
  }
  void resizeEvent(QResizeEvent* event) override {
    TopLevelWindow::resizeEvent(event);
    if (owner_) owner_->OnSize();
  }
  void changeEvent(QEvent* event) override {
    TopLevelWindow::changeEvent(event);
    if (owner_ && event->type() == QEvent::WindowStateChange) owner_->OnSize();
  }

 private:
  RootWindow* owner_;
};

RootWindow::RootWindow() = default;

RootWindow::~RootWindow() {
  delete loading_dialog_.data();
  if (frame_) {
    frame_->hide();
    frame_->deleteLater();
  }
}

void RootWindow::Open(app::RootWindowRegistry* registry, bool with_controls, bool offscreen,
                      const platform::Rect& bounds, const engine::BrowserSettings& settings, const std::string& url) {
  registry_ = registry;
  with_controls_ = with_controls;
  offscreen_ = offscreen;
  start_rect_ = bounds;
  browser_host_ = std::make_unique<WindowedBrowserHost>(this, url);
  initialized_ = true;
  if (engine::CurrentlyOnUiThread()) {
    CreateRootWindow(settings);
  } else {
    auto self = shared_from_this();
    engine::PostTask([self, settings] { self->CreateRootWindow(settings); });
  }
}

void RootWindow::CreateRootWindow(const engine::BrowserSettings& settings) {
  frame_ = new RootFrame(this);
  frame_->SetTitle(env::MainWindowTitle());
  const QColor background = QColor::fromRgba(app::AppContext::Get()->BackgroundColor());
  QPalette palette = frame_->palette();
  palette.setColor(QPalette::Window, background);
  frame_->setPalette(palette);
  frame_->setAutoFillBackground(true);
  if (start_rect_.width > 0 && start_rect_.height > 0) {
    frame_->move(start_rect_.x, start_rect_.y);
    frame_->resize(start_rect_.width, start_rect_.height);
  }
  browser_host_->SetMainWindowHandle(platform::HandleOf(frame_));

  frame_->ShowWithCommand(platform::ShowCommand::kMaximized);
  loading_dialog_ = new LoadingDialog(frame_);
  loading_dialog_->PlaceOverFrame();
  loading_dialog_->show();

  const QRect client = frame_->rect();
  browser_host_->CreateBrowser(frame_, platform::Rect{0, 0, client.width(), client.height()}, settings,
                               registry_->RequestContextFor(this));
}

void RootWindow::Show(platform::ShowCommand command) {
  if (frame_) frame_->ShowWithCommand(command);
}

void RootWindow::Hide() {
  if (frame_) frame_->hide();
}

void RootWindow::SetBounds(int x, int y, int width, int height) {
  if (frame_) frame_->setGeometry(x, y, width, height);
}

void RootWindow::Close(bool force) {
  if (!frame_) return;
  if (force) {
    frame_->hide();
    frame_->deleteLater();
  } else {
    frame_->close();
  }
}

std::shared_ptr<engine::Browser> RootWindow::GetBrowser() const {
  return browser_host_ ? browser_host_->GetBrowser() : nullptr;
}

platform::TopLevelWindow* RootWindow::GetHandle() const { return frame_.data(); }

intptr_t RootWindow::HandleMessage(const platform::WindowMessage& message) {
  switch (message.message) {
    case WM_COMMAND:
      return OnCommand(static_cast<uint32_t>(message.wparam & 0xFFFF), message.lparam) ? 0 : 1;
    case MSG_FULL_SCREEN:
      env::SetFullScreen(static_cast<unsigned>(message.wparam));
      return 0;
    default:
      return 0;
  }
}

bool RootWindow::OnCommand(uint32_t id, intptr_t) {
  auto browser = GetBrowser();
  switch (id) {
    case CMD_PAGE_LOADED:
      delete loading_dialog_.data();
      return true;
    case CMD_CHANNEL_READY:
      if (browser) browser->GetMainFrame()->LoadURL(env::StartUrl());
      return true;
    case CMD_DOWNLOAD_FAILED:
      platform::ShowMessageBox(nullptr, "文件下载出错", "提示", platform::MB_OK);
      return true;
    case CMD_EXIT:
      registry_->CloseAllWindows(false);
      return true;
    case CMD_BACK:
      if (browser) browser->GoBack();
      return true;
    case CMD_FORWARD:
      if (browser) browser->GoForward();
      return true;
    case CMD_RELOAD:
      if (browser) browser->Reload();
      return true;
    case CMD_STOP:
      if (browser) browser->StopLoad();
      return true;
    default:
      return false;
  }
}

void RootWindow::BrowserCreated(std::shared_ptr<engine::Browser>) { OnSize(); }

void RootWindow::BrowserHostDestroyed() {
  browser_host_.reset();
  if (frame_) Close(true);
  browser_destroyed_ = true;
  if (window_destroyed_) registry_->RootWindowDestroyed(this);
}

void RootWindow::AddressChanged(const std::string&) {}

void RootWindow::TitleChanged(const std::u16string&) {
  // Never called: the title must stay what FindMainWindow looks for.
}

void RootWindow::FullscreenChanged(bool fullscreen) {
  if (!browser_host_) return;
  if (fullscreen)
    MaximizeToggle(browser_host_->GetWindowHandle());
  else
    Restore(browser_host_->GetWindowHandle());
}

void RootWindow::LoadingStateChanged(bool, bool, bool) {}

bool RootWindow::OnClose() {
  if (browser_host_ && browser_host_->GetBrowser() && !browser_host_->IsClosing()) {
    // The frame stays until the page has run its unload handlers.
    browser_host_->GetBrowser()->GetHost()->CloseBrowser(false);
    return false;
  }
  return true;
}

void RootWindow::OnSize() {
  if (!frame_ || !browser_host_) return;
  if (frame_->isMinimized()) {
    browser_host_->Hide();
    return;
  }
  browser_host_->Show();
  const QRect client = frame_->rect();
  browser_host_->SetBounds(0, 0, client.width(), client.height());
  if (loading_dialog_) loading_dialog_->PlaceOverFrame();
}

void RootWindow::OnNcDestroy() {
  frame_ = nullptr;
  window_destroyed_ = true;
  if (browser_destroyed_) registry_->RootWindowDestroyed(this);
}

}  // namespace browser
