#ifndef PLATFORM_RUNTIME_FOLDER_H_
#define PLATFORM_RUNTIME_FOLDER_H_

#include <string>

namespace platform {

// This user's private folder for sockets and locks: $XDG_RUNTIME_DIR, or
// veltrocrm-<uid> in $TMPDIR (/tmp) when that is a folder of this user's
// alone, or else veltrocrm-runtime in the user's cache folder. Empty when
// there is none: nothing then goes anywhere else.
std::string RuntimeFolder();

// A file of that folder named from |class_name| and |title| (hashed, so
// the name is short and free of odd characters), ending in |suffix|;
// empty without the folder.
std::string RuntimeFileFor(const std::string& class_name, const std::string& title, const char* suffix);

}  // namespace platform

#endif  // PLATFORM_RUNTIME_FOLDER_H_
