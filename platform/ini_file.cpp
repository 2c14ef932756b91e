#include "platform/ini_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <optional>
#include <string_view>
#include <vector>

#include "platform/read_file.h"

namespace platform {

namespace {

constexpr std::string_view kBlanks = " \t\r\n";
constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

std::string_view Trim(std::string_view text) {
  const auto first = text.find_first_not_of(kBlanks);
  if (first == std::string_view::npos) return {};
  const auto last = text.find_last_not_of(kBlanks);
  return text.substr(first, last - first + 1);
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

// The file as lines, each without its line end; `crlf` tells which line end
// the file uses so that rewritten files keep it.
struct IniLines {
  std::vector<std::string> lines;
  bool crlf = false;
};

std::optional<IniLines> ReadLines(const std::string& path) {
  const auto read = ReadWholeFile(path);
  if (!read) return std::nullopt;
  const std::string& text = *read;
  IniLines result;
  std::size_t start = 0;
  while (start < text.size()) {
    auto end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') {
      line.pop_back();
      result.crlf = true;
    }
    result.lines.push_back(std::move(line));
    start = end + 1;
  }
  return result;
}

// The section name of a "[name]" line, or nothing for any other line.
std::optional<std::string_view> SectionName(std::string_view line, bool firstLine) {
  if (firstLine && line.starts_with(kUtf8Bom)) line.remove_prefix(kUtf8Bom.size());
  line = Trim(line);
  if (!line.starts_with('[')) return std::nullopt;
  const auto close = line.find(']');
  if (close == std::string_view::npos) return std::nullopt;
  return Trim(line.substr(1, close - 1));
}

// The key of a "key=value" line, or nothing for a line without '='.
std::optional<std::string_view> KeyName(std::string_view line) {
  const auto equals = line.find('=');
  if (equals == std::string_view::npos) return std::nullopt;
  return Trim(line.substr(0, equals));
}

// Where a key stands in the file: the line of its section header and of the
// key itself, and the line after the section's last key or other text.
struct KeyLocation {
  std::optional<std::size_t> section;
  std::optional<std::size_t> key;
  std::size_t sectionContentEnd = 0;
};

KeyLocation Locate(const std::vector<std::string>& lines, std::string_view section,
                   std::string_view key) {
  KeyLocation at;
  bool inSection = false;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (auto name = SectionName(lines[i], i == 0)) {
      if (inSection) break;  // the first section of that name is the one used
      inSection = EqualsIgnoringCase(*name, section);
      if (inSection) {
        at.section = i;
        at.sectionContentEnd = i + 1;
      }
      continue;
    }
    if (!inSection) continue;
    if (!Trim(lines[i]).empty()) at.sectionContentEnd = i + 1;
    auto name = KeyName(lines[i]);
    if (!at.key && name && EqualsIgnoringCase(*name, key)) at.key = i;
  }
  return at;
}

std::string FolderOf(const std::string& path) {
  const auto slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

bool WriteAll(int fd, std::string_view data) {
  while (!data.empty()) {
    const ssize_t written = ::write(fd, data.data(), data.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data.remove_prefix(static_cast<std::size_t>(written));
  }
  return true;
}

// Where a chain of symbolic links ends (the path itself when it is no link);
// a relative link is read from its own folder. Nothing for a chain that does
// not end, a loop, as the kernel counts it.
std::optional<std::string> FinalTarget(std::string path) {
  for (int hops = 0; hops <= 40; ++hops) {
    char target[PATH_MAX];
    const ssize_t length = ::readlink(path.c_str(), target, sizeof target - 1);
    if (length <= 0) return path;
    const std::string next(target, static_cast<std::size_t>(length));
    path = next.front() == '/' ? next : FolderOf(path) + "/" + next;
  }
  return std::nullopt;
}

}  // namespace

// Replaces `path` with `content` so that a crash leaves either the old file
// or the new one: a file in the same folder, synced, then renamed over it.
// Where the file system allows, the file has no name while it is written,
// so that a program killed meanwhile leaves nothing behind.
bool ReplaceFileAtomically(const std::string& linkOrFile, const std::string& content) {
  const std::optional<std::string> target = FinalTarget(linkOrFile);
  if (!target) return false;
  const std::string& path = *target;
  // Created with 0666 so that the umask applies to a new file; a leftover
  // of an earlier crash under the same name is stepped over.
  static std::atomic<unsigned> serial{0};
  const auto nextTempPath = [&] { return path + ".tmp" + std::to_string(::getpid()) + "-" + std::to_string(serial++); };
  std::string tempPath;
  int fd = ::open(FolderOf(path).c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
  const bool unnamed = fd >= 0;
  for (int attempt = 0; fd < 0 && attempt < 100; ++attempt) {
    tempPath = nextTempPath();
    fd = ::open(tempPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0 && errno != EEXIST) return false;
  }
  if (fd < 0) return false;

  struct stat old {};
  bool ok = (::stat(path.c_str(), &old) != 0 || ::fchmod(fd, old.st_mode & 07777) == 0) &&
            WriteAll(fd, content) && ::fsync(fd) == 0;
  if (ok && unnamed) {
    const std::string unnamedPath = "/proc/self/fd/" + std::to_string(fd);
    for (int attempt = 0; attempt < 100; ++attempt) {
      tempPath = nextTempPath();
      if (::linkat(AT_FDCWD, unnamedPath.c_str(), AT_FDCWD, tempPath.c_str(), AT_SYMLINK_FOLLOW) == 0) break;
      tempPath.clear();
      if (errno != EEXIST) break;
    }
    ok = !tempPath.empty();
  }
  ok = (::close(fd) == 0) && ok;
  if (!ok || ::rename(tempPath.c_str(), path.c_str()) != 0) {
    if (!tempPath.empty()) ::unlink(tempPath.c_str());
    return false;
  }
  // The rename itself reaches the disk only with its folder.
  const int dir = ::open(FolderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    ::fsync(dir);
    ::close(dir);
  }
  return true;
}

std::string IniFile::ReadString(const std::string& section, const std::string& key,
                                const std::string& defaultValue) const {
  const auto file = ReadLines(path_);
  if (!file) return defaultValue;
  const KeyLocation at = Locate(file->lines, section, key);
  if (!at.key) return defaultValue;
  const std::string& line = file->lines[*at.key];
  std::string_view value = Trim(std::string_view(line).substr(line.find('=') + 1));
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
      value.back() == value.front()) {
    value = value.substr(1, value.size() - 2);
  }
  return std::string(value);
}

bool IniFile::WriteString(const std::string& section, const std::string& key,
                          const std::string& value) {
  // A line break would end the entry and let the rest of the value stand as
  // lines and sections of their own; a zero byte would cut it short.
  if (value.find_first_of(std::string_view("\r\n\0", 3)) != std::string::npos) return false;
  auto existing = ReadLines(path_);
  // A file that exists but cannot be read must not be replaced by one key.
  if (!existing && ::access(path_.c_str(), F_OK) == 0) return false;
  IniLines file = existing.value_or(IniLines{});
  const KeyLocation at = Locate(file.lines, section, key);
  std::string entry = key + "=" + value;
  if (at.key) {
    file.lines[*at.key] = std::move(entry);
  } else if (at.section) {
    file.lines.insert(file.lines.begin() + static_cast<std::ptrdiff_t>(at.sectionContentEnd),
                      std::move(entry));
  } else {
    file.lines.push_back("[" + section + "]");
    file.lines.push_back(std::move(entry));
  }

  const std::string_view lineEnd = file.crlf ? "\r\n" : "\n";
  std::string content;
  for (const auto& line : file.lines) {
    content += line;
    content += lineEnd;
  }
  return ReplaceFileAtomically(path_, content);
}

}  // namespace platform
