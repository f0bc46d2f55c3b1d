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

}  // namespace platform

#endif  // PLATFORM_SYSTEM_LANGUAGE_H_
