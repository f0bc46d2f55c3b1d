#ifndef APP_CLIENT_APP_H_
#define APP_CLIENT_APP_H_

#include <memory>
#include <string>
#include <vector>

#include "engine/engine.h"

namespace app {

enum class ProcessKind { Browser, Renderer, Other };

// The application delegates handed to the engine, one per process kind.
class ShellApp : public engine::App {
 public:
  ShellApp();
  // No "type" switch: the browser process; "renderer": a renderer; any
  // other value, empty included: another helper process.
  static ProcessKind GetProcessKind(const engine::CommandLine& command_line);
  const std::vector<std::string>& cookie_schemes() const { return cookie_schemes_; }

 protected:
  std::vector<std::string> cookie_schemes_;
};

class BrowserProcessApp : public ShellApp, public engine::BrowserProcessHandler {
 public:
  // Adds the product's engine switches in the browser process only.
  void OnBeforeCommandLineProcessing(const std::string& process_type, engine::CommandLine& command_line) override;
  engine::BrowserProcessHandler* GetBrowserProcessHandler() override { return this; }
  // Keeps cookies, session cookies too, in the user data directory.
  void OnContextInitialized() override;
};

class OtherProcessApp : public ShellApp {
 public:
  void OnBeforeCommandLineProcessing(const std::string&, engine::CommandLine&) override {}
};

std::unique_ptr<engine::App> CreateAppForKind(ProcessKind kind);

}  // namespace app

#endif  // APP_CLIENT_APP_H_
