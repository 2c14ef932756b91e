#include "platform/lock_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

namespace platform {

LockFile::LockFile(LockFile&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}

LockFile& LockFile::operator=(LockFile&& other) noexcept {
  if (this != &other) {
    Unlock();
    fd_ = std::exchange(other.fd_, -1);
  }
  return *this;
}

LockFile::~LockFile() { Unlock(); }

void LockFile::Unlock() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

LockFile::Result LockFile::TryLock(const std::string& path, std::string* reason) {
  if (fd_ >= 0) return Result::Locked;
  const auto unusable = [&](const std::string& why) {
    if (reason != nullptr) *reason = path + ": " + why;
    return Result::Unusable;
  };
  // Close-on-exec keeps the tools this process starts from inheriting the
  // lock and holding it after the program has ended.
  const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) return unusable(errno == ELOOP ? "is a symbolic link" : std::strerror(errno));
  struct stat info {};
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_uid != ::getuid()) {
    ::close(fd);
    return unusable("is not a file of the user's own");
  }
  int result;
  do {
    result = ::flock(fd, LOCK_EX | LOCK_NB);
  } while (result != 0 && errno == EINTR);
  if (result != 0) {
    const int error = errno;
    ::close(fd);
    return error == EWOULDBLOCK ? Result::HeldElsewhere : unusable(std::strerror(error));
  }
  fd_ = fd;
  return Result::Locked;
}

}  // namespace platform
