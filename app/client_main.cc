#include "app/client_main.h"

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

#include "app/app_context.h"
#include "app/client_app.h"
#include "app/desk_policy.h"
#include "app/main_window_wiring.h"
#include "browser/window_registry.h"
#include "app/support_bundle.h"
#include "app/termination_close.h"
#include "app/ui_message_loop.h"
#include "app/usage.h"
#include "browser/browser_event_handler.h"
#include "browser/root_window_win.h"
#include "build_config.h"
#include "channel/channel_selector.h"
#include "channel/proxy_rule.h"
#include "channel/proxy_script_fetch.h"
#include "env/log_reader.h"
#include "env/logs.h"
#include "env/paths.h"
#include "env/product.h"
#include "env/startup_timeline.h"
#include "env/system_integration.h"
#include "platform/desktop_proxy.h"
#include "platform/display_server.h"
#include "platform/engine_trust_store.h"
#include "platform/ini_profile.h"
#include "platform/instance_lock.h"
#include "platform/message_box.h"
#include "platform/process.h"
#include "platform/program_icon.h"
#include "platform/termination_signals.h"
#include "platform/ui_stall_watchdog.h"
#include "platform/window_directory.h"
#include "renderer/renderer_process_app.h"
#include "telephony/landline_capture.h"
#include "telephony/mobile_call_listener.h"
#include "telephony/sip_dialog_watch.h"

namespace app {

namespace {
constexpr int kLogRetentionDays = 15;
constexpr auto kFinalPause = std::chrono::milliseconds(200);
// How long a second start waits for the first one's window to appear.
constexpr auto kRunningInstanceWait = std::chrono::seconds(20);
constexpr auto kInstanceRetry = std::chrono::milliseconds(50);
}  // namespace

platform::Rect InitialBoundsFromWorkArea(const platform::Rect& work_area) {
  const double w = work_area.width;
  const double h = work_area.height;
  return platform::Rect{static_cast<int>(0.05 * w), static_cast<int>(0.05 * h), static_cast<int>(0.9 * w),
                        static_cast<int>(0.9 * h)};
}

void ConsumeClearCacheFlag() {
  const std::string config = env::GetConfigFilePath();
  if (platform::GetPrivateProfileInt("Cache", "clearCache", 0, config) != 1) return;
  platform::WritePrivateProfileString("Cache", "clearCache", "0", config);
  env::ClearUserDataDirectory();
}

void RegisterFirewallRuleOnce() {
  const std::string flags = env::GetFlagsFilePath();
  if (platform::GetPrivateProfileInt("addFirewall", "isAdd", 0, flags) != 0) return;
  env::AddFirewallRule();
  platform::WritePrivateProfileString("addFirewall", "isAdd", "1", flags);
}

// Another start holds the instance lock: bring its window to the front,
// waiting a while for it when that start is still on its way. A start on
// its way out leaves the lock behind soon: then this start takes it and
// goes on to open its own window.
std::unique_ptr<platform::InstanceLock> TakeOverOrShowRunningInstance() {
  const auto deadline = std::chrono::steady_clock::now() + kRunningInstanceWait;
  do {
    if (auto running = env::FindMainWindow()) {
      running->Show(platform::ShowCommand::kMaximized);
      running->SetForeground();
      return nullptr;
    }
    std::this_thread::sleep_for(kInstanceRetry);
    if (auto instance = platform::InstanceLock::TryAcquire(env::MainWindowClassName(), env::MainWindowTitle()))
      return instance;
  } while (std::chrono::steady_clock::now() < deadline);
  return nullptr;
}

namespace {

// A password given in a proxy switch leaves the process's own command
// line, which every local user can read, once the switches are copied.
void HidePasswordsInArguments(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    std::string argument = argv[i];
    const size_t name_start = argument.find_first_not_of('-');
    if (name_start == 0 || name_start == std::string::npos ||
        argument.compare(name_start, 13, "proxy-server=") != 0)
      continue;
    const std::string shown = channel::ProxyListForLog(argument.substr(name_start + 13));
    std::string hidden = argument.substr(0, name_start + 13) + shown;
    hidden.resize(argument.size(), '\0');
    std::copy(hidden.begin(), hidden.end(), argv[i]);
  }
}

// What the administrator set wins; support reads where each setting came
// from in the program log.
void ApplyPolicyAndLogSettings(engine::CommandLine& command_line) {
  std::vector<std::string> lines;
  bool in_force = false;
  const std::vector<Setting> settings = ApplyPolicyFile(VELTRO_POLICY_FILE, command_line, lines, in_force);
  for (const std::string& line : lines) env::WriteProgramLog(line);
  for (const Setting& setting : settings)
    env::WriteProgramLog("setting " + setting.name + ": " + env::AddressForLog(setting.value) + " (from " +
                         setting.origin + ")");
  const char* user_flags = std::getenv("QTWEBENGINE_CHROMIUM_FLAGS");
  if (!in_force || !user_flags || !*user_flags) return;
  // Under a policy the user's engine switches pass only from a short list.
  std::vector<std::string> dropped;
  const std::string allowed = AllowedUserEngineFlags(user_flags, dropped);
  for (const std::string& name : dropped)
    env::WriteProgramLog("engine switch " + env::PrintableForLog(name) + " of QTWEBENGINE_CHROMIUM_FLAGS dropped: a policy is in force");
  if (allowed.empty()) unsetenv("QTWEBENGINE_CHROMIUM_FLAGS");
  else setenv("QTWEBENGINE_CHROMIUM_FLAGS", allowed.c_str(), 1);
}

// Callers' numbers from a SIP phone system, when the switches (or the
// policy over them) name one.
void ConfigureSipFromSwitches(const engine::CommandLine& command_line) {
  if (!command_line.HasSwitch("sip-server")) return;
  std::string problem;
  const auto account = telephony::MakeSipAccount(command_line.GetSwitchValue("sip-server"),
                                                 command_line.GetSwitchValue("sip-extension"),
                                                 command_line.GetSwitchValue("sip-user"), problem);
  if (!account) {
    env::WriteProgramLog("SIP caller ID not set up: " + problem);
    return;
  }
  telephony::ConfigureSipCapture(*account);
}

// --version and --help answer on the terminal and start nothing.
void PrintUsage(bool help) {
  std::printf("%s %s\n", env::PRODUCT_NAME, env::PRODUCT_VERSION);
  if (!help) {
    std::printf("%s\n", engine::EngineVersion().c_str());
    return;
  }
  std::fputs(HelpText().c_str(), stdout);
}

}  // namespace

int RunMain(int argc, char** argv) {
  engine::MainArgs main_args{argc, argv};
  auto command_line = engine::CommandLine::CreateFromArgv(argc, argv);
  engine::CommandLine::SetGlobal(command_line);
  HidePasswordsInArguments(argc, argv);
  const ProcessKind kind = ShellApp::GetProcessKind(*command_line);
  if (kind == ProcessKind::Browser && (command_line->HasSwitch("version") || command_line->HasSwitch("help"))) {
    PrintUsage(command_line->HasSwitch("help"));
    return 0;
  }

  if (kind == ProcessKind::Browser && command_line->HasSwitch("print-logs")) {
    env::LogReaderOptions options;
    std::string problem;
    if (!env::ParseLogReaderOptions(std::vector<std::string>(argv + 1, argv + argc), options, problem)) {
      std::fprintf(stderr, "veltrocrm: %s\n", problem.c_str());
      return 2;
    }
    return env::PrintLogs(options, stdout);
  }

  if (kind == ProcessKind::Browser && command_line->HasSwitch("support-bundle")) {
    const std::string given = command_line->GetSwitchValue("support-bundle");
    const std::string path = given.empty() ? DefaultSupportBundlePath() : given;
    std::string problem;
    const int result = WriteSupportBundle(path, *command_line, kLogRetentionDays, problem);
    if (result == 0) std::printf("%s\n", path.c_str());
    else std::fprintf(stderr, "veltrocrm: %s\n", problem.c_str());
    return result;
  }

  platform::DisplayChoice display;
  if (kind == ProcessKind::Browser) {
    display = platform::ApplyDisplayChoice();
    if (!display.usable) {
      std::fprintf(stderr, "veltrocrm: %s\n", display.note.c_str());
      env::WriteProgramLog(display.note);
      return 1;
    }
  }

  if (kind == ProcessKind::Browser) {
    ApplyPolicyAndLogSettings(*command_line);
    ConfigureSipFromSwitches(*command_line);
  }

  // Held until this process ends: the one browser process of this user.
  std::unique_ptr<platform::InstanceLock> instance;
  if (kind == ProcessKind::Browser) {
    env::StartupMark("main");
    if (command_line->HasSwitch("start-url")) env::SetStartUrlOverride(command_line->GetSwitchValue("start-url"));
    instance = platform::InstanceLock::TryAcquire(env::MainWindowClassName(), env::MainWindowTitle());
    if (!instance) instance = TakeOverOrShowRunningInstance();
    if (!instance) return 0;
  }

  std::unique_ptr<engine::App> application = CreateAppForKind(kind);
  const int sub_process_result = engine::ExecuteProcess(main_args, application.get());
  if (sub_process_result >= 0) return sub_process_result;
  // A "type" switch the engine refuses (an empty one) makes no second
  // browser process past the single-instance rule.
  if (kind != ProcessKind::Browser) {
    env::WriteProgramLog("process type refused");
    return 1;
  }

  ConsumeClearCacheFlag();

  env::StartupMark("single instance settled");
  auto context = std::make_unique<AppContext>(command_line, true);
  engine::Settings settings;
  // The engine refuses its sandbox to root; elsewhere it stays on unless
  // the kernel gives this user no namespaces to build it from.
  settings.no_sandbox = geteuid() == 0;
  if (!settings.no_sandbox && !platform::UserNamespacesWork()) {
    env::WriteProgramLog("engine sandbox off: the kernel refuses user namespaces");
    settings.no_sandbox = true;
  }
  std::vector<std::string> certificate_files = platform::SystemAddedCertificateFiles();
  for (const std::string& file : PolicyCertificateFiles()) certificate_files.push_back(file);
  platform::SyncEngineTrustStore(certificate_files, platform::EngineTrustDatabase(),
                                 [](const std::string& line) { env::WriteProgramLog(line); });
  // One proxy rule for the engine and the channel list, decided before the
  // engine's threads read the environment.
  channel::ProxyRule proxy_rule = channel::ChooseProxyRule(*command_line, platform::ReadDesktopProxy());
  channel::MoveProxyCredentialsToSignIn(proxy_rule);
  channel::WriteProxySwitches(proxy_rule, *command_line);
  channel::SetProxyRule(proxy_rule);
  env::WriteProgramLog(channel::DescribeProxyRule(proxy_rule));
  context->FillSettings(settings);
  if (proxy_rule.mode == channel::ProxyRule::Mode::kScript) {
    settings.late_switches = [&proxy_rule] {
      return std::vector<std::string>{"--proxy-pac-url=" +
                                      channel::ProxyScriptForEngine(proxy_rule.script_url, env::StartUrl())};
    };
  }
  auto message_loop = std::make_unique<UiMessageLoop>();

  int exit_code = 1;
  env::StartupMark("engine settings ready");
  const bool initialised = context->Initialise(main_args, settings, application.get());
  env::StartupMark("engine initialised");
  platform::ForgetDisplayChoice(display);
  env::WriteProgramLog(engine::EngineVersion());
  if (!display.note.empty()) env::WriteProgramLog(display.note);
  if (initialised) {
    // Not before: the engine's set-up changes the process environment, and
    // the selection's libraries (libcurl, the resolver) read it on
    // their thread; a read during a change crashed the client at start.
    channel::StartNetwork(command_line->HasSwitch("channel-service") ? command_line->GetSwitchValue("channel-service")
                                                                      : VELTRO_CHANNEL_SERVICE_HOST);
    // The page side runs in this process: its extensions go into every page.
    engine::SetRenderProcessHandler(std::make_shared<renderer::RendererProcessApp>());
    platform::SetProgramIcon();
    engine::SetNotificationPresenter(browser::PresentNotification);
    WireMainWindowMessages();
    // The main window renders off screen only when asked to.
    context->Registry()->CreateRootWindow(false, settings.windowless_rendering_enabled,
                                          InitialBoundsFromWorkArea(platform::WorkArea()), env::StartUrl());
    env::StartupMark("main window requested");
    RegisterFirewallRuleOnce();
    env::StartupMark("firewall rule settled");
    TerminationClose termination(context->Registry());
    platform::HandleTerminationSignals([&termination](int count) { termination.OnSignal(count); });
    // Support staff read the UI thread's stalls in the program log.
    platform::UiStallWatchdog watchdog([](const std::string& line) { env::WriteProgramLog(line); });
    exit_code = message_loop->Run();
    watchdog.Stop();
    // From here the exit is bounded: boxes of other threads are not shown,
    // and a signal ends the process.
    platform::SetMessageBoxesClosed(true);
    platform::StopHandlingTerminationSignals();
    channel::StopChannelSelection();
    telephony::ShutdownMobileCapture();
    telephony::ShutdownLandlineCapture();
    telephony::ShutdownSipCapture();
    context->Shutdown();
  } else {
    env::WriteProgramLog("浏览器引擎初始化失败");
  }

  message_loop.reset();
  context.reset();
  env::RemoveOldLogs(kLogRetentionDays);
  std::this_thread::sleep_for(kFinalPause);
  // What the process does at exit: the pinned hosts lines go.
  channel::StopNetwork();
  return exit_code;
}

}  // namespace app
