// Where the program finds its tools and keeps a job's intermediate files:
// every path is fixed once from the program folder.
#pragma once

#include <string>

namespace job {

struct ToolPaths {
  std::string programDir;  // with a trailing '/'
  std::string toolsDir;    // programDir + "tools"
  std::string tempDir;     // programDir + "tools/temp"
  std::string videoEncoder32;
  std::string videoEncoder64;
  std::string aacEncoder;
  std::string muxer;
  std::string pipeTool;
  std::string encoderWrapper;
  std::string videoStream;
  std::string audioBatch;
  std::string script;
  std::string audioStream;  // the temporary sound of a video source
  std::string sound;
  std::string helpFile;
  std::string debugLog;

  static ToolPaths ForProgramDir(const std::string& programDir);

  // A file in the temporary folder.
  std::string temp(const std::string& name) const { return tempDir + "/" + name; }
};

}  // namespace job
