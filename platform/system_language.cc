#include "platform/system_language.h"

#include <cstdlib>

namespace platform {

uint16_t LangIdFromLocaleName(const std::string& locale) {
  std::string name = locale.substr(0, locale.find_first_of(".@"));
  for (char& c : name)
    if (c == '-') c = '_';
  struct Entry {
    const char* name;
    uint16_t id;
  };
  static constexpr Entry kIds[] = {
      {"zh_CN", 0x0804}, {"zh_TW", 0x0404}, {"zh_HK", 0x0C04}, {"zh_SG", 0x1004}, {"zh_MO", 0x1404},
      {"zh", 0x0804},    {"en_US", 0x0409}, {"en_GB", 0x0809}, {"ja_JP", 0x0411}, {"ko_KR", 0x0412},
      {"de_DE", 0x0407}, {"fr_FR", 0x040C},
  };
  for (const Entry& entry : kIds)
    if (name == entry.name) return entry.id;
  return 0x0409;
}

UiScript UiScriptFor(uint16_t lang_id) {
  if ((lang_id & 0x3FF) != 0x04) return UiScript::kEnglish;  // the primary language: Chinese
  return lang_id == 0x0404 || lang_id == 0x0C04 || lang_id == 0x1404 ? UiScript::kTraditionalChinese
                                                                     : UiScript::kSimplifiedChinese;
}

uint16_t SystemDefaultLangId() {
  for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* value = std::getenv(variable);
    if (value && *value) return LangIdFromLocaleName(value);
  }
  return 0x0409;
}

}  // namespace platform
