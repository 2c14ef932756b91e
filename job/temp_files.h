// Cleaning the temporary folder after a mode, and the debug log that stays
// in its place after the last mode of a debug run.
#pragma once

#include <string>
#include <vector>

#include "job/tool_paths.h"

namespace job {

// The intermediate files of a job, in the order they are removed; the sound
// file comes first and is passed in, since a WAV job writes it elsewhere.
std::vector<std::string> TempFiles(const ToolPaths& paths, const std::string& audioStreamPath);

// The files the probe of a source writes and reads, removed before and after it.
std::vector<std::string> ProbeFiles(const ToolPaths& paths);

// Removes each file on its own, passing over any that cannot be removed.
void DeleteTempFiles(const ToolPaths& paths, const std::string& audioStreamPath);

// Writes the collected command lines, one per line ending in CR LF.
bool WriteDebugLog(const ToolPaths& paths, const std::vector<std::string>& lines);

// Writes lines to a file, each followed by CR LF, replacing the file.
bool WriteLines(const std::string& path, const std::vector<std::string>& lines);

}  // namespace job
