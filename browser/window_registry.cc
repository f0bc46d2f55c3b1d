#include "browser/window_registry.h"

#include <ctime>

#include "browser/request_headers.h"
#include "browser/root_window_win.h"

namespace browser {

namespace {

WindowRegistry* g_registry = nullptr;

bool GlobalSwitch(const char* name) {
  auto command_line = engine::CommandLine::GetGlobal();
  return command_line && command_line->HasSwitch(name);
}

}  // namespace

engine::PluginPolicy PluginPolicyFor(const std::string& mime_type) {
  return mime_type == "application/x-print-lodop" ? engine::PLUGIN_POLICY_ALLOW : engine::PLUGIN_POLICY_DISABLE;
}

bool RequestContextHandler::OnBeforePluginLoad(const std::string& mime_type, engine::PluginPolicy& policy) {
  policy = PluginPolicyFor(mime_type);
  return true;
}

void RequestContextHandler::OnBeforeResourceLoad(engine::Request& request) { AddProductHeaders(request); }

std::string PerBrowserCachePath(const std::string& cache_path_switch, bool shared_cache, int64_t now_seconds) {
  if (cache_path_switch.empty()) return std::string();
  return shared_cache ? cache_path_switch : cache_path_switch + std::to_string(now_seconds);
}

WindowRegistry* WindowRegistry::Get() { return g_registry; }

WindowRegistry::WindowRegistry(WindowDefaults defaults, bool terminate_when_all_windows_closed)
    : defaults_(std::move(defaults)),
      terminate_when_all_windows_closed_(terminate_when_all_windows_closed),
      request_context_per_browser_(GlobalSwitch("request-context-per-browser")),
      request_context_shared_cache_(GlobalSwitch("request-context-shared-cache")) {
  g_registry = this;
}

WindowRegistry::~WindowRegistry() {
  if (g_registry == this) g_registry = nullptr;
}

std::shared_ptr<RootWindow> WindowRegistry::CreateRootWindow(bool with_controls, bool offscreen,
                                                             const platform::Rect& bounds, const std::string& url) {
  auto window = std::make_shared<RootWindow>();
  window->Open(this, with_controls, offscreen, bounds, defaults_.browser_settings, url.empty() ? defaults_.url : url);
  AddRootWindow(window);
  return window;
}

std::shared_ptr<RootWindow> WindowRegistry::CreateRootWindowAsPopup(bool with_controls, bool offscreen,
                                                                    const engine::PopupFeatures& features,
                                                                    engine::WindowInfo& window_info,
                                                                    std::shared_ptr<engine::Client>& client,
                                                                    engine::BrowserSettings& settings) {
  settings = defaults_.browser_settings;
  auto window = std::make_shared<RootWindow>();
  window->OpenAsPopup(this, with_controls, offscreen, features, window_info, client, settings);
  AddRootWindow(window);
  return window;
}

void WindowRegistry::AddRootWindow(std::shared_ptr<RootWindow> window) {
  if (!engine::CurrentlyOnUiThread()) {
    engine::PostTask([this, window] { AddRootWindow(window); });
    return;
  }
  root_windows_.insert(std::move(window));
}

std::shared_ptr<engine::RequestContext> WindowRegistry::RequestContextFor(RootWindow*) {
  if (request_context_per_browser_) {
    auto command_line = engine::CommandLine::GetGlobal();
    engine::RequestContextSettings settings;
    if (command_line && command_line->HasSwitch("cache-path"))
      settings.cache_path = PerBrowserCachePath(command_line->GetSwitchValue("cache-path"),
                                                request_context_shared_cache_, static_cast<int64_t>(time(nullptr)));
    return engine::RequestContext::CreateContext(settings, std::make_shared<RequestContextHandler>());
  }
  if (!shared_request_context_)
    shared_request_context_ = engine::RequestContext::CreateSharedWithGlobal(std::make_shared<RequestContextHandler>());
  return shared_request_context_;
}

void WindowRegistry::CloseAllWindows(bool force) {
  if (!engine::CurrentlyOnUiThread()) {
    engine::PostTask([this, force] { CloseAllWindows(force); });
    return;
  }
  for (const auto& window : std::set<std::shared_ptr<RootWindow>>(root_windows_)) window->Close(force);
}

void WindowRegistry::RootWindowDestroyed(RootWindow* window) {
  for (auto it = root_windows_.begin(); it != root_windows_.end(); ++it) {
    if (it->get() != window) continue;
    // The window is still inside one of its own calls: let it go later.
    std::shared_ptr<RootWindow> keep = *it;
    root_windows_.erase(it);
    engine::PostTask([keep] {});
    break;
  }
  if (terminate_when_all_windows_closed_ && root_windows_.empty()) engine::QuitMessageLoop();
}

}  // namespace browser
