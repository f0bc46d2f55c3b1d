#ifndef TESTS_INTEGRATION_CLIENT_HARNESS_H_
#define TESTS_INTEGRATION_CLIENT_HARNESS_H_

// The client's browser process brought up inside a test or benchmark
// executable, as the product starts it: the same delegates, context,
// message loop and page side.

#include <memory>
#include <string>

#include "app/app_context.h"
#include "app/client_app.h"
#include "app/main_window_wiring.h"
#include "app/ui_message_loop.h"
#include "engine/engine.h"
#include "renderer/renderer_process_app.h"
#include "telephony/mobile_call_listener.h"
#include "test_helpers.h"

class ClientHarness {
 public:
  ClientHarness(int argc, char** argv)
      : args_{argc, argv}, command_line_(GlobalCommandLine(argc, argv)), context_(command_line_, false) {
    engine::Settings settings;
    settings.no_sandbox = true;
    settings.locale = "zh-CN";
    started_ = context_.Initialise(args_, settings, &application_);
    if (!started_) return;
    engine::SetRenderProcessHandler(std::make_shared<renderer::RendererProcessApp>());
    app::WireMainWindowMessages();
  }
  ~ClientHarness() {
    telephony::ShutdownMobileCapture();
    if (started_) context_.Shutdown();
  }

  bool started() const { return started_; }
  browser::WindowRegistry* registry() const { return context_.Registry(); }

 private:
  static std::shared_ptr<engine::CommandLine> GlobalCommandLine(int argc, char** argv) {
    auto command_line = engine::CommandLine::CreateFromArgv(argc, argv);
    engine::CommandLine::SetGlobal(command_line);
    return command_line;
  }

  engine::MainArgs args_;
  std::shared_ptr<engine::CommandLine> command_line_;
  app::BrowserProcessApp application_;
  app::AppContext context_;
  app::UiMessageLoop loop_;
  bool started_ = false;
};

// The text of the browser's main frame (its frames' text included).
inline std::string FrameText(const std::shared_ptr<engine::Browser>& browser) {
  std::string text;
  bool done = false;
  browser->GetMainFrame()->GetText([&](const std::u16string& t) {
    text = QString::fromStdU16String(t).toStdString();
    done = true;
  });
  WaitFor([&] { return done; }, 2000);
  return text;
}

#endif  // TESTS_INTEGRATION_CLIENT_HARNESS_H_
