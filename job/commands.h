// The command lines of a job's tools, built as single strings exactly in
// the form the tools are documented with; every inserted path or tag text
// is escaped so that the command-line splitter gives it back unchanged.
#pragma once

#include <string>

#include "job/tool_paths.h"

namespace job {

// The probe run: "<pipe tool>" -info "<script>".
std::string ProbeCommand(const ToolPaths& paths);

struct VideoPass {
  std::string encoderPath;  // the encoder chosen at start-up
  int fpsInt = 25;
  std::string x264Opts;
  bool twoPass = false;
  int passNumber = 1;  // 1 or 2 in a two-pass mode
};

// An encoder whose file name ends in "264" runs directly; any other (the
// 64-bit one) runs through the wrapper.
bool RunsDirectly(const std::string& encoderPath);
std::string VideoCommand(const ToolPaths& paths, const VideoPass& pass);

// The one line of the audio command file: the pipe tool's WAVE into the AAC
// encoder, written to `outputPath`.
std::string AudioCommandLine(const ToolPaths& paths, const std::string& aacOpts, const std::string& outputPath);

struct MuxCommands {
  std::string video;  // the video stream alone into a new file
  std::string full;   // video and sound into a new file
  std::string tags;   // tags and track name set in place
};

struct MuxRequest {
  std::string audioPath;
  std::string outputPath;
  std::string author;  // UTF-8, exactly as typed
  std::string title;   // UTF-8, exactly as typed
  std::string suffix;  // "_preview", ...
  std::string version3, version5;
  bool debugMode = false;  // no tags and no track name
};

MuxCommands MuxCommandLines(const ToolPaths& paths, const MuxRequest& request);

// The stand-alone muxer: the first file's track 1 and the whole second file
// into a new file, with the tool tag only.
std::string StandaloneMuxCommand(const ToolPaths& paths, const std::string& first, const std::string& second,
                                 const std::string& output);

// A tag text is written only when something besides blanks and control
// characters was typed; then it is written exactly as typed.
std::string TagValue(const std::string& typed);

}  // namespace job
