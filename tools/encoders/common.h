// Helpers that the encoder and muxer tools share: messages and exit codes,
// FFmpeg error texts, and output files that appear whole or not at all.
#pragma once

#include <string>

namespace kenc {

// Prints "<tool>: <message>" on standard error and ends the process with
// status 1. Pending temporary outputs are removed first.
[[noreturn]] void Fail(const std::string& message);

// The tool name used in messages; set once at the start of main().
void SetToolName(const char* name);

std::string AvErrorText(int errorCode);

bool FileExists(const std::string& path);

// A temporary file beside `finalPath` that takes its place only on Commit().
// Until then a failure, an exception, Fail() or SIGINT/SIGTERM/SIGHUP removes
// it, so the final path always holds either its old content or the complete
// new one. A path naming a device or pipe (/dev/null) is written directly.
class PendingOutput {
 public:
  explicit PendingOutput(std::string finalPath);
  ~PendingOutput();
  PendingOutput(const PendingOutput&) = delete;
  PendingOutput& operator=(const PendingOutput&) = delete;

  const std::string& tempPath() const { return tempPath_; }
  const std::string& finalPath() const { return finalPath_; }

  // Flushes the temporary file to disk and renames it over the final path.
  void Commit();

 private:
  std::string finalPath_;
  std::string tempPath_;
  bool committed_ = false;
};

}  // namespace kenc
