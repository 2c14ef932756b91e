#include "tools/encoders/common.h"

extern "C" {
#include <libavutil/error.h>
}

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>

namespace kenc {
namespace {

const char* g_toolName = "tool";

// The one temporary output of the process (no tool writes two at once); a
// fixed buffer so that the signal handler can unlink it safely.
char g_pendingPath[4096];

void RemovePendingOnSignal(int signalNumber) {
  if (g_pendingPath[0] != '\0') unlink(g_pendingPath);
  signal(signalNumber, SIG_DFL);
  raise(signalNumber);
}

void InstallSignalCleanup() {
  static bool installed = false;
  if (installed) return;
  installed = true;
  for (int signalNumber : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) signal(signalNumber, RemovePendingOnSignal);
}

std::string FolderOf(const std::string& path) {
  const auto slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string NameOf(const std::string& path) {
  const auto slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

void SetToolName(const char* name) { g_toolName = name; }

void Fail(const std::string& message) {
  if (g_pendingPath[0] != '\0') unlink(g_pendingPath);
  std::fprintf(stderr, "%s: %s\n", g_toolName, message.c_str());
  std::fflush(stderr);
  std::_Exit(1);
}

std::string AvErrorText(int errorCode) {
  char text[AV_ERROR_MAX_STRING_SIZE] = {};
  av_strerror(errorCode, text, sizeof text);
  return text;
}

bool FileExists(const std::string& path) {
  struct stat status {};
  return stat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode);
}

PendingOutput::PendingOutput(std::string finalPath) : finalPath_(std::move(finalPath)) {
  if (finalPath_.empty()) Fail("no output file given");
  struct stat status {};
  if (stat(finalPath_.c_str(), &status) == 0 && !S_ISREG(status.st_mode)) {
    if (S_ISDIR(status.st_mode)) Fail(finalPath_ + " is a folder");
    // A device or pipe (/dev/null for a first pass) is written directly.
    tempPath_ = finalPath_;
    committed_ = true;
    return;
  }
  // The same folder keeps the final rename atomic; the leading dot hides the
  // half-written file, and the extension stays for format guessing.
  std::string pattern = FolderOf(finalPath_) + "." + NameOf(finalPath_) + ".XXXXXX";
  if (pattern.size() >= sizeof g_pendingPath) Fail("output path too long: " + finalPath_);
  InstallSignalCleanup();
  std::strcpy(g_pendingPath, pattern.c_str());
  const int fd = mkstemp(g_pendingPath);
  if (fd < 0) {
    const int error = errno;
    g_pendingPath[0] = '\0';
    Fail("cannot create a file in the folder of " + finalPath_ + ": " + std::strerror(error));
  }
  // mkstemp makes the file private; give it the mode a new file would get.
  const mode_t mask = umask(0);
  umask(mask);
  fchmod(fd, 0666 & ~mask);
  close(fd);
  tempPath_ = g_pendingPath;
}

PendingOutput::~PendingOutput() {
  if (!committed_) {
    unlink(tempPath_.c_str());
    g_pendingPath[0] = '\0';
  }
}

void PendingOutput::Commit() {
  if (committed_) return;
  const int fd = open(tempPath_.c_str(), O_RDONLY);
  if (fd >= 0) {
    fsync(fd);
    close(fd);
  }
  if (rename(tempPath_.c_str(), finalPath_.c_str()) != 0)
    Fail("cannot write " + finalPath_ + ": " + std::strerror(errno));
  committed_ = true;
  g_pendingPath[0] = '\0';
}

}  // namespace kenc
