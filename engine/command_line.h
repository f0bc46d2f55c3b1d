#ifndef ENGINE_COMMAND_LINE_H_
#define ENGINE_COMMAND_LINE_H_

#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace engine {

// The engine's command-line object: "--name" and "--name=value" switches
// in the order given, plus the other (positional) arguments. Switch names
// compare case-sensitively, as Chromium's do on Linux.
class CommandLine {
 public:
  static std::shared_ptr<CommandLine> CreateFromArgv(int argc, const char* const* argv);

  // The process-wide command line set by the process entry; null before.
  static std::shared_ptr<CommandLine> GetGlobal();
  static void SetGlobal(std::shared_ptr<CommandLine> command_line);

  bool HasSwitch(const std::string& name) const;
  // The value of the last occurrence; empty when absent or given without one.
  std::string GetSwitchValue(const std::string& name) const;
  void AppendSwitch(const std::string& name);
  void AppendSwitchWithValue(const std::string& name, const std::string& value);
  // Every occurrence.
  void RemoveSwitch(const std::string& name);

  const std::vector<std::pair<std::string, std::string>>& GetSwitches() const { return switches_; }
  const std::vector<std::string>& GetArguments() const { return arguments_; }
  // The switches as "--name" or "--name=value" in order, then the arguments.
  std::vector<std::string> GetArgv() const;

 private:
  std::vector<std::pair<std::string, std::string>> switches_;
  std::vector<std::string> arguments_;
};

}  // namespace engine

#endif  // ENGINE_COMMAND_LINE_H_
