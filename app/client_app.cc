#include "app/client_app.h"

#include "env/paths.h"
#include "renderer/renderer_process_app.h"

namespace app {

ShellApp::ShellApp() : cookie_schemes_{"http", "https"} {}

ProcessKind ShellApp::GetProcessKind(const engine::CommandLine& command_line) {
  if (!command_line.HasSwitch("type")) return ProcessKind::Browser;
  return command_line.GetSwitchValue("type") == "renderer" ? ProcessKind::Renderer : ProcessKind::Other;
}

void BrowserProcessApp::OnBeforeCommandLineProcessing(const std::string& process_type,
                                                      engine::CommandLine& command_line) {
  if (!process_type.empty()) return;
  if (command_line.HasSwitch("off-screen-rendering-enabled")) {
    if (!command_line.HasSwitch("disable-extensions") && !command_line.HasSwitch("disable-pdf-extension"))
      command_line.AppendSwitch("disable-surfaces");
    if (!command_line.HasSwitch("enable-gpu")) {
      command_line.AppendSwitch("disable-gpu");
      command_line.AppendSwitch("disable-gpu-compositing");
    }
    command_line.AppendSwitch("enable-begin-frame-scheduling");
  }
  command_line.AppendSwitch("disable-gpu");
  command_line.AppendSwitch("disable-gpu-compositing");
  command_line.AppendSwitch("enable-npapi");
}

void BrowserProcessApp::OnContextInitialized() {
  auto cookie_manager = engine::CookieManager::GetGlobalManager();
  cookie_manager->SetSupportedSchemes(cookie_schemes_);
  cookie_manager->SetStoragePath(env::GetUserDataDirectory(), true);
}

std::unique_ptr<engine::App> CreateAppForKind(ProcessKind kind) {
  switch (kind) {
    case ProcessKind::Browser: return std::make_unique<BrowserProcessApp>();
    case ProcessKind::Renderer: return std::make_unique<renderer::RendererProcessApp>();
    case ProcessKind::Other: break;
  }
  return std::make_unique<OtherProcessApp>();
}

}  // namespace app
