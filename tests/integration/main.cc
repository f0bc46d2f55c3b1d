// The integration tests run in the real engine, started as the product
// starts it: helper processes are handed over from this executable, and an
// AppContext with its registry is up.
#include <gtest/gtest.h>

#include "app/app_context.h"
#include "app/client_app.h"
#include "app/ui_message_loop.h"
#include "engine/engine.h"
#include "renderer/renderer_process_app.h"
#include "telephony/mobile_call_listener.h"

int main(int argc, char** argv) {
  engine::MainArgs args{argc, argv};
  if (const int result = engine::ExecuteProcess(args, nullptr); result >= 0) return result;
  ::testing::InitGoogleTest(&argc, argv);
  auto command_line = engine::CommandLine::CreateFromArgv(argc, argv);
  engine::CommandLine::SetGlobal(command_line);
  app::BrowserProcessApp application;
  app::AppContext context(command_line, false);
  engine::Settings settings;
  settings.no_sandbox = true;
  settings.locale = "zh-CN";
  app::UiMessageLoop loop;
  if (!context.Initialise(args, settings, &application)) return 1;
  engine::SetRenderProcessHandler(std::make_shared<renderer::RendererProcessApp>());
  const int result = RUN_ALL_TESTS();
  telephony::ShutdownMobileCapture();
  context.Shutdown();
  return result;
}
