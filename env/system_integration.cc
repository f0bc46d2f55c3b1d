#include "env/system_integration.h"

#include <atomic>
#include <chrono>
#include <thread>

#include "env/logs.h"
#include "env/paths.h"
#include "env/product.h"
#include "platform/process.h"

namespace env {

namespace {
std::atomic<bool> g_full_screen{false};
}  // namespace

std::shared_ptr<platform::WindowHandle> FindMainWindow() {
  return platform::FindWindowByClassAndTitle(MainWindowClassName(), MainWindowTitle());
}

bool FullScreenTarget(unsigned mode, bool current, bool& changed) {
  bool target = current;
  switch (mode) {
    case 0: target = false; break;
    case 1: target = true; break;
    case 2: target = !current; break;
    default: break;
  }
  changed = mode <= 2 && target != current;
  return target;
}

bool SetFullScreen(unsigned mode) {
  bool changed = false;
  const bool target = FullScreenTarget(mode, g_full_screen.load(), changed);
  if (!changed) return false;
  // The state is recorded even when there is no window to change.
  g_full_screen = target;
  auto window = FindMainWindow();
  if (!window) return false;
  window->SetFullScreenPresentation(target);
  return true;
}

bool IsFullScreen() { return g_full_screen.load(); }

void AddFirewallRule() {
  const std::vector<std::string> command = platform::AsRoot({HostsHelperPath(), "allow-call-port"});
  if (command.empty() || !platform::StartHiddenCommand(command)) WriteProgramLog("firewall rule not added");
  std::this_thread::sleep_for(std::chrono::milliseconds(450));
}

}  // namespace env
