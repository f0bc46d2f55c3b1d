#ifndef BROWSER_BROWSER_HOST_H_
#define BROWSER_BROWSER_HOST_H_

#include <QPointer>
#include <memory>
#include <string>

#include "browser/browser_event_handler.h"
#include "browser/offscreen_renderer.h"
#include "browser/osr_window_win.h"
#include "engine/engine.h"
#include "platform/screen.h"

class QWidget;

namespace browser {

// What a root window hears from its browser host, and straight from the
// host's event handler of its page (the window title is the product's own
// and never follows the page's); UI thread only.
class BrowserHostDelegate : public PageStateObserver {
 public:
  virtual void BrowserCreated(std::shared_ptr<engine::Browser> browser) = 0;
  virtual void BrowserHostDestroyed() = 0;
};

// Creates one browser, owns its event handler and places the browser in
// the root window's frame.
class BrowserHost : public BrowserEventDelegate {
 public:
  BrowserHost(BrowserHostDelegate* delegate, bool offscreen, const std::string& start_url);
  ~BrowserHost() override;

  // BrowserEventDelegate
  void BrowserCreated(std::shared_ptr<engine::Browser> browser) override;
  void BrowserClosing(std::shared_ptr<engine::Browser> browser) override;
  void BrowserClosed(std::shared_ptr<engine::Browser> browser) override;

  virtual void CreateBrowser(QWidget* parent, const platform::Rect& rect, const engine::BrowserSettings& settings,
                             std::shared_ptr<engine::RequestContext> request_context) = 0;
  // Describes the popup browser the engine is about to create: inside
  // |parent| at |rect|, with this host's handler as client.
  virtual void GetPopupConfig(QWidget* parent, const platform::Rect& rect, engine::WindowInfo& window_info,
                              std::shared_ptr<engine::Client>& client, engine::BrowserSettings& settings) = 0;
  virtual void ShowPopup(int x, int y, int width, int height) = 0;
  virtual void Show() = 0;
  virtual void Hide() = 0;
  virtual void SetBounds(int x, int y, int width, int height) = 0;
  // The window moved on the screen.
  virtual void Moved() {}
  virtual void SetFocus(bool focus) = 0;
  virtual QWidget* GetWindowHandle() const = 0;

  std::shared_ptr<engine::Browser> GetBrowser() const { return browser_; }
  bool IsClosing() const { return closing_; }
  void SetMainWindowHandle(std::shared_ptr<platform::WindowHandle> window);

 protected:
  BrowserHostDelegate* delegate_;
  std::shared_ptr<BrowserEventHandler> handler_;
  std::shared_ptr<engine::Browser> browser_;
  bool closing_ = false;
};

// The engine renders into its own child window of the frame.
class WindowedBrowserHost : public BrowserHost {
 public:
  WindowedBrowserHost(BrowserHostDelegate* delegate, const std::string& start_url);

  void CreateBrowser(QWidget* parent, const platform::Rect& rect, const engine::BrowserSettings& settings,
                     std::shared_ptr<engine::RequestContext> request_context) override;
  void GetPopupConfig(QWidget* parent, const platform::Rect& rect, engine::WindowInfo& window_info,
                      std::shared_ptr<engine::Client>& client, engine::BrowserSettings& settings) override;
  void ShowPopup(int x, int y, int width, int height) override;
  void Show() override;
  void Hide() override;
  void SetBounds(int x, int y, int width, int height) override;
  void SetFocus(bool focus) override;
  QWidget* GetWindowHandle() const override;

 private:
  std::string start_url_;
};

// The engine renders off screen; an OffscreenWindow of this host shows the
// frames and passes the input on.
class OffscreenBrowserHost : public BrowserHost {
 public:
  OffscreenBrowserHost(BrowserHostDelegate* delegate, const std::string& start_url,
                       const OffscreenSettings& settings);
  ~OffscreenBrowserHost() override;

  void BrowserCreated(std::shared_ptr<engine::Browser> browser) override;
  void BrowserClosing(std::shared_ptr<engine::Browser> browser) override;
  void BrowserClosed(std::shared_ptr<engine::Browser> browser) override;
  void CreateBrowser(QWidget* parent, const platform::Rect& rect, const engine::BrowserSettings& settings,
                     std::shared_ptr<engine::RequestContext> request_context) override;
  void GetPopupConfig(QWidget* parent, const platform::Rect& rect, engine::WindowInfo& window_info,
                      std::shared_ptr<engine::Client>& client, engine::BrowserSettings& settings) override;
  void ShowPopup(int x, int y, int width, int height) override;
  void Show() override;
  void Hide() override;
  void SetBounds(int x, int y, int width, int height) override;
  void Moved() override;
  void SetFocus(bool focus) override;
  QWidget* GetWindowHandle() const override;
  // Kept between 1 and 4.
  void SetDeviceScaleFactor(float scale);
  float GetDeviceScaleFactor() const { return device_scale_factor_; }

 private:
  std::string start_url_;
  const OffscreenSettings settings_;
  QPointer<OffscreenWindow> window_;
  float device_scale_factor_ = 1.0f;
};

}  // namespace browser

#endif  // BROWSER_BROWSER_HOST_H_
