#include "platform/instance_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace platform {

InstanceLock::~InstanceLock() {
  if (fd_ >= 0) ::close(fd_);
}

std::string InstanceLock::LockFilePath(const std::string& name) {
  const char* runtimeDir = std::getenv("XDG_RUNTIME_DIR");
  struct stat info {};
  if (runtimeDir != nullptr && *runtimeDir != '\0' && ::stat(runtimeDir, &info) == 0 &&
      S_ISDIR(info.st_mode)) {
    return std::string(runtimeDir) + "/" + name;
  }
  // The shared temporary folder is seen by every user; the user id in the
  // name keeps one user's instance from blocking another's.
  return "/tmp/" + name + "-" + std::to_string(::getuid());
}

bool InstanceLock::Acquire(const std::string& name) {
  if (fd_ >= 0) return true;
  // Close-on-exec keeps the tools this process starts from inheriting the
  // lock and holding it after the program has ended.
  const int fd = ::open(LockFilePath(name).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) return true;
  int result;
  do {
    result = ::flock(fd, LOCK_EX | LOCK_NB);
  } while (result != 0 && errno == EINTR);
  if (result != 0) {
    ::close(fd);
    return errno != EWOULDBLOCK;
  }
  fd_ = fd;
  return true;
}

}  // namespace platform
