#include "browser/browser_event_handler.h"

#include "browser/window_messages.h"
#include "env/logs.h"

namespace browser {

BrowserEventHandler::BrowserEventHandler(BrowserEventDelegate* delegate, bool offscreen, std::string start_url)
    : offscreen_(offscreen), start_url_(std::move(start_url)), delegate_(delegate) {}

void BrowserEventHandler::SetMainWindowHandle(std::shared_ptr<platform::WindowHandle> window) {
  main_window_ = std::move(window);
}

void BrowserEventHandler::ClearDelegate() {
  if (!engine::CurrentlyOnUiThread()) {
    engine::PostTask([self = shared_from_this()] { self->ClearDelegate(); });
    return;
  }
  delegate_ = nullptr;
}

void BrowserEventHandler::OnAfterCreated(std::shared_ptr<engine::Browser> browser) {
  ++browser_count_;
  if (delegate_) delegate_->BrowserCreated(browser);
}

bool BrowserEventHandler::DoClose(std::shared_ptr<engine::Browser> browser) {
  if (delegate_) delegate_->BrowserClosing(browser);
  return false;
}

void BrowserEventHandler::OnBeforeClose(std::shared_ptr<engine::Browser> browser) {
  --browser_count_;
  if (delegate_) delegate_->BrowserClosed(browser);
}

void BrowserEventHandler::OnLoadingStateChange(std::shared_ptr<engine::Browser>, bool is_loading,
                                               bool can_go_back, bool can_go_forward) {
  if (delegate_) delegate_->LoadingStateChanged(is_loading, can_go_back, can_go_forward);
}

void BrowserEventHandler::OnLoadEnd(std::shared_ptr<engine::Browser>, std::shared_ptr<engine::Frame>, int) {
  if (main_window_) main_window_->Post(platform::WindowMessage{WM_COMMAND, CMD_PAGE_LOADED, 0});
}

void BrowserEventHandler::OnLoadError(std::shared_ptr<engine::Browser>, std::shared_ptr<engine::Frame>,
                                      int error_code, const std::string&, const std::string&) {
  if (error_code == engine::ERR_ABORTED) return;
  env::WriteProgramLog("load error code:" + std::to_string(error_code));
}

void BrowserEventHandler::OnAddressChange(std::shared_ptr<engine::Browser>, std::shared_ptr<engine::Frame> frame,
                                          const std::string& url) {
  if (delegate_ && frame && frame->IsMain()) delegate_->AddressChanged(url);
}

void BrowserEventHandler::OnTitleChange(std::shared_ptr<engine::Browser>, const std::u16string&) {
  // The window title is the product's own and never follows the page.
}

void BrowserEventHandler::OnFullscreenModeChange(std::shared_ptr<engine::Browser>, bool fullscreen) {
  if (delegate_) delegate_->FullscreenChanged(fullscreen);
}

bool BrowserEventHandler::OnConsoleMessage(std::shared_ptr<engine::Browser>, const std::u16string& message,
                                           const std::string&, int) {
  env::WritePageLog(message);
  return false;
}

}  // namespace browser
