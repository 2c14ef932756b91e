#include "platform/system_info.h"

#include <sys/utsname.h>
#include <unistd.h>

#include <climits>

namespace platform {

std::string ExecutablePath() {
  char buffer[PATH_MAX];
  const ssize_t length = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  return length > 0 ? std::string(buffer, static_cast<std::size_t>(length)) : std::string();
}

std::string ExecutableDir() {
  const std::string path = ExecutablePath();
  const auto slash = path.rfind('/');
  return slash == std::string::npos ? std::string("./") : path.substr(0, slash + 1);
}

bool IsMachine64Bit(std::string_view machine) {
  // Every 64-bit machine name the kernel reports carries "64" (x86_64,
  // aarch64, ppc64le, riscv64, mips64, sparc64, loongarch64, ia64, arm64),
  // except these two.
  return machine.find("64") != std::string_view::npos || machine == "s390x" ||
         machine == "alpha";
}

bool Is64BitSystem() {
  utsname name{};
  return ::uname(&name) == 0 && IsMachine64Bit(name.machine);
}

}  // namespace platform
