#ifndef PLATFORM_KNOWN_FOLDERS_H_
#define PLATFORM_KNOWN_FOLDERS_H_

#include <string>

namespace platform {

// Each returns a folder without trailing "/", or an empty string when it
// cannot be determined. Read from the environment on every call.
std::string LocalAppDataFolder();  // XDG data home
std::string ConfigFolder();        // XDG config home
std::string StateFolder();         // XDG state home
// Full path of the running executable.
std::string ExecutablePath();

}  // namespace platform

#endif  // PLATFORM_KNOWN_FOLDERS_H_
