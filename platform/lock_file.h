// An exclusive advisory lock (flock) on a file of the user's own. The kernel
// drops it when its holder ends, however it ends, so a lock that nobody
// holds marks what a program that died left behind.
#pragma once

#include <string>

namespace platform {

class LockFile {
 public:
  enum class Result {
    Locked,        // this object holds the lock now
    HeldElsewhere,  // another open file (another process, mostly) holds it
    Unusable,      // the file cannot be opened, or is not a plain file of the user's own
  };

  LockFile() = default;
  LockFile(LockFile&& other) noexcept;
  LockFile& operator=(LockFile&& other) noexcept;
  LockFile(const LockFile&) = delete;
  LockFile& operator=(const LockFile&) = delete;
  ~LockFile();

  // Opens `path` (made with mode 0600 when missing) without following a
  // link in its place, and takes the lock without waiting. `reason` says
  // why a file is unusable. Asking again while locked keeps the lock.
  Result TryLock(const std::string& path, std::string* reason = nullptr);
  bool locked() const { return fd_ >= 0; }
  void Unlock();

 private:
  int fd_ = -1;
};

}  // namespace platform
