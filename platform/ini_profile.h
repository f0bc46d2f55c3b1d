#ifndef PLATFORM_INI_PROFILE_H_
#define PLATFORM_INI_PROFILE_H_

#include <string>

namespace platform {

// INI profiles with the Windows profile semantics: section and key names
// compare case-insensitively, values are trimmed, integers are read from
// the value's leading digits (optional sign; no digits gives 0), every other
// line and section is kept on write, and the first write creates the file.

int GetPrivateProfileInt(const std::string& section, const std::string& key, int default_value,
                         const std::string& path);
std::string GetPrivateProfileString(const std::string& section, const std::string& key,
                                    const std::string& default_value, const std::string& path);
// Replaces the file atomically; false when it could not be written.
bool WritePrivateProfileString(const std::string& section, const std::string& key, const std::string& value,
                               const std::string& path);

}  // namespace platform

#endif  // PLATFORM_INI_PROFILE_H_
