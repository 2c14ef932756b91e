#include "job/tool_paths.h"

#include <sys/stat.h>
#include <unistd.h>


#include "job/names.h"
#include "platform/user_folders.h"
#include "settings/settings_file.h"

namespace job {

FolderProbe FolderProbe::FileSystem() {
  return {[](const std::string& path) {
            struct stat info {};
            return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
          },
          [](const std::string& path) { return ::access(path.c_str(), W_OK | X_OK) == 0; }};
}

void ToolPaths::PlaceTools(const std::string& folder) {
  toolsDir = folder;
  const std::string tools = folder + "/";
  videoEncoder32 = tools + "x264";
  videoEncoder64 = tools + "x264_64";
  aacEncoder = tools + "neroAacEnc";
  muxer = tools + "MP4Box";
  pipeTool = tools + "avs2pipemod";
  encoderWrapper = tools + "avs4x264mod";
}

void ToolPaths::PlaceTemp(const std::string& folder) {
  tempDir = folder;
  videoStream = temp("video.264");
  audioBatch = temp("Snd.cmd");
  script = temp("Vid.avs");
  audioStream = temp("Snd.m4a");
  debugLog = temp("DebugInfo.log");
}

void ToolPaths::UseUserFolders() {
  userFolders = true;
  settingsFile = platform::ConfigHome() + "/kelvarion/kelvarion.ini";
  PlaceTemp(platform::CacheHome() + "/kelvarion/temp");
}

ToolPaths ToolPaths::ForProgramDir(const std::string& programDir) {
  ToolPaths p;
  p.programDir = programDir;
  p.PlaceTools(programDir + "tools");
  p.PlaceTemp(programDir + "tools/temp");
  p.sound = p.toolsDir + "/rnd.wav";
  p.helpFile = programDir + "Help.html";
  p.settingsFile = programDir + "kelvarion.ini";
  p.jobLog = platform::StateHome() + "/kelvarion/kelvarion.log";
  return p;
}

ToolPaths ToolPaths::ForExecutable(const std::string& executablePath, const FolderProbe& probe) {
  const std::string programDir = FolderPart(executablePath);
  ToolPaths p = ForProgramDir(programDir);
  if (probe.isFolder(p.toolsDir)) {
    p.settingsFile = settings::SettingsFile::PathBeside(executablePath);
    if (!probe.isWritable(programDir) || !probe.isWritable(p.toolsDir)) p.UseUserFolders();
    return p;
  }
  // Installed: the executable's folder is the prefix's bin/.
  std::string bin = programDir;
  while (bin.size() > 1 && bin.back() == '/') bin.pop_back();
  const std::string prefix = FolderPart(bin);
  p.PlaceTools(prefix + KELVARION_INSTALL_TOOLS_DIR);
  const std::string data = prefix + KELVARION_INSTALL_DATA_DIR + "/";
  p.sound = data + "rnd.wav";
  p.helpFile = data + "Help.html";
  p.UseUserFolders();
  return p;
}

}  // namespace job
