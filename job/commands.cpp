#include "job/commands.h"

#include "platform/cmdline.h"

namespace job {

namespace {

using platform::EscapeForQuotes;

}  // namespace

std::string ProbeCommand(const ToolPaths& paths) {
  return "\"" + EscapeForQuotes(paths.pipeTool) + "\" -info \"" + EscapeForQuotes(paths.script) + "\"";
}

bool RunsDirectly(const std::string& encoderPath) {
  const std::string name = encoderPath.substr(encoderPath.rfind('/') + 1);
  return name.size() >= 3 && name.compare(name.size() - 3, 3, "264") == 0;
}

std::string VideoCommand(const ToolPaths& paths, const VideoPass& pass) {
  std::string cmd;
  if (RunsDirectly(pass.encoderPath)) {
    cmd = "\"" + EscapeForQuotes(pass.encoderPath) + "\" ";
  } else {
    cmd = "\"" + EscapeForQuotes(paths.encoderWrapper) + "\" --x264-binary \"" + EscapeForQuotes(pass.encoderPath) + "\" ";
  }
  cmd += "--level 4.1 --preset veryslow --me umh --ref 4 --no-psy";
  cmd += " --keyint " + std::to_string(10 * pass.fpsInt);
  cmd += " --min-keyint " + std::to_string(pass.fpsInt);
  cmd += " " + pass.x264Opts;
  if (pass.twoPass) {
    cmd += " --stats \"" + EscapeForQuotes(paths.temp("stats.log")) + "\"";
    cmd += " --pass " + std::to_string(pass.passNumber);
  }
  cmd += " -o \"" + EscapeForQuotes(paths.videoStream) + "\" \"" + EscapeForQuotes(paths.script) + "\"";
  return cmd;
}

std::string AudioCommandLine(const ToolPaths& paths, const std::string& aacOpts, const std::string& outputPath) {
  return "\"" + EscapeForQuotes(paths.pipeTool) + "\" -extwav=16bit \"" + EscapeForQuotes(paths.script) + "\" | " +
         "\"" + EscapeForQuotes(paths.aacEncoder) + "\" -ignorelength " + aacOpts + " -if - -of \"" +
         EscapeForQuotes(outputPath) + "\"";
}

std::string StandaloneMuxCommand(const ToolPaths& paths, const std::string& first, const std::string& second,
                                 const std::string& output) {
  // "#1" right after the closing quote joins the first name: only its track 1 is taken.
  return "\"" + EscapeForQuotes(paths.muxer) + "\" -add \"" + EscapeForQuotes(first) + "\"#1 -add \"" +
         EscapeForQuotes(second) + "\" -new \"" + EscapeForQuotes(output) + "\" -itags tool=\"Kelvarion GUI _muxed\"";
}

std::string TagValue(const std::string& typed) {
  for (unsigned char c : typed) {
    if (c > ' ') return typed;
  }
  return {};
}

MuxCommands MuxCommandLines(const ToolPaths& paths, const MuxRequest& r) {
  const std::string muxer = "\"" + EscapeForQuotes(paths.muxer) + "\"";
  const std::string output = EscapeForQuotes(r.outputPath);
  MuxCommands c;
  c.video = muxer + " -add \"" + EscapeForQuotes(paths.videoStream) + "\" -new \"" + output + "\"";
  c.full = muxer + " -add \"" + EscapeForQuotes(paths.videoStream) + "\" -add \"" + EscapeForQuotes(r.audioPath) +
           "\" -new \"" + output + "\"";
  c.tags = muxer;
  if (!r.debugMode) {
    c.tags += " -itags artist=\"" + EscapeForQuotes(TagValue(r.author)) + "\"";
    c.tags += ":name=\"" + EscapeForQuotes(TagValue(r.title)) + "\"";
    c.tags += ":tool=\"Kelvarion GUI " + r.version3 + r.suffix + "\"";
    c.tags += " -name 1=\"Kelvarion " + r.version5 + "\"";
  }
  c.tags += " \"" + output + "\"";
  return c;
}

}  // namespace job
