#include "platform/file_identity.h"

#include <sys/stat.h>
#include <unistd.h>

namespace platform {

std::optional<FileId> IdOf(const std::string& path) {
  struct stat info {};
  if (::lstat(path.c_str(), &info) != 0) return std::nullopt;
  return FileId{static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino)};
}

bool RemoveIfSame(const std::string& path, const FileId& id) {
  // Between the look and the removal another program could rename a file
  // over the name; no program of ours does, and a user's hand is slower.
  return IdOf(path) == id && ::unlink(path.c_str()) == 0;
}

}  // namespace platform
