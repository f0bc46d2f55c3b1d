#include "env/system_integration.h"

#include <atomic>
#include <chrono>
#include <thread>

#include "env/product.h"
#include "platform/process.h"

namespace env {

namespace {
std::atomic<bool> g_full_screen{false};
constexpr char kMobileCallPort[] = "53526";
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

std::vector<std::vector<std::string>> FirewallCommands() {
  const std::string comment = std::string(kFirewallRuleName);
  if (!platform::FindProgramInPath("ufw").empty())
    return {{"ufw", "allow", std::string(kMobileCallPort) + "/udp", "comment", comment}};
  // firewalld keeps a permanent rule inactive until its next reload: the
  // running configuration gets the rule too.
  const std::string port = std::string("--add-port=") + kMobileCallPort + "/udp";
  if (!platform::FindProgramInPath("firewall-cmd").empty())
    return {{"firewall-cmd", port}, {"firewall-cmd", "--permanent", port}};
  return {};
}

void AddFirewallRule() {
  for (const std::vector<std::string>& command : FirewallCommands()) platform::StartHiddenCommand(command);
  std::this_thread::sleep_for(std::chrono::milliseconds(450));
}

}  // namespace env
