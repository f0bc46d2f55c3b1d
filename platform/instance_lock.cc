#include "platform/instance_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstdio>

#include "platform/runtime_folder.h"

namespace platform {

std::unique_ptr<InstanceLock> InstanceLock::TryAcquire(const std::string& class_name, const std::string& title) {
  const std::string path = RuntimeFileFor(class_name, title, ".lock");
  // Not inherited by the programs this process starts; never a link.
  const int fd = path.empty() ? -1 : open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd < 0) {
    // Without a lock file the socket check alone decides, as before.
    fprintf(stderr, "instance lock: none at \"%s\"\n", path.c_str());
    return std::unique_ptr<InstanceLock>(new InstanceLock(-1));
  }
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    close(fd);
    return nullptr;
  }
  return std::unique_ptr<InstanceLock>(new InstanceLock(fd));
}

InstanceLock::~InstanceLock() {
  if (fd_ >= 0) close(fd_);
}

}  // namespace platform
