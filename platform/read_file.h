// Reading a whole file without iostreams, whose reads throw on some errors
// (a folder in the file's place) instead of reporting them.
#pragma once

#include <optional>
#include <string>

namespace platform {

// The file's bytes, or nothing when it cannot be opened or read.
std::optional<std::string> ReadWholeFile(const std::string& path);

// The file's first line without its line end ("\n" or "\r\n"), or nothing
// when the file cannot be read.
std::optional<std::string> ReadFirstLine(const std::string& path);

}  // namespace platform
