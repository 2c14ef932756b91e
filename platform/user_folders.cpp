#include "platform/user_folders.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace platform {

namespace {

std::string HomeFolder() {
  if (const char* home = std::getenv("HOME"); home != nullptr && home[0] == '/') return home;
  const passwd* entry = ::getpwuid(::getuid());
  return entry != nullptr && entry->pw_dir != nullptr ? entry->pw_dir : "/";
}

std::string BaseFolder(const char* variable, const char* underHome) {
  const char* value = std::getenv(variable);
  std::string folder = value != nullptr && value[0] == '/' ? std::string(value) : HomeFolder() + underHome;
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  return folder;
}

}  // namespace

std::string ConfigHome() { return BaseFolder("XDG_CONFIG_HOME", "/.config"); }
std::string CacheHome() { return BaseFolder("XDG_CACHE_HOME", "/.cache"); }
std::string StateHome() { return BaseFolder("XDG_STATE_HOME", "/.local/state"); }

bool MakePrivateFolder(const std::string& path) {
  if (path.empty() || path[0] != '/') return false;
  for (std::size_t slash = path.find('/', 1); ; slash = path.find('/', slash + 1)) {
    const std::string part = path.substr(0, slash);
    if (!part.empty() && part.back() != '/' && ::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return false;
    if (slash == std::string::npos) break;
  }
  // Checked and tightened through one descriptor, so that the folder looked
  // at is the folder changed, even if the name is swapped meanwhile.
  const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat info {};
  const bool ours = ::fstat(fd, &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == ::getuid();
  const bool closed = ours && ((info.st_mode & 077) == 0 || ::fchmod(fd, 0700) == 0);
  ::close(fd);
  return closed;
}

}  // namespace platform
