// Facts about the running program and the machine.
#pragma once

#include <string>
#include <string_view>

namespace platform {

// Folder of the running executable (from /proc/self/exe), with a trailing '/'.
std::string ExecutableDir();

// Full path of the running executable.
std::string ExecutablePath();

// True when the kernel's machine type (uname) is a 64-bit architecture.
bool Is64BitSystem();

// Whether a machine type as uname reports it names a 64-bit architecture.
bool IsMachine64Bit(std::string_view machine);

}  // namespace platform
