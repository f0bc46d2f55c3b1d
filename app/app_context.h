#ifndef APP_APP_CONTEXT_H_
#define APP_APP_CONTEXT_H_

#include <memory>
#include <string>

#include "browser/window_registry.h"
#include "engine/engine.h"

namespace app {

// The browser process's engine settings and its registry of windows.
// One per process, reachable through Get() while it exists.
class AppContext {
 public:
  AppContext(std::shared_ptr<engine::CommandLine> command_line, bool terminate_when_all_windows_closed);
  ~AppContext();

  static AppContext* Get();

  void FillSettings(engine::Settings& settings) const;
  // What the command line asks of every window.
  browser::WindowDefaults WindowDefaults() const;
  browser::WindowRegistry* Registry() const { return registry_.get(); }

  // Initialises the engine; on success creates the registry. Main thread.
  bool Initialise(const engine::MainArgs& args, const engine::Settings& settings, engine::App* application);
  // Destroys the registry, then shuts the engine down.
  void Shutdown();

  // The settings for a given system language id, exposed for tests.
  void FillSettingsForLanguage(engine::Settings& settings, uint16_t system_lang_id) const;
  // The remote-debugging port: the "remote-debugging-port" switch, else
  // [Debug] port in config.ini; 0 (none) without either.
  int DebuggingPort() const;

 private:
  std::shared_ptr<engine::CommandLine> command_line_;
  const bool terminate_when_all_windows_closed_;
  bool initialized_ = false;
  bool shutdown_ = false;
  std::string main_url_;
  engine::Color background_color_ = 0xFFFFFFFF;
  std::unique_ptr<browser::WindowRegistry> registry_;
};

}  // namespace app

#endif  // APP_APP_CONTEXT_H_
