// Output names beside the source, and the small path rules behind them.
#pragma once

#include <string>

namespace job {

// The last three characters of the path, lower-cased: "avi", "avs", "vpy",
// "wav", "png" or "jpg" for every accepted source.
std::string SourceKind(const std::string& sourcePath);
bool IsWavSource(const std::string& sourcePath);

// The path without its extension: the text before the last '.' that comes
// after the last '/'; the whole path when the file name has no dot.
std::string WithoutExtension(const std::string& path);
// The file name's text from its last '.', lower-cased; empty without a dot.
std::string LowerExtension(const std::string& path);
std::string FileNamePart(const std::string& path);
std::string FolderPart(const std::string& path);  // with its trailing '/'

// A free output path: base + suffix + ext, else base + n + suffix + ext for
// n = 1, 2, ...; ext is ".m4a" for a WAV source, else ".mp4". A folder of
// that name does not count as taken.
std::string IncName(const std::string& sourcePath, const std::string& suffix);

// Whether `path` is a name IncName can give a source's output with that
// suffix: the base, an optional number, the suffix and the extension.
bool IsOutputNameOf(const std::string& sourcePath, const std::string& suffix, const std::string& path);

// The same with a fixed extension, for the stand-alone muxer.
std::string FreeOutputName(const std::string& base, const std::string& suffix, const std::string& ext);

// The side-car sound: the source's path with its extension replaced by ".m4a".
std::string SideCarAudioPath(const std::string& sourcePath);

// Whether a path can be handed to the tools exactly: a line break would
// split a command file's line or a script's statement, and three quotes in
// a row would end the script's string that holds it.
bool CanCarryToTools(const std::string& path);

bool FileExists(const std::string& path);  // a regular file, not a folder

}  // namespace job
