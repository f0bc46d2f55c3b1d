#ifndef APP_ROOT_WINDOW_REGISTRY_H_
#define APP_ROOT_WINDOW_REGISTRY_H_

#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "browser/window_registry.h"
#include "engine/engine.h"
#include "platform/screen.h"

namespace app {

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

// Creates and tracks every root window; ends the message loop when the
// last one is gone. Owned by the AppContext; UI thread unless noted.
class RootWindowRegistry : public browser::WindowRegistry {
 public:
  explicit RootWindowRegistry(bool terminate_when_all_windows_closed);
  ~RootWindowRegistry() override;

  std::shared_ptr<browser::RootWindow> CreateRootWindow(bool with_controls, bool offscreen,
                                                        const platform::Rect& bounds,
                                                        const std::string& url) override;
  std::shared_ptr<browser::RootWindow> CreateRootWindowAsPopup(bool with_controls, bool offscreen,
                                                               const engine::PopupFeatures& features,
                                                               engine::WindowInfo& window_info,
                                                               std::shared_ptr<engine::Client>& client,
                                                               engine::BrowserSettings& settings) override;
  std::shared_ptr<engine::RequestContext> RequestContextFor(browser::RootWindow* window) override;
  void CloseAllWindows(bool force) override;
  void RootWindowDestroyed(browser::RootWindow* window) override;
  engine::Color BackgroundColor() const override;
  void FillOffscreenSettings(browser::OffscreenSettings& settings) const override;
  size_t window_count() const override { return root_windows_.size(); }
  std::vector<std::shared_ptr<browser::RootWindow>> RootWindowsForTesting() const {
    return {root_windows_.begin(), root_windows_.end()};
  }

 private:
  void AddRootWindow(std::shared_ptr<browser::RootWindow> window);

  const bool terminate_when_all_windows_closed_;
  const bool request_context_per_browser_;
  const bool request_context_shared_cache_;
  std::set<std::shared_ptr<browser::RootWindow>> root_windows_;
  std::shared_ptr<engine::RequestContext> shared_request_context_;
};

}  // namespace app

#endif  // APP_ROOT_WINDOW_REGISTRY_H_
