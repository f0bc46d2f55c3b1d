#ifndef BROWSER_WINDOW_REGISTRY_H_
#define BROWSER_WINDOW_REGISTRY_H_

#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "browser/offscreen_renderer.h"
#include "engine/engine.h"
#include "platform/screen.h"

namespace browser {

class RootWindow;

// The plug-in policy of every request context: only the print control
// plug-in may load.
engine::PluginPolicy PluginPolicyFor(const std::string& mime_type);

class RequestContextHandler : public engine::RequestContextHandler {
 public:
  bool OnBeforePluginLoad(const std::string& mime_type, engine::PluginPolicy& policy) override;
  // The product's headers, also on requests no browser's client sees.
  void OnBeforeResourceLoad(engine::Request& request) override;
};

// Cache path of a per-browser request context: the "cache-path" switch,
// made unique per browser by the time unless the cache is shared.
std::string PerBrowserCachePath(const std::string& cache_path_switch, bool shared_cache, int64_t now_seconds);

// What the command line asks of every window.
struct WindowDefaults {
  std::string url;  // of a window opened without one
  engine::BrowserSettings browser_settings;
  OffscreenSettings offscreen;  // its background colour is every window's
};

// Creates, owns and closes every root window, popups included; ends the
// message loop when the last one is gone. One per browser process,
// reachable through Get() while it lives. UI thread unless noted.
class WindowRegistry {
 public:
  WindowRegistry(WindowDefaults defaults, bool terminate_when_all_windows_closed);
  virtual ~WindowRegistry();
  WindowRegistry(const WindowRegistry&) = delete;
  WindowRegistry& operator=(const WindowRegistry&) = delete;

  static WindowRegistry* Get();

  // An empty |url| opens the default one.
  virtual std::shared_ptr<RootWindow> CreateRootWindow(bool with_controls, bool offscreen,
                                                       const platform::Rect& bounds, const std::string& url);
  // A window for a popup browser the engine is about to create; fills in
  // |window_info|, |client| and |settings| for it.
  virtual std::shared_ptr<RootWindow> CreateRootWindowAsPopup(bool with_controls, bool offscreen,
                                                              const engine::PopupFeatures& features,
                                                              engine::WindowInfo& window_info,
                                                              std::shared_ptr<engine::Client>& client,
                                                              engine::BrowserSettings& settings);
  virtual size_t window_count() const { return root_windows_.size(); }
  std::shared_ptr<engine::RequestContext> RequestContextFor(RootWindow* window);
  // Any thread.
  void CloseAllWindows(bool force);
  void RootWindowDestroyed(RootWindow* window);
  const WindowDefaults& defaults() const { return defaults_; }
  std::vector<std::shared_ptr<RootWindow>> RootWindowsForTesting() const {
    return {root_windows_.begin(), root_windows_.end()};
  }

 private:
  void AddRootWindow(std::shared_ptr<RootWindow> window);

  const WindowDefaults defaults_;
  const bool terminate_when_all_windows_closed_;
  const bool request_context_per_browser_;
  const bool request_context_shared_cache_;
  std::set<std::shared_ptr<RootWindow>> root_windows_;
  std::shared_ptr<engine::RequestContext> shared_request_context_;
};

}  // namespace browser

#endif  // BROWSER_WINDOW_REGISTRY_H_
