#ifndef BROWSER_WINDOW_REGISTRY_H_
#define BROWSER_WINDOW_REGISTRY_H_

#include <memory>
#include <string>

#include "engine/engine.h"
#include "platform/screen.h"

namespace browser {

class RootWindow;
struct OffscreenSettings;

// The owner of every root window, as the windows and their handlers see
// it. The application provides it; reachable through Get() while it lives.
class WindowRegistry {
 public:
  static WindowRegistry* Get();

  virtual std::shared_ptr<RootWindow> CreateRootWindow(bool with_controls, bool offscreen,
                                                       const platform::Rect& bounds, const std::string& url) = 0;
  // A window for a popup browser the engine is about to create; fills in
  // |window_info|, |client| and |settings| for it. UI thread.
  virtual std::shared_ptr<RootWindow> CreateRootWindowAsPopup(bool with_controls, bool offscreen,
                                                              const engine::PopupFeatures& features,
                                                              engine::WindowInfo& window_info,
                                                              std::shared_ptr<engine::Client>& client,
                                                              engine::BrowserSettings& settings) = 0;
  virtual std::shared_ptr<engine::RequestContext> RequestContextFor(RootWindow* window) = 0;
  // Any thread.
  virtual void CloseAllWindows(bool force) = 0;
  // UI thread.
  virtual size_t window_count() const = 0;
  virtual void RootWindowDestroyed(RootWindow* window) = 0;
  // What the command line asks of every window's looks.
  virtual engine::Color BackgroundColor() const = 0;
  virtual void FillOffscreenSettings(OffscreenSettings& settings) const = 0;

 protected:
  WindowRegistry();
  virtual ~WindowRegistry();
};

}  // namespace browser

#endif  // BROWSER_WINDOW_REGISTRY_H_
