#include "job/tool_paths.h"

namespace job {

ToolPaths ToolPaths::ForProgramDir(const std::string& programDir) {
  ToolPaths p;
  p.programDir = programDir;
  p.toolsDir = programDir + "tools";
  p.tempDir = programDir + "tools/temp";
  const std::string tools = p.toolsDir + "/";
  p.videoEncoder32 = tools + "x264";
  p.videoEncoder64 = tools + "x264_64";
  p.aacEncoder = tools + "neroAacEnc";
  p.muxer = tools + "MP4Box";
  p.pipeTool = tools + "avs2pipemod";
  p.encoderWrapper = tools + "avs4x264mod";
  p.videoStream = p.temp("video.264");
  p.audioBatch = p.temp("Snd.cmd");
  p.script = p.temp("Vid.avs");
  p.audioStream = p.temp("Snd.m4a");
  p.sound = tools + "rnd.wav";
  p.helpFile = programDir + "Help.html";
  p.debugLog = p.temp("DebugInfo.log");
  return p;
}

}  // namespace job
