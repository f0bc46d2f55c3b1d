#ifndef PLATFORM_USER_FOLDERS_H_
#define PLATFORM_USER_FOLDERS_H_

#include <string>

namespace platform {

// The user's documents and desktop folders (XDG user directories), without
// trailing "/".
std::string DocumentsFolder();
std::string DesktopFolder();

}  // namespace platform

#endif  // PLATFORM_USER_FOLDERS_H_
