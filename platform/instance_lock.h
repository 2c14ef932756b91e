// The single-instance rule: an exclusive flock on a file named after the
// lock in $XDG_RUNTIME_DIR (else the system temporary folder, with the user
// id in the name), held for the life of the process. The kernel drops the
// lock when the process ends, however it ends.
#pragma once

#include <string>

namespace platform {

class InstanceLock {
 public:
  InstanceLock() = default;
  InstanceLock(const InstanceLock&) = delete;
  InstanceLock& operator=(const InstanceLock&) = delete;
  ~InstanceLock();

  // True when this process now holds the lock; false when another holds it.
  // A lock file that cannot be opened counts as held by nobody: true.
  bool Acquire(const std::string& name);

  static std::string LockFilePath(const std::string& name);

 private:
  int fd_ = -1;
};

}  // namespace platform
