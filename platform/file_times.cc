#include "platform/file_times.h"

#include <fcntl.h>
#include <sys/stat.h>

namespace platform {

bool GetFileCreationTime(const std::string& path, int64_t& seconds) {
  struct statx status;
  if (statx(AT_FDCWD, path.c_str(), AT_SYMLINK_NOFOLLOW, STATX_BTIME | STATX_MTIME, &status) != 0) return false;
  seconds = (status.stx_mask & STATX_BTIME) ? status.stx_btime.tv_sec : status.stx_mtime.tv_sec;
  return true;
}

}  // namespace platform
