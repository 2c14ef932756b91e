// INI files with the behaviour of the Windows profile functions: sections
// and keys are found regardless of letter case, a missing file, section or
// key gives the default, and a write creates what is missing, keeps every
// other line and is on disk before it returns (written to a temporary file
// in the same folder, synced and renamed over the old one).
#pragma once

#include <string>

namespace platform {

// Replaces `path` with `content` so that a crash leaves either the old file
// or the new one; false, with the old file left, when it cannot. A path that
// is a symbolic link (a settings file kept with the user's other dotfiles)
// replaces the file the link leads to, and the link stays.
bool ReplaceFileAtomically(const std::string& path, const std::string& content);

class IniFile {
 public:
  explicit IniFile(std::string path) : path_(std::move(path)) {}

  const std::string& path() const { return path_; }

  // The value with surrounding white space removed; a value enclosed in a
  // matching pair of single or double quotes loses them.
  std::string ReadString(const std::string& section, const std::string& key,
                         const std::string& defaultValue) const;

  // Returns false when the file cannot be written, or the value holds a line
  // break or a zero byte, which no entry can carry; the old file then stays.
  bool WriteString(const std::string& section, const std::string& key,
                   const std::string& value);

 private:
  std::string path_;
};

}  // namespace platform
