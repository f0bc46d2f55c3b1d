#ifndef BROWSER_BROWSER_EVENT_HANDLER_H_
#define BROWSER_BROWSER_EVENT_HANDLER_H_

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

#include "browser/downloads.h"
#include "browser/page_recovery.h"
#include "engine/engine.h"
#include "platform/window_directory.h"

namespace browser {

// What the window showing the handler's main browser hears of its page;
// UI thread only.
class PageStateObserver {
 public:
  virtual ~PageStateObserver() = default;
  virtual void AddressChanged(const std::string& url) = 0;
  virtual void FullscreenChanged(bool fullscreen) = 0;
  virtual void LoadingStateChanged(bool is_loading, bool can_go_back, bool can_go_forward) = 0;
  // The service page went down with its renderer (false) or is back (true).
  virtual void PageAvailabilityChanged(bool available) = 0;
  // The main frame made a document, named |name| by the page side; any
  // frame can claim one, so it is a hint only.
  virtual void MainDocumentCreated(const std::string& name) = 0;
};

// What the owner of the handler's browsers hears of their life; UI thread
// only.
class BrowserEventDelegate {
 public:
  virtual ~BrowserEventDelegate() = default;
  virtual void BrowserCreated(std::shared_ptr<engine::Browser> browser) = 0;
  virtual void BrowserClosing(std::shared_ptr<engine::Browser> browser) = 0;
  virtual void BrowserClosed(std::shared_ptr<engine::Browser> browser) = 0;
};

// The engine client of one browser: the product's policies over the
// engine's callbacks.
class BrowserEventHandler : public engine::Client, public std::enable_shared_from_this<BrowserEventHandler> {
 public:
  // |page_state| hears of the main browser's page.
  BrowserEventHandler(BrowserEventDelegate* delegate, PageStateObserver* page_state, bool offscreen,
                      std::string start_url);

  // The frame of the owning root window: target of the posted commands.
  void SetMainWindowHandle(std::shared_ptr<platform::WindowHandle> window);
  // Stops all delegate calls; the delegate is going away.
  void ClearDelegate();
  int browser_count() const { return browser_count_; }
  const std::string& start_url() const { return start_url_; }
  // Off-screen: where the browser's frames go.
  void SetRenderHandler(std::shared_ptr<engine::RenderHandler> handler) { render_handler_ = std::move(handler); }

  // engine::Client
  std::shared_ptr<engine::RenderHandler> GetRenderHandler() override { return render_handler_; }

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
  void OnFullscreenModeChange(std::shared_ptr<engine::Browser> browser, bool fullscreen) override;
  bool OnConsoleMessage(std::shared_ptr<engine::Browser> browser, const std::u16string& message,
                        const std::string& source, int line) override;
  bool OnBeforePopup(std::shared_ptr<engine::Browser> browser, std::shared_ptr<engine::Frame> frame,
                     const std::string& target_url, const std::string& target_frame_name,
                     engine::WindowOpenDisposition disposition, bool user_gesture, const std::string& opener_origin,
                     const engine::PopupFeatures& features, engine::WindowInfo& window_info,
                     std::shared_ptr<engine::Client>& client, engine::BrowserSettings& settings) override;
  bool OnOpenURLFromTab(std::shared_ptr<engine::Browser> browser, std::shared_ptr<engine::Frame> frame,
                        const std::string& url, engine::WindowOpenDisposition disposition, bool user_gesture,
                        const std::string& opener_origin) override;
  bool OnPreKeyEvent(std::shared_ptr<engine::Browser> browser, const engine::KeyEvent& event) override;
  bool OnJSDialog(std::shared_ptr<engine::Browser> browser, const std::string& origin_url,
                  engine::JSDialogType type, const std::u16string& message, const std::u16string& default_prompt,
                  std::shared_ptr<engine::JSDialogCallback> callback, bool& suppress_message) override;
  void OnBeforeResourceLoad(std::shared_ptr<engine::Browser> browser, engine::Request& request) override;
  void OnBeforeDownload(std::shared_ptr<engine::Browser> browser, const engine::DownloadItem& item,
                        const std::string& suggested_name,
                        std::shared_ptr<engine::BeforeDownloadCallback> callback) override;
  void OnDownloadUpdated(std::shared_ptr<engine::Browser> browser, const engine::DownloadItem& item,
                         std::shared_ptr<engine::DownloadItemCallback> callback) override;
  bool OnCertificateError(std::shared_ptr<engine::Browser> browser, int cert_error, const std::string& request_url,
                          const engine::SslInfo& ssl_info) override;
  // Proxies, and the service's own pages, get the sign-in dialog.
  bool GetAuthCredentials(std::shared_ptr<engine::Browser> browser, const engine::AuthChallenge& challenge,
                          std::shared_ptr<engine::AuthCallback> callback) override;
  void OnProtocolExecution(std::shared_ptr<engine::Browser> browser, const std::string& url, bool main_frame,
                           bool& allow_os_execution) override;
  void OnRenderProcessTerminated(std::shared_ptr<engine::Browser> browser, engine::TerminationStatus status) override;
  void OnBeforeContextMenu(std::shared_ptr<engine::Browser> browser, engine::ContextMenuModel& model) override;
  bool OnDragEnter(std::shared_ptr<engine::Browser> browser, const engine::DragData& data,
                   uint32_t allowed_operations) override;
  bool OnRequestGeolocationPermission(std::shared_ptr<engine::Browser> browser, const std::string& origin) override;
  bool OnRequestNotificationPermission(std::shared_ptr<engine::Browser> browser, const std::string& origin) override;
  bool OnQuotaRequest(std::shared_ptr<engine::Browser> browser, const std::string& origin, int64_t new_size) override;

  bool OnProcessMessageReceived(std::shared_ptr<engine::Browser> browser, engine::ProcessId source,
                                const engine::ProcessMessage& message) override;

  // A developer-tools window for |browser|.
  void OpenDevToolsWindow(std::shared_ptr<engine::Browser> browser);
  // Shows the failure page for |error_code| (with |other_info|) in |frame|,
  // with |failed_url| as the address.
  void LoadEngineErrorPage(std::shared_ptr<engine::Frame> frame, const std::string& failed_url, int error_code,
                           const std::string& other_info);

 private:
  // A new window: asked for with the user's click or by the service, and
  // fewer than the most windows open (each refusal logged).
  bool MayOpenWindow(bool user_gesture, const std::string& opener_origin) const;
  const bool offscreen_;
  std::shared_ptr<engine::RenderHandler> render_handler_;
  const std::string start_url_;
  BrowserEventDelegate* delegate_;
  PageStateObserver* page_state_;
  bool CreatePopupRootWindow(bool is_devtools, const engine::PopupFeatures& features,
                             engine::WindowInfo& window_info, std::shared_ptr<engine::Client>& client,
                             engine::BrowserSettings& settings);
  void ClearCacheOnRequest(std::shared_ptr<engine::Browser> browser);
  // The service page is lost: the failure page now, the page again after
  // the recovery's wait.
  void RecoverServicePage(std::shared_ptr<engine::Browser> browser);
  // A load of the service page that has made no document by then is
  // recovered as a dead renderer's.
  void WatchForStalledLoad(std::shared_ptr<engine::Browser> browser);

  int browser_count_ = 0;
  uint64_t load_serial_ = 0;  // the main-frame load under way
  bool document_made_ = false;
  std::shared_ptr<platform::WindowHandle> main_window_;
  DownloadHandling downloads_;
  PageRecovery recovery_;
};

// How long a load of the service page may go without making a document.
void SetStalledLoadWaitForTesting(std::chrono::milliseconds wait);

// Shows a page's notification on the desktop; without a notification
// service it goes to the program log, never lost.
void PresentNotification(const engine::Notification& notification);

}  // namespace browser

#endif  // BROWSER_BROWSER_EVENT_HANDLER_H_
