// Facts about the running program and the machine.
#pragma once

#include <string>

namespace platform {

// Folder of the running executable (from /proc/self/exe), with a trailing '/'.
std::string ExecutableDir();

// Full path of the running executable.
std::string ExecutablePath();

// True when the kernel's machine type (uname) is a 64-bit architecture.
bool Is64BitSystem();

}  // namespace platform
