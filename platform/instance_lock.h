// The single-instance rule: an exclusive lock on a file named after the lock
// in the user's own runtime folder ($XDG_RUNTIME_DIR when it is a private
// folder of the user's), else in a private folder of the user's cache, held
// for the life of the process. The kernel drops the lock when the process
// ends, however it ends. No other user can reach either folder, so none can
// hold the lock in the user's place or have the program make a file where
// they choose.
#pragma once

#include <string>

#include "platform/lock_file.h"

namespace platform {

class InstanceLock {
 public:
  // True when this process now holds the lock; false when another holds it.
  // A lock file that cannot be had counts as held by nobody: true.
  bool Acquire(const std::string& name);

  // Where the lock lives; empty when neither folder can be had.
  static std::string LockFilePath(const std::string& name);

 private:
  LockFile lock_;
};

}  // namespace platform
