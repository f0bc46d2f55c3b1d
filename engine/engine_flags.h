#ifndef ENGINE_ENGINE_FLAGS_H_
#define ENGINE_ENGINE_FLAGS_H_

#include <string>
#include <vector>

namespace engine {

// QTWEBENGINE_CHROMIUM_FLAGS as the engine reads it: words split at blanks
// outside double quotes (\" a quote inside them).
std::vector<std::string> SplitEngineFlags(const std::string& text);
// The words again, quoted where they hold blanks or quotes.
std::string JoinEngineFlags(const std::vector<std::string>& words);
// The name of the switch a word sets, as the engine parses it ("-x=1" and
// "--x" both set "x"); "" for a word that is no switch.
std::string EngineSwitchName(const std::string& word);

// The engine's flags: the user's own first, so that ours, later, win; the
// user's proxy switches are always left out, their remote-debugging ones
// when the settings keep the port shut.
std::string EngineFlags(const std::string& user_flags, const std::vector<std::string>& ours, bool debugging_shut);

}  // namespace engine

#endif  // ENGINE_ENGINE_FLAGS_H_
