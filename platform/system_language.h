#ifndef PLATFORM_SYSTEM_LANGUAGE_H_
#define PLATFORM_SYSTEM_LANGUAGE_H_

#include <cstdint>
#include <string>

namespace platform {

// The system's default language as a Windows language id (0x0804 Chinese
// PRC, 0x0409 English US, ...), from the locale environment.
uint16_t SystemDefaultLangId();
// "zh_CN.UTF-8" -> 0x0804; unknown or "C" -> 0x0409.
uint16_t LangIdFromLocaleName(const std::string& locale);

// The script the program's own windows speak for |lang_id|: Chinese in
// the characters of its region, English for every other language.
enum class UiScript { kEnglish, kSimplifiedChinese, kTraditionalChinese };
UiScript UiScriptFor(uint16_t lang_id);

}  // namespace platform

#endif  // PLATFORM_SYSTEM_LANGUAGE_H_
