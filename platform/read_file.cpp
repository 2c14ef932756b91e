#include "platform/read_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace platform {

std::optional<std::string> ReadWholeFile(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  std::string text;
  char buffer[8192];
  while (true) {
    const ssize_t got = ::read(fd, buffer, sizeof buffer);
    if (got > 0) {
      text.append(buffer, static_cast<std::size_t>(got));
    } else if (got == 0) {
      break;
    } else if (errno != EINTR) {
      ::close(fd);
      return std::nullopt;
    }
  }
  ::close(fd);
  return text;
}

std::optional<std::string> ReadFirstLine(const std::string& path) {
  std::optional<std::string> text = ReadWholeFile(path);
  if (!text) return std::nullopt;
  std::string line = text->substr(0, text->find('\n'));
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line;
}

}  // namespace platform
