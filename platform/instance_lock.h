#ifndef PLATFORM_INSTANCE_LOCK_H_
#define PLATFORM_INSTANCE_LOCK_H_

#include <memory>
#include <string>

namespace platform {

// The per-user lock of the one process that may own the window of a class
// and title: held from the moment it is taken until the process ends, so
// that two starts at the same instant cannot both become that process.
class InstanceLock {
 public:
  // The lock, or null when another process of this user holds it.
  static std::unique_ptr<InstanceLock> TryAcquire(const std::string& class_name, const std::string& title);
  ~InstanceLock();
  InstanceLock(const InstanceLock&) = delete;
  InstanceLock& operator=(const InstanceLock&) = delete;

 private:
  explicit InstanceLock(int fd) : fd_(fd) {}
  int fd_;
};

}  // namespace platform

#endif  // PLATFORM_INSTANCE_LOCK_H_
