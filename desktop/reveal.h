// Showing a file in the desktop's file manager.
#pragma once

#include <string>

namespace desktop {

// When `path` names an existing file, asks the file manager on the session
// bus (org.freedesktop.FileManager1 ShowItems) to show it selected; without
// such a service, or when it fails, opens the containing folder instead.
// Returns whether anything was asked; a missing or empty path asks nothing.
bool RevealInFileManager(const std::string& path);

}  // namespace desktop
