#include "platform/instance_lock.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

#include "platform/user_folders.h"

namespace platform {

namespace {

// The runtime folder the session gives the user: a real folder of the
// user's own that nobody else may enter.
bool IsPrivateFolder(const char* path) {
  struct stat info {};
  return path != nullptr && path[0] == '/' && ::lstat(path, &info) == 0 && S_ISDIR(info.st_mode) &&
         info.st_uid == ::getuid() && (info.st_mode & 077) == 0;
}

}  // namespace

std::string InstanceLock::LockFilePath(const std::string& name) {
  if (const char* runtimeDir = std::getenv("XDG_RUNTIME_DIR"); IsPrivateFolder(runtimeDir)) {
    return std::string(runtimeDir) + "/" + name;
  }
  const std::string folder = CacheHome() + "/kelvarion";
  return MakePrivateFolder(folder) ? folder + "/" + name : std::string();
}

bool InstanceLock::Acquire(const std::string& name) {
  const std::string path = LockFilePath(name);
  return path.empty() || lock_.TryLock(path) != LockFile::Result::HeldElsewhere;
}

}  // namespace platform
