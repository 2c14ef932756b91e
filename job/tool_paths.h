// Where the program finds its tools, help and sound, and where it keeps its
// settings, a job's intermediate files and its job log: every path is fixed
// once, when the program starts, from where its executable lies.
//
// Two layouts exist. A portable folder (the build folder is one) holds the
// tools in tools/ beside the executable; while the user may write to it, the
// settings lie beside the executable and the intermediate files in
// tools/temp. An installed program (bin/kelvarion with the tools in
// lib/kelvarion/tools and the help and sound in share/kelvarion under the
// same prefix), or a portable folder the user may not write to, keeps its
// settings in the user's configuration folder and its intermediate files in
// a private folder of the user's cache. The job log is always the user's.
#pragma once

#include <functional>
#include <string>

namespace job {

// How the layout is looked at; tests replace the file system's answers.
struct FolderProbe {
  std::function<bool(const std::string&)> isFolder;
  std::function<bool(const std::string&)> isWritable;

  static FolderProbe FileSystem();
};

struct ToolPaths {
  std::string programDir;  // the executable's folder, with a trailing '/'
  std::string toolsDir;
  std::string tempDir;
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
  std::string settingsFile;
  std::string jobLog;
  // Settings and intermediate files live in the user's own folders.
  bool userFolders = false;

  // A portable folder that the user may write to, with the program named
  // kelvarion in it.
  static ToolPaths ForProgramDir(const std::string& programDir);
  // The running program's paths, by the rules above.
  static ToolPaths ForExecutable(const std::string& executablePath, const FolderProbe& probe = FolderProbe::FileSystem());

  // Puts the intermediate files into another folder, as a job runner does
  // with a private folder of its own.
  void PlaceTemp(const std::string& folder);

  // A file in the temporary folder.
  std::string temp(const std::string& name) const { return tempDir + "/" + name; }

 private:
  void PlaceTools(const std::string& folder);
  void UseUserFolders();
};

}  // namespace job
