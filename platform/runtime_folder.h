#ifndef PLATFORM_RUNTIME_FOLDER_H_
#define PLATFORM_RUNTIME_FOLDER_H_

#include <string>

namespace platform {

// This user's private folder for sockets and locks: $XDG_RUNTIME_DIR, or
// /tmp/veltrocrm-<uid> when it is a folder of this user's. Empty when
// there is none: nothing then goes anywhere else.
std::string RuntimeFolder();

}  // namespace platform

#endif  // PLATFORM_RUNTIME_FOLDER_H_
