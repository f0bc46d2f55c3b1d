#ifndef PLATFORM_FILE_TIMES_H_
#define PLATFORM_FILE_TIMES_H_

#include <cstdint>
#include <string>

namespace platform {

// Creation (birth) time of a file in seconds since 1970. Falls back to the
// last-modification time on file systems that keep no birth time. False
// when the file's status cannot be read.
bool GetFileCreationTime(const std::string& path, int64_t& seconds);

}  // namespace platform

#endif  // PLATFORM_FILE_TIMES_H_
