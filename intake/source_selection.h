// Which files may be a source, and where the open dialog starts.
#pragma once

#include <functional>
#include <string>

namespace intake {

// An accepted source's extension (the text from its last dot, lower-cased)
// is one of ".avi", ".avs", ".vpy", ".png", ".jpg", ".wav".
bool IsAcceptedSource(const std::string& path);

// The open dialog's starting folder: the last source folder when it exists,
// else its nearest existing parent; an empty text restarts from the program
// folder. The search always ends: at the file-system root it gives the
// program folder.
std::string GetNearestDir(const std::string& lastSourceDir, const std::string& programDir,
                          const std::function<bool(const std::string&)>& folderExists);
std::string GetNearestDir(const std::string& lastSourceDir, const std::string& programDir);

}  // namespace intake
