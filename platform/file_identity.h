// Which file a path names: two names lead to the same file exactly when
// they share its device and inode. A program that made a file knows it by
// this, whatever another program later puts under the same name.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace platform {

struct FileId {
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
  bool operator==(const FileId&) const = default;
};

// The file `path` names now, a link itself rather than its target; nothing
// when there is none.
std::optional<FileId> IdOf(const std::string& path);

// Removes `path` only while it still names the file `id`. A file that took
// its place meanwhile is left alone.
bool RemoveIfSame(const std::string& path, const FileId& id);

}  // namespace platform
