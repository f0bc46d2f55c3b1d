#ifndef CHANNEL_PROXY_SCRIPT_FETCH_H_
#define CHANNEL_PROXY_SCRIPT_FETCH_H_

#include <optional>
#include <string>

namespace channel {

// The answer of the automatic configuration script at |script_url| (http,
// https or file) for |url|, as the engine would get it: the script fetched
// directly, once a run, and run with a time limit. nullopt, with a line in
// the program log, when it cannot be fetched or run or answers nothing
// usable; the caller then goes direct, as the engine does.
std::optional<std::string> ProxyScriptAnswer(const std::string& script_url, const std::string& url);

// The script address to hand the engine: the script at |script_url| once it
// has given |probe_url| a usable answer in time, as a data: address so that
// the engine runs the very text checked; else (logged) a script that
// answers DIRECT, as the engine's own fallback would, but never one that
// hangs the page. Needs the application object.
std::string ProxyScriptForEngine(const std::string& script_url, const std::string& probe_url);

}  // namespace channel

#endif  // CHANNEL_PROXY_SCRIPT_FETCH_H_
