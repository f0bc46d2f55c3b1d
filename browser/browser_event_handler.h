#ifndef BROWSER_BROWSER_EVENT_HANDLER_H_
#define BROWSER_BROWSER_EVENT_HANDLER_H_

#include <memory>
#include <string>

#include "engine/engine.h"
#include "platform/window_directory.h"

namespace browser {

// Receives the browser life cycle and state changes of one handler; all
// calls arrive on the UI thread.
class BrowserEventDelegate {
 public:
  virtual ~BrowserEventDelegate() = default;
  virtual void BrowserCreated(std::shared_ptr<engine::Browser> browser) = 0;
  virtual void BrowserClosing(std::shared_ptr<engine::Browser> browser) = 0;
  virtual void BrowserClosed(std::shared_ptr<engine::Browser> browser) = 0;
  virtual void AddressChanged(const std::string& url) = 0;
  virtual void TitleChanged(const std::u16string& title) = 0;
  virtual void FullscreenChanged(bool fullscreen) = 0;
  virtual void LoadingStateChanged(bool is_loading, bool can_go_back, bool can_go_forward) = 0;
};

// The engine client of one browser: the product's policies over the
// engine's callbacks.
class BrowserEventHandler : public engine::Client, public std::enable_shared_from_this<BrowserEventHandler> {
 public:
  BrowserEventHandler(BrowserEventDelegate* delegate, bool offscreen, std::string start_url);

  // The frame of the owning root window: target of the posted commands.
  void SetMainWindowHandle(std::shared_ptr<platform::WindowHandle> window);
  // Stops all delegate calls; the delegate is going away.
  void ClearDelegate();
  int browser_count() const { return browser_count_; }
  const std::string& start_url() const { return start_url_; }

  // engine::Client
  void OnAfterCreated(std::shared_ptr<engine::Browser> browser) override;
  bool DoClose(std::shared_ptr<engine::Browser> browser) override;
  void OnBeforeClose(std::shared_ptr<engine::Browser> browser) override;
  void OnLoadingStateChange(std::shared_ptr<engine::Browser> browser, bool is_loading, bool can_go_back,
                            bool can_go_forward) override;
  void OnLoadEnd(std::shared_ptr<engine::Browser> browser, std::shared_ptr<engine::Frame> frame,
                 int http_status_code) override;
  void OnLoadError(std::shared_ptr<engine::Browser> browser, std::shared_ptr<engine::Frame> frame, int error_code,
                   const std::string& error_text, const std::string& failed_url) override;
  void OnAddressChange(std::shared_ptr<engine::Browser> browser, std::shared_ptr<engine::Frame> frame,
                       const std::string& url) override;
  void OnTitleChange(std::shared_ptr<engine::Browser> browser, const std::u16string& title) override;
  void OnFullscreenModeChange(std::shared_ptr<engine::Browser> browser, bool fullscreen) override;
  bool OnConsoleMessage(std::shared_ptr<engine::Browser> browser, const std::u16string& message,
                        const std::string& source, int line) override;

 private:
  const bool offscreen_;
  const std::string start_url_;
  BrowserEventDelegate* delegate_;
  int browser_count_ = 0;
  std::shared_ptr<platform::WindowHandle> main_window_;
};

}  // namespace browser

#endif  // BROWSER_BROWSER_EVENT_HANDLER_H_
