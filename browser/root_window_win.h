#ifndef BROWSER_ROOT_WINDOW_WIN_H_
#define BROWSER_ROOT_WINDOW_WIN_H_

#include <QPointer>
#include <memory>
#include <string>
#include <vector>

#include "browser/browser_host.h"
#include "browser/find_dialog.h"
#include "browser/loading_dialog.h"
#include "browser/main_window_calls.h"
#include "browser/popup_geometry.h"
#include "browser/window_controls.h"
#include "browser/window_registry.h"
#include "engine/engine.h"
#include "platform/screen.h"
#include "platform/top_level_window.h"

class QLineEdit;
class QMenuBar;
class QPushButton;

namespace browser {

class RootFrame;

// A top-level frame hosting one browser. Held by the root window registry;
// the main window is also the application's message hub: what it does not
// handle itself goes to the handlers the subsystems registered.
class RootWindow : public BrowserHostDelegate, public std::enable_shared_from_this<RootWindow> {
 public:
  RootWindow();
  ~RootWindow() override;

  // Creates the browser host for |url| and the frame (on the UI thread).
  void Open(WindowRegistry* registry, bool with_controls, bool offscreen, const platform::Rect& bounds,
            const engine::BrowserSettings& settings, const std::string& url);
  // For a popup the engine is creating, on the UI thread: the frame is made
  // now and shown in BrowserCreated.
  void OpenAsPopup(WindowRegistry* registry, bool with_controls, bool offscreen,
                   const engine::PopupFeatures& features, engine::WindowInfo& window_info,
                   std::shared_ptr<engine::Client>& client, engine::BrowserSettings& settings);
  void Show(platform::ShowCommand command);
  void Hide();
  void SetBounds(int x, int y, int width, int height);
  // Forced: the frame goes at once. Otherwise the page may run its unload
  // handlers first.
  void Close(bool force);
  std::shared_ptr<engine::Browser> GetBrowser() const;
  platform::TopLevelWindow* GetHandle() const;
  LoadingDialog* loading_dialog() const { return loading_dialog_.data(); }
  bool is_popup() const { return is_popup_; }
  // The calls for the service's page: the main window's, null in every
  // other window.
  telephony::PageCalls* calls() { return main_calls_ ? &main_calls_->calls() : nullptr; }

  // The frame's window procedure for posted and sent messages.
  intptr_t HandleMessage(const platform::WindowMessage& message);

  // BrowserHostDelegate
  void BrowserCreated(std::shared_ptr<engine::Browser> browser) override;
  void BrowserHostDestroyed() override;
  void AddressChanged(const std::string& url) override;
  void FullscreenChanged(bool fullscreen) override;
  void LoadingStateChanged(bool is_loading, bool can_go_back, bool can_go_forward) override;
  // Calls that come while the page is down wait for it (the ring's eight).
  void PageAvailabilityChanged(bool available) override;
  void MainDocumentCreated(const std::string& name) override;

  // Frame events.
  bool OnClose();
  void OnMove();
  void OnSize();
  void OnFirstExposed();
  void OnSetFocus();
  void OnNcDestroy();

 private:
  void CreateRootWindow(const engine::BrowserSettings& settings);
  // The frame with its controls, not shown yet.
  void CreateFrame();
  // Windowed, or off screen when this window renders off screen.
  std::unique_ptr<BrowserHost> CreateBrowserHost(const std::string& url);
  std::string FrameTitle() const;
  void CreateControls();
  bool OnCommand(uint32_t id, intptr_t lparam);
  void OpenFindDialog();
  platform::Rect ClientRect() const;

  WindowRegistry* registry_ = nullptr;
  bool with_controls_ = false;
  bool offscreen_ = false;
  bool is_popup_ = false;
  uint32_t window_style_ = WS_OVERLAPPEDWINDOW_CLIPCHILDREN;
  platform::Rect start_rect_;
  std::unique_ptr<BrowserHost> browser_host_;
  QPointer<RootFrame> frame_;
  bool view_waits_for_frame_ = false;  // the main window's windowed view, until the frame is on screen
  bool restore_after_fullscreen_ = false;
  bool window_destroyed_ = false;
  bool browser_destroyed_ = false;
  QPointer<LoadingDialog> loading_dialog_;
  QPointer<QMenuBar> menu_bar_;
  QPointer<QPushButton> back_button_, forward_button_, reload_button_, stop_button_;
  QPointer<QLineEdit> edit_;
  QPointer<FindDialog> find_dialog_;
  FindState find_state_;
  std::unique_ptr<MainWindowCalls> main_calls_;
};

}  // namespace browser

#endif  // BROWSER_ROOT_WINDOW_WIN_H_
