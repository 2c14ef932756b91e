#include "job/temp_files.h"

#include <unistd.h>

#include <fstream>

namespace job {

std::vector<std::string> TempFiles(const ToolPaths& paths, const std::string& audioStreamPath) {
  return {audioStreamPath,
          paths.script,
          paths.audioBatch,
          paths.temp("stats.log"),
          paths.temp("stats.log.temp"),
          paths.debugLog,
          paths.temp("stats.log.mbtree"),
          paths.videoStream,
          // What the encoder names its statistics while a first pass runs:
          // a pass that fails or is stopped leaves it.
          paths.temp("stats.log.mbtree.temp")};
}

std::vector<std::string> ProbeFiles(const ToolPaths& paths) {
  return {paths.temp("raw.264"), paths.temp("fps.cmd"), paths.temp("fps.txt"), paths.temp("audio.txt")};
}

void DeleteTempFiles(const ToolPaths& paths, const std::string& audioStreamPath) {
  for (const std::string& file : TempFiles(paths, audioStreamPath)) ::unlink(file.c_str());
}

bool WriteLines(const std::string& path, const std::vector<std::string>& lines) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  for (const std::string& line : lines) out << line << "\r\n";
  out.flush();
  return static_cast<bool>(out);
}

bool WriteDebugLog(const ToolPaths& paths, const std::vector<std::string>& lines) {
  return WriteLines(paths.debugLog, lines);
}

}  // namespace job
