#include "app/root_window_registry.h"

#include <ctime>

#include "app/app_context.h"
#include "app/ui_message_loop.h"
#include "browser/request_headers.h"
#include "browser/root_window_win.h"

namespace app {

engine::PluginPolicy PluginPolicyFor(const std::string& mime_type) {
  return mime_type == "application/x-print-lodop" ? engine::PLUGIN_POLICY_ALLOW : engine::PLUGIN_POLICY_DISABLE;
}

bool RequestContextHandler::OnBeforePluginLoad(const std::string& mime_type, engine::PluginPolicy& policy) {
  policy = PluginPolicyFor(mime_type);
  return true;
}

std::string PerBrowserCachePath(const std::string& cache_path_switch, bool shared_cache, int64_t now_seconds) {
  if (cache_path_switch.empty()) return std::string();
  return shared_cache ? cache_path_switch : cache_path_switch + std::to_string(now_seconds);
}

void RequestContextHandler::OnBeforeResourceLoad(engine::Request& request) { browser::AddProductHeaders(request); }

namespace {
bool GlobalSwitch(const char* name) {
  auto command_line = engine::CommandLine::GetGlobal();
  return command_line && command_line->HasSwitch(name);
}
}  // namespace

RootWindowRegistry::RootWindowRegistry(bool terminate_when_all_windows_closed)
    : terminate_when_all_windows_closed_(terminate_when_all_windows_closed),
      request_context_per_browser_(GlobalSwitch("request-context-per-browser")),
      request_context_shared_cache_(GlobalSwitch("request-context-shared-cache")) {}

RootWindowRegistry::~RootWindowRegistry() = default;

std::shared_ptr<browser::RootWindow> RootWindowRegistry::CreateRootWindow(bool with_controls, bool offscreen,
                                                                          const platform::Rect& bounds,
                                                                          const std::string& url) {
  engine::BrowserSettings settings;
  AppContext::Get()->FillBrowserSettings(settings);
  auto window = std::make_shared<browser::RootWindow>();
  window->Open(this, with_controls, offscreen, bounds, settings, url.empty() ? AppContext::Get()->MainUrl() : url);
  AddRootWindow(window);
  return window;
}

std::shared_ptr<browser::RootWindow> RootWindowRegistry::CreateRootWindowAsPopup(
    bool with_controls, bool offscreen, const engine::PopupFeatures& features, engine::WindowInfo& window_info,
    std::shared_ptr<engine::Client>& client, engine::BrowserSettings& settings) {
  AppContext::Get()->FillBrowserSettings(settings);
  auto window = std::make_shared<browser::RootWindow>();
  window->OpenAsPopup(this, with_controls, offscreen, features, window_info, client, settings);
  AddRootWindow(window);
  return window;
}

void RootWindowRegistry::AddRootWindow(std::shared_ptr<browser::RootWindow> window) {
  if (!engine::CurrentlyOnUiThread()) {
    UiMessageLoop::Get()->PostTask([this, window] { AddRootWindow(window); });
    return;
  }
  root_windows_.insert(std::move(window));
}

std::shared_ptr<engine::RequestContext> RootWindowRegistry::RequestContextFor(browser::RootWindow*) {
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

engine::Color RootWindowRegistry::BackgroundColor() const { return AppContext::Get()->BackgroundColor(); }

void RootWindowRegistry::FillOffscreenSettings(browser::OffscreenSettings& settings) const {
  AppContext::Get()->FillOffscreenSettings(settings);
}

void RootWindowRegistry::CloseAllWindows(bool force) {
  if (!engine::CurrentlyOnUiThread()) {
    UiMessageLoop::Get()->PostTask([this, force] { CloseAllWindows(force); });
    return;
  }
  for (const auto& window : std::set<std::shared_ptr<browser::RootWindow>>(root_windows_)) window->Close(force);
}

void RootWindowRegistry::RootWindowDestroyed(browser::RootWindow* window) {
  for (auto it = root_windows_.begin(); it != root_windows_.end(); ++it) {
    if (it->get() != window) continue;
    // The window is still inside one of its own calls: let it go later.
    std::shared_ptr<browser::RootWindow> keep = *it;
    root_windows_.erase(it);
    UiMessageLoop::Get()->PostTask([keep] {});
    break;
  }
  if (terminate_when_all_windows_closed_ && root_windows_.empty()) UiMessageLoop::Get()->Quit();
}

}  // namespace app
