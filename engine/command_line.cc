#include "engine/command_line.h"

#include <algorithm>
#include <mutex>

namespace engine {

namespace {
std::mutex g_global_mutex;
std::shared_ptr<CommandLine> g_global;
}  // namespace

std::shared_ptr<CommandLine> CommandLine::CreateFromArgv(int argc, const char* const* argv) {
  auto command_line = std::make_shared<CommandLine>();
  bool only_arguments = false;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i] ? argv[i] : "";
    if (only_arguments || arg.size() < 3 || arg.compare(0, 2, "--") != 0) {
      if (arg == "--") {
        only_arguments = true;
        continue;
      }
      command_line->arguments_.push_back(arg);
      continue;
    }
    std::string body = arg.substr(2);
    const size_t equals = body.find('=');
    if (equals == std::string::npos)
      command_line->switches_.emplace_back(body, std::string());
    else
      command_line->switches_.emplace_back(body.substr(0, equals), body.substr(equals + 1));
  }
  return command_line;
}

std::shared_ptr<CommandLine> CommandLine::GetGlobal() {
  std::lock_guard<std::mutex> lock(g_global_mutex);
  return g_global;
}

void CommandLine::SetGlobal(std::shared_ptr<CommandLine> command_line) {
  std::lock_guard<std::mutex> lock(g_global_mutex);
  g_global = std::move(command_line);
}

bool CommandLine::HasSwitch(const std::string& name) const {
  for (const auto& entry : switches_)
    if (entry.first == name) return true;
  return false;
}

std::string CommandLine::GetSwitchValue(const std::string& name) const {
  for (auto it = switches_.rbegin(); it != switches_.rend(); ++it)
    if (it->first == name) return it->second;
  return std::string();
}

void CommandLine::AppendSwitch(const std::string& name) { switches_.emplace_back(name, std::string()); }

void CommandLine::AppendSwitchWithValue(const std::string& name, const std::string& value) {
  switches_.emplace_back(name, value);
}

void CommandLine::RemoveSwitch(const std::string& name) {
  switches_.erase(std::remove_if(switches_.begin(), switches_.end(), [&](const auto& entry) { return entry.first == name; }),
                  switches_.end());
}

std::vector<std::string> CommandLine::GetArgv() const {
  std::vector<std::string> argv;
  for (const auto& [name, value] : switches_)
    argv.push_back(value.empty() ? "--" + name : "--" + name + "=" + value);
  argv.insert(argv.end(), arguments_.begin(), arguments_.end());
  return argv;
}

}  // namespace engine
