#include <gtest/gtest.h>

#include "app/app_context.h"
#include "app/client_app.h"
#include "app/client_main.h"
#include "browser/window_registry.h"
#include "app/usage.h"
#include "engine/engine_flags.h"
#include "engine/command_line.h"
#include "engine/css_color.h"
#include "engine/engine.h"
#include "env/paths.h"
#include "platform/ini_profile.h"
#include "platform/system_language.h"
#include "test_support.h"

namespace {

std::shared_ptr<engine::CommandLine> Parse(std::vector<const char*> args) {
  args.insert(args.begin(), "veltrocrm");
  return engine::CommandLine::CreateFromArgv(static_cast<int>(args.size()), args.data());
}

std::vector<std::string> Added(std::vector<const char*> args, const std::string& process_type = "") {
  auto command_line = Parse(args);
  const size_t before = command_line->GetSwitches().size();
  app::BrowserProcessApp().OnBeforeCommandLineProcessing(process_type, *command_line);
  std::vector<std::string> added;
  for (size_t i = before; i < command_line->GetSwitches().size(); ++i)
    added.push_back(command_line->GetSwitches()[i].first);
  return added;
}

TEST(CommandLine, ParsesSwitchesValuesAndArguments) {
  auto cl = Parse({"--type=renderer", "--flag", "page.html", "--cache-path=/a=b", "--", "--not-a-switch"});
  EXPECT_TRUE(cl->HasSwitch("flag"));
  EXPECT_EQ(cl->GetSwitchValue("type"), "renderer");
  EXPECT_EQ(cl->GetSwitchValue("cache-path"), "/a=b");
  EXPECT_EQ(cl->GetSwitchValue("missing"), "");
  EXPECT_EQ(cl->GetArguments(), (std::vector<std::string>{"page.html", "--not-a-switch"}));
}

TEST(ProcessKind, FromTypeSwitch) {
  using app::ProcessKind;
  using app::ShellApp;
  EXPECT_EQ(ShellApp::GetProcessKind(*Parse({})), ProcessKind::Browser);
  EXPECT_EQ(ShellApp::GetProcessKind(*Parse({"--type=renderer"})), ProcessKind::Renderer);
  EXPECT_EQ(ShellApp::GetProcessKind(*Parse({"--type=gpu-process"})), ProcessKind::Other);
  EXPECT_EQ(ShellApp::GetProcessKind(*Parse({"--type="})), ProcessKind::Other);
  EXPECT_EQ(ShellApp::GetProcessKind(*Parse({"--type=Renderer"})), ProcessKind::Other);
}

TEST(SwitchAdditions, InOrderForEachCase) {
  using V = std::vector<std::string>;
  // Plain browser process.
  EXPECT_EQ(Added({}), (V{"disable-gpu", "disable-gpu-compositing", "enable-npapi"}));
  // Off-screen: its own block first, then the unconditional GPU switches again.
  EXPECT_EQ(Added({"--off-screen-rendering-enabled"}),
            (V{"disable-surfaces", "disable-gpu", "disable-gpu-compositing", "enable-begin-frame-scheduling",
               "disable-gpu", "disable-gpu-compositing", "enable-npapi"}));
  // Without the PDF extension there are no surfaces to disable.
  EXPECT_EQ(Added({"--off-screen-rendering-enabled", "--disable-pdf-extension"}),
            (V{"disable-gpu", "disable-gpu-compositing", "enable-begin-frame-scheduling", "disable-gpu",
               "disable-gpu-compositing", "enable-npapi"}));
  // enable-gpu keeps the off-screen block from touching the GPU.
  EXPECT_EQ(Added({"--off-screen-rendering-enabled", "--enable-gpu"}),
            (V{"disable-surfaces", "enable-begin-frame-scheduling", "disable-gpu", "disable-gpu-compositing",
               "enable-npapi"}));
  // Sub-processes are left alone.
  EXPECT_EQ(Added({}, "renderer"), V{});
}

TEST(Settings, DebuggingPortOnlyWhenAskedFor) {
  TempDir data;
  setenv("XDG_DATA_HOME", data.str().c_str(), 1);
  EXPECT_EQ(app::AppContext(Parse({}), true).DebuggingPort(), 0);
  EXPECT_EQ(app::AppContext(Parse({"--remote-debugging-port=9222"}), true).DebuggingPort(), 9222);
  EXPECT_EQ(app::AppContext(Parse({"--remote-debugging-port=70000"}), true).DebuggingPort(), 0);
  platform::WritePrivateProfileString("Debug", "port", "8100", env::GetConfigFilePath());
  EXPECT_EQ(app::AppContext(Parse({}), true).DebuggingPort(), 8100);
  // The switch wins over the file.
  EXPECT_EQ(app::AppContext(Parse({"--remote-debugging-port=9333"}), true).DebuggingPort(), 9333);
  unsetenv("XDG_DATA_HOME");
}

TEST(Settings, LanguageLocaleAndFixedValues) {
  app::AppContext context(Parse({}), true);
  engine::Settings chinese;
  context.FillSettingsForLanguage(chinese, 0x0804);
  EXPECT_EQ(chinese.locale, "zh-CN");
  EXPECT_EQ(chinese.accept_language_list, "zh-CN,zh");
  EXPECT_EQ(chinese.remote_debugging_port, 0);
  EXPECT_EQ(chinese.log_severity, engine::LOGSEVERITY_ERROR);
  EXPECT_EQ(chinese.uncaught_exception_stack_size, 1024);
  EXPECT_EQ(chinese.background_color, 0xFFFFFFFFu);
  const std::string suffix = "/log/errorLog.txt";
  ASSERT_GE(chinese.log_file.size(), suffix.size());
  EXPECT_EQ(chinese.log_file.substr(chinese.log_file.size() - suffix.size()), suffix);
  for (uint16_t id : {0x0404, 0x0C04, 0x1004}) {
    engine::Settings s;
    context.FillSettingsForLanguage(s, id);
    EXPECT_EQ(s.accept_language_list, "zh-CN,zh") << id;
  }
  engine::Settings english;
  context.FillSettingsForLanguage(english, 0x0409);
  EXPECT_EQ(english.locale, "zh-CN");
  EXPECT_EQ(english.accept_language_list, "");
}

TEST(Settings, SwitchDrivenValues) {
  app::AppContext context(Parse({"--background-color=red", "--off-screen-frame-rate=30fps",
                                 "--off-screen-rendering-enabled"}),
                          true);
  engine::Settings settings;
  context.FillSettingsForLanguage(settings, 0x0409);
  EXPECT_TRUE(settings.windowless_rendering_enabled);
  EXPECT_EQ(settings.background_color, 0xFFFF0000u);
  const browser::WindowDefaults defaults = context.WindowDefaults();
  EXPECT_EQ(defaults.browser_settings.windowless_frame_rate, 30);
  EXPECT_EQ(defaults.offscreen.background_color, 0xFFFF0000u);
  EXPECT_FALSE(defaults.offscreen.transparent_painting);
  EXPECT_FALSE(defaults.url.empty());

  app::AppContext no_digits(Parse({"--off-screen-frame-rate=fast", "--background-color=notacolour",
                                   "--transparent-painting-enabled", "--show-update-rect"}),
                            true);
  const browser::WindowDefaults odd = no_digits.WindowDefaults();
  EXPECT_EQ(odd.browser_settings.windowless_frame_rate, 0);
  EXPECT_EQ(odd.offscreen.background_color, 0xFFFFFFFFu);
  EXPECT_TRUE(odd.offscreen.transparent_painting);
  EXPECT_TRUE(odd.offscreen.show_update_rect);
}

TEST(Settings, BecomeEngineSwitches) {
  engine::Settings settings;
  settings.no_sandbox = true;
  settings.locale = "zh-CN";
  settings.log_file = "/opt/v c/log/errorLog.txt";
  settings.log_severity = engine::LOGSEVERITY_ERROR;
  settings.remote_debugging_port = 8100;
  EXPECT_EQ(engine::SwitchesForSettings(settings),
            (std::vector<std::string>{"--no-sandbox", "--lang=zh-CN", "--enable-logging",
                                      "--log-file=/opt/v c/log/errorLog.txt", "--log-level=2",
                                      "--remote-debugging-port=8100"}));
}

// The user's engine switches stay, ours come after them (the engine takes
// the last of a switch), the user's debugging ones go when the port is shut.
TEST(Settings, KeepTheUsersEngineFlags) {
  const std::vector<std::string> ours = {"--lang=zh-CN", "--log-file=/opt/v c/log/errorLog.txt"};
  EXPECT_EQ(engine::EngineFlags("", ours, false), "--lang=zh-CN \"--log-file=/opt/v c/log/errorLog.txt\"");
  EXPECT_EQ(engine::EngineFlags("  --force-dark-mode\t--user-agent=\"A \\\"B\\\" C\" ", ours, false),
            "--force-dark-mode \"--user-agent=A \\\"B\\\" C\" --lang=zh-CN \"--log-file=/opt/v c/log/errorLog.txt\"");
  EXPECT_EQ(engine::EngineFlags("--remote-debugging-port=9222 --remote-debugging-pipe --lang=en", {}, true),
            "--lang=en");
  EXPECT_EQ(engine::EngineFlags("--remote-debugging-port=9222", {}, false), "--remote-debugging-port=9222");
  EXPECT_EQ(engine::EngineFlags("-remote-debugging-port=9224 - -- --lang=en", {}, true), "- -- --lang=en")
      << "the engine takes one dash as two";
  EXPECT_EQ(engine::EngineFlags("--proxy-server=evil:1 -proxy-pac-url=http://x/p.pac --no-proxy-server "
                                "--proxy-bypass-list=* --proxy-auto-detect --proxy-servers-x",
                                {"--proxy-server=corp:3128"}, false),
            "--proxy-servers-x --proxy-server=corp:3128")
      << "the proxy is the client's to decide";
}

TEST(CssColor, Forms) {
  struct Case {
    const char* text;
    bool ok;
    engine::Color color;
  } cases[] = {
      {"red", true, 0xFFFF0000}, {"#0f0", true, 0xFF00FF00},   {"#123456", true, 0xFF123456},
      {"#11223380", true, 0x80112233}, {"rgb(1, 2, 3)", true, 0xFF010203}, {"rgba(255,0,0,0)", true, 0x00FF0000},
      {"BLUE", true, 0xFF0000FF}, {"#12", false, 0}, {"rgb(1,2)", false, 0}, {"nocolour", false, 0}, {"", false, 0},
  };
  for (const Case& c : cases) {
    engine::Color color = 0xDEADBEEF;
    EXPECT_EQ(engine::ParseCSSColor(c.text, false, color), c.ok) << c.text;
    EXPECT_EQ(color, c.ok ? c.color : 0xDEADBEEF) << c.text;
  }
}

TEST(SystemLanguage, LocaleNames) {
  EXPECT_EQ(platform::LangIdFromLocaleName("zh_CN.UTF-8"), 0x0804);
  EXPECT_EQ(platform::LangIdFromLocaleName("zh_TW.UTF-8"), 0x0404);
  EXPECT_EQ(platform::LangIdFromLocaleName("zh_HK"), 0x0C04);
  EXPECT_EQ(platform::LangIdFromLocaleName("zh_SG.GB2312"), 0x1004);
  EXPECT_EQ(platform::LangIdFromLocaleName("en_US.UTF-8"), 0x0409);
  EXPECT_EQ(platform::LangIdFromLocaleName("C"), 0x0409);
}

TEST(RequestContexts, PluginPolicyAndCachePaths) {
  EXPECT_EQ(browser::PluginPolicyFor("application/x-print-lodop"), engine::PLUGIN_POLICY_ALLOW);
  EXPECT_EQ(browser::PluginPolicyFor("application/X-print-lodop"), engine::PLUGIN_POLICY_DISABLE);
  EXPECT_EQ(browser::PluginPolicyFor("application/pdf"), engine::PLUGIN_POLICY_DISABLE);
  engine::PluginPolicy policy = engine::PLUGIN_POLICY_ALLOW;
  EXPECT_TRUE(browser::RequestContextHandler().OnBeforePluginLoad("application/x-shockwave-flash", policy));
  EXPECT_EQ(policy, engine::PLUGIN_POLICY_DISABLE);

  EXPECT_EQ(browser::PerBrowserCachePath("/c/", false, 1700000000), "/c/1700000000");
  EXPECT_NE(browser::PerBrowserCachePath("/c/", false, 1700000000), browser::PerBrowserCachePath("/c/", false, 1700000001));
  EXPECT_EQ(browser::PerBrowserCachePath("/c/", true, 1700000000), "/c/");
  EXPECT_EQ(browser::PerBrowserCachePath("", false, 1700000000), "");
}

TEST(InitialBounds, FromWorkArea) {
  EXPECT_EQ(app::InitialBoundsFromWorkArea({0, 0, 1920, 1040}), (platform::Rect{96, 52, 1728, 936}));
  // The work area's own origin is not added.
  EXPECT_EQ(app::InitialBoundsFromWorkArea({100, 30, 1366, 738}), (platform::Rect{68, 36, 1229, 664}));
}

}  // namespace

// --help and the man page come from one table; both show every switch and
// key, --help in straight columns, the man page readable in any locale.
TEST(Usage, HelpAndManPageFromOneTable) {
  const std::string help = app::HelpText();
  const std::string man = app::ManSections();
  size_t column = std::string::npos;
  for (int i = 0; i < app::kSwitchCount; ++i) {
    const std::string name = std::string("--") + app::kSwitches[i].name;
    const size_t at = help.find("  " + name);
    ASSERT_NE(at, std::string::npos) << name;
    const size_t text = help.find(app::kSwitches[i].help, at);
    ASSERT_NE(text, std::string::npos) << name;
    const size_t line_start = help.rfind('\n', at) + 1;
    if (column == std::string::npos) column = text - line_start;
    EXPECT_EQ(text - line_start, column) << name;
    std::string troff_name;
    for (char c : name) troff_name += c == '-' ? std::string("\\-") : std::string(1, c);
    EXPECT_NE(man.find(troff_name), std::string::npos) << name;
  }
  for (int i = 0; i < app::kKeyCount; ++i) {
    EXPECT_NE(help.find(app::kKeys[i].keys), std::string::npos);
    EXPECT_NE(man.find(app::kKeys[i].keys), std::string::npos);
  }
  // Ctrl+R goes to the page: nothing may call it a reload.
  for (const std::string* text : {&help, &man}) {
    const size_t at = text->find("Ctrl+R");
    EXPECT_TRUE(at == std::string::npos || text->compare(at, 25, "Ctrl+R is the page's own ") == 0) << *text;
  }
  EXPECT_NE(help.find("--off-screen-rendering-enabled"), std::string::npos);
  EXPECT_EQ(app::TroffEscaped(".TH X\n软件日志YYYYMMDD.txt 日\n"),
            ".TH X\n.if !c\\[u8F6F] .char \\[u8F6F] ?\n.if !c\\[u4EF6] .char \\[u4EF6] ?\n"
            ".if !c\\[u65E5] .char \\[u65E5] ?\n.if !c\\[u5FD7] .char \\[u5FD7] ?\n"
            "\\[u8F6F]\\[u4EF6]\\[u65E5]\\[u5FD7]YYYYMMDD.txt \\[u65E5]\n");
  EXPECT_EQ(app::TroffEscaped("plain\n"), "plain\n");
}
