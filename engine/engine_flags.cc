#include "engine/engine_flags.h"

#include <algorithm>

namespace engine {

std::vector<std::string> SplitEngineFlags(const std::string& text) {
  std::vector<std::string> words;
  std::string word;
  bool quoted = false;
  bool in_word = false;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\\' && quoted && i + 1 < text.size() && text[i + 1] == '"') {
      word += '"';
      ++i;
    } else if (c == '"') {
      quoted = !quoted;
      in_word = true;
    } else if (!quoted && (c == ' ' || c == '\t' || c == '\n')) {
      if (in_word) words.push_back(word);
      word.clear();
      in_word = false;
    } else {
      word += c;
      in_word = true;
    }
  }
  if (in_word) words.push_back(word);
  return words;
}

std::string JoinEngineFlags(const std::vector<std::string>& words) {
  std::string flags;
  for (const std::string& word : words) {
    flags += flags.empty() ? "" : " ";
    if (word.find_first_of(" \t\n\"") == std::string::npos) {
      flags += word;
      continue;
    }
    flags += '"';
    for (char c : word) {
      if (c == '"') flags += '\\';
      flags += c;
    }
    flags += '"';
  }
  return flags;
}

std::string EngineSwitchName(const std::string& word) {
  // The engine takes a switch with one dash as with two.
  const size_t start = word.find_first_not_of('-');
  if (start == 0 || start > 2 || start == std::string::npos) return std::string();
  return word.substr(start, word.find('=') - start);
}

std::string EngineFlags(const std::string& user_flags, const std::vector<std::string>& ours, bool debugging_shut) {
  std::vector<std::string> words = SplitEngineFlags(user_flags);
  // The proxy is the client's to decide (the administrator's policy included).
  const auto owned = [debugging_shut](const std::string& word) {
    const std::string name = EngineSwitchName(word);
    return (debugging_shut && name.rfind("remote-debugging", 0) == 0) || name == "proxy-server" ||
           name == "no-proxy-server" || name == "proxy-bypass-list" || name == "proxy-pac-url" ||
           name == "proxy-auto-detect";
  };
  words.erase(std::remove_if(words.begin(), words.end(), owned), words.end());
  words.insert(words.end(), ours.begin(), ours.end());
  return JoinEngineFlags(words);
}

}  // namespace engine
