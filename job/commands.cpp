#include "job/commands.h"

#include "platform/cmdline.h"

namespace job {

namespace {

using platform::EscapeForQuotes;
using platform::Quote;

// A value in MP4Box's tag list, where a colon could start the next tag: a
// colon and a backslash are escaped with a backslash, so that the muxer gives
// back exactly what was typed. Plain values keep their form.
std::string InTagList(const std::string& value) {
  std::string escaped;
  for (const char c : value) {
    if (c == ':' || c == '\\') escaped += '\\';
    escaped += c;
  }
  return escaped;
}

}  // namespace

std::string ProbeCommand(const ToolPaths& paths) {
  return Quote(paths.pipeTool) + " -info " + Quote(paths.script);
}

bool RunsDirectly(const std::string& encoderPath) {
  const std::string name = encoderPath.substr(encoderPath.rfind('/') + 1);
  return name.size() >= 3 && name.compare(name.size() - 3, 3, "264") == 0;
}

std::string VideoCommand(const ToolPaths& paths, const VideoPass& pass) {
  std::string cmd;
  if (RunsDirectly(pass.encoderPath)) {
    cmd = Quote(pass.encoderPath) + " ";
  } else {
    cmd = Quote(paths.encoderWrapper) + " --x264-binary " + Quote(pass.encoderPath) + " ";
  }
  cmd += "--level 4.1 --preset veryslow --me umh --ref 4 --no-psy";
  cmd += " --keyint " + std::to_string(10 * pass.fpsInt);
  cmd += " --min-keyint " + std::to_string(pass.fpsInt);
  cmd += " " + pass.x264Opts;
  if (pass.twoPass) {
    cmd += " --stats " + Quote(paths.temp("stats.log"));
    cmd += " --pass " + std::to_string(pass.passNumber);
  }
  cmd += " -o " + Quote(paths.videoStream) + " " + Quote(paths.script);
  return cmd;
}

std::string AudioCommandLine(const ToolPaths& paths, const std::string& aacOpts, const std::string& outputPath) {
  return Quote(paths.pipeTool) + " -extwav=16bit " + Quote(paths.script) + " | " + Quote(paths.aacEncoder) +
         " -ignorelength " + aacOpts + " -if - -of " + Quote(outputPath);
}

std::string StandaloneMuxCommand(const ToolPaths& paths, const std::string& first, const std::string& second,
                                 const std::string& output) {
  // "#1" right after the closing quote joins the first name: only its track 1 is taken.
  return Quote(paths.muxer) + " -add " + Quote(first) + "#1 -add " + Quote(second) + " -new " + Quote(output) +
         " -itags tool=\"Kelvarion GUI _muxed\"";
}

std::string TagValue(const std::string& typed) {
  for (unsigned char c : typed) {
    if (c > ' ') return typed;
  }
  return {};
}


MuxCommands MuxCommandLines(const ToolPaths& paths, const MuxRequest& r) {
  const std::string muxer = Quote(paths.muxer);
  const std::string output = Quote(r.outputPath);
  MuxCommands c;
  c.video = muxer + " -add " + Quote(paths.videoStream) + " -new " + output;
  c.full = muxer + " -add " + Quote(paths.videoStream) + " -add " + Quote(r.audioPath) + " -new " + output;
  c.tags = muxer;
  if (!r.debugMode) {
    c.tags += " -itags artist=\"" + EscapeForQuotes(InTagList(TagValue(r.author))) + "\"";
    c.tags += ":name=\"" + EscapeForQuotes(InTagList(TagValue(r.title))) + "\"";
    c.tags += ":tool=\"Kelvarion GUI " + r.version3 + r.suffix + "\"";
    c.tags += " -name 1=\"Kelvarion " + r.version5 + "\"";
  }
  c.tags += " " + output;
  return c;
}

}  // namespace job
