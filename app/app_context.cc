#include "app/app_context.h"

#include <cstdlib>

#include "app/desk_policy.h"
#include "env/paths.h"
#include "env/product.h"
#include "platform/ini_profile.h"
#include "platform/system_language.h"

namespace app {

namespace {
AppContext* g_context = nullptr;

bool IsChineseLanguage(uint16_t id) { return id == 0x0804 || id == 0x0404 || id == 0x0C04 || id == 0x1004; }
}  // namespace

AppContext::AppContext(std::shared_ptr<engine::CommandLine> command_line, bool terminate_when_all_windows_closed)
    : command_line_(std::move(command_line)),
      terminate_when_all_windows_closed_(terminate_when_all_windows_closed),
      main_url_(env::StartUrl()) {
  if (command_line_->HasSwitch("background-color"))
    engine::ParseCSSColor(command_line_->GetSwitchValue("background-color"), false, background_color_);
  g_context = this;
}

AppContext::~AppContext() { g_context = nullptr; }

AppContext* AppContext::Get() { return g_context; }

int AppContext::DebuggingPort() const {
  // The port answers every local user, who could drive the session through
  // it: open only when support staff ask for it.
  if (DebuggingLockedByPolicy()) return 0;
  const auto valid = [](int port) { return port > 0 && port <= 65535 ? port : 0; };
  if (command_line_->HasSwitch("remote-debugging-port"))
    return valid(std::atoi(command_line_->GetSwitchValue("remote-debugging-port").c_str()));
  return valid(platform::GetPrivateProfileInt("Debug", "port", 0, env::GetConfigFilePath()));
}

void AppContext::FillSettings(engine::Settings& settings) const {
  FillSettingsForLanguage(settings, platform::SystemDefaultLangId());
}

void AppContext::FillSettingsForLanguage(engine::Settings& settings, uint16_t system_lang_id) const {
  // Qt's loop is the UI thread's in every mode, so the engine never runs a
  // UI thread of its own.
  settings.multi_threaded_message_loop = false;
  settings.locale = "zh-CN";
  if (IsChineseLanguage(system_lang_id)) settings.accept_language_list = "zh-CN,zh";
  const std::string log_folder = env::GetLogDirectory();
  if (!log_folder.empty()) settings.log_file = log_folder + "errorLog.txt";
  settings.log_severity = engine::LOGSEVERITY_ERROR;
  settings.remote_debugging_port = DebuggingPort();
  settings.remote_debugging_shut = DebuggingLockedByPolicy();
  settings.uncaught_exception_stack_size = 1024;
  settings.windowless_rendering_enabled = command_line_->HasSwitch("off-screen-rendering-enabled");
  settings.background_color = background_color_;
}

browser::WindowDefaults AppContext::WindowDefaults() const {
  browser::WindowDefaults defaults;
  defaults.url = main_url_;
  if (command_line_->HasSwitch("off-screen-frame-rate"))
    defaults.browser_settings.windowless_frame_rate =
        std::atoi(command_line_->GetSwitchValue("off-screen-frame-rate").c_str());
  defaults.offscreen.transparent_painting = command_line_->HasSwitch("transparent-painting-enabled");
  defaults.offscreen.show_update_rect = command_line_->HasSwitch("show-update-rect");
  defaults.offscreen.background_color = background_color_;
  return defaults;
}

bool AppContext::Initialise(const engine::MainArgs& args, const engine::Settings& settings,
                            engine::App* application) {
  if (!engine::Initialize(args, settings, application)) return false;
  registry_ = std::make_unique<browser::WindowRegistry>(WindowDefaults(), terminate_when_all_windows_closed_);
  initialized_ = true;
  return true;
}

void AppContext::Shutdown() {
  registry_.reset();
  engine::Shutdown();
  shutdown_ = true;
}

}  // namespace app
