// Helpers that the encoder and muxer tools share: messages and exit codes,
// FFmpeg error texts, and output files that appear whole or not at all.
#pragma once

#include <sys/stat.h>

#include <optional>
#include <string>

namespace kenc {

// Prints "<tool>: <message>" on standard error and ends the process with
// status 1. Pending temporary outputs are removed first.
[[noreturn]] void Fail(const std::string& message);

// The tool name used in messages; set once at the start of main().
void SetToolName(const char* name);

std::string AvErrorText(int errorCode);

bool FileExists(const std::string& path);

// Fails when `output` names the file `input` names (by the file's identity:
// links and other spellings of the path count): no tool writes over a file
// it reads.
void RefuseToOverwrite(const std::string& input, const std::string& output);

// A file in the folder of `finalPath` that takes its place only on Commit():
// an unnamed file where the file system has them, which nothing, not even
// SIGKILL, can leave behind; else a hidden one that a failure, an exception,
// Fail() or SIGINT/SIGTERM/SIGHUP removes. The final path always holds
// either its old content or the complete new one; a replaced file keeps its
// permissions and owner, a read-only one is refused, and a link's target is
// written. A path naming a device or pipe (/dev/null) is written directly.
class PendingOutput {
 public:
  explicit PendingOutput(std::string finalPath);
  ~PendingOutput();
  PendingOutput(const PendingOutput&) = delete;
  PendingOutput& operator=(const PendingOutput&) = delete;

  const std::string& tempPath() const { return tempPath_; }
  const std::string& finalPath() const { return finalPath_; }

  // Flushes the temporary file to disk and gives it the final path.
  void Commit();

 private:
  void CreateHiddenName();

  std::string finalPath_;
  std::string tempPath_;
  int fd_ = -1;  // the unnamed file, where the file system has them
  std::optional<struct stat> replaced_;  // the file the output replaces
  bool committed_ = false;
};

}  // namespace kenc
