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
#include <filesystem>
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
  // Written whole, whatever bytes the message holds.
  const std::string line = std::string(g_toolName) + ": " + message + "\n";
  std::fwrite(line.data(), 1, line.size(), stderr);
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

void RefuseToOverwrite(const std::string& input, const std::string& output) {
  struct stat in {}, out {};
  if (stat(input.c_str(), &in) == 0 && stat(output.c_str(), &out) == 0 && S_ISREG(out.st_mode) &&
      in.st_dev == out.st_dev && in.st_ino == out.st_ino)
    Fail("will not write " + output + ": it is " + (input == output ? "the input" : "the input " + input));
}

PendingOutput::PendingOutput(std::string finalPath) : finalPath_(std::move(finalPath)) {
  if (finalPath_.empty()) Fail("no output file given");
  struct stat status {};
  // Writing to a link writes its target; the link stays a link.
  if (lstat(finalPath_.c_str(), &status) == 0 && S_ISLNK(status.st_mode)) {
    std::error_code error;
    const std::filesystem::path target = std::filesystem::weakly_canonical(finalPath_, error);
    if (error) Fail("cannot follow the link " + finalPath_ + ": " + error.message());
    finalPath_ = target.string();
  }
  if (stat(finalPath_.c_str(), &status) == 0) {
    if (S_ISDIR(status.st_mode)) Fail(finalPath_ + " is a folder");
    if (!S_ISREG(status.st_mode)) {
      // A device or pipe (/dev/null for a first pass) is written directly.
      tempPath_ = finalPath_;
      committed_ = true;
      return;
    }
    // A file nobody may write is kept, whoever runs the tool.
    if ((status.st_mode & 0222) == 0 || access(finalPath_.c_str(), W_OK) != 0)
      Fail(finalPath_ + " is read-only");
    replaced_ = status;
  }
  const std::string folder = FolderOf(finalPath_).empty() ? "." : FolderOf(finalPath_);
  // A file without a name until it is complete: whatever ends the tool, even
  // SIGKILL, nothing is left beside the output. Its descriptor's path in
  // /proc reaches it for writers that open by name.
  fd_ = open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
  if (fd_ >= 0) {
    tempPath_ = "/proc/self/fd/" + std::to_string(fd_);
    return;
  }
  // File systems without unnamed files: a hidden name in the same folder,
  // removed on failure and on the signals that can be caught.
  InstallSignalCleanup();
  CreateHiddenName();
  tempPath_ = g_pendingPath;
}

void PendingOutput::CreateHiddenName() {
  // The same folder keeps the final rename atomic; the leading dot hides the
  // half-written file, and the extension stays for format guessing.
  const std::string pattern = FolderOf(finalPath_) + "." + NameOf(finalPath_) + ".XXXXXX";
  if (pattern.size() >= sizeof g_pendingPath) Fail("output path too long: " + finalPath_);
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
}

PendingOutput::~PendingOutput() {
  if (fd_ >= 0) close(fd_);
  if (!committed_ && fd_ < 0) {
    unlink(tempPath_.c_str());
    g_pendingPath[0] = '\0';
  }
}

void PendingOutput::Commit() {
  if (committed_) return;
  const int fd = fd_ >= 0 ? fd_ : open(tempPath_.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd >= 0) {
    fsync(fd);
    // A replaced file keeps its permissions and, where the user may give
    // it, its owner and group.
    if (replaced_) {
      fchmod(fd, replaced_->st_mode & 07777);
      if (fchown(fd, replaced_->st_uid, replaced_->st_gid) != 0) {
        [[maybe_unused]] const int groupOnly = fchown(fd, static_cast<uid_t>(-1), replaced_->st_gid);
      }
    }
    if (fd != fd_) close(fd);
  }
  if (fd_ >= 0) {
    // A new output takes its name in one step; one that replaces a file is
    // named beside it first, then renamed over it.
    if (!replaced_ && linkat(AT_FDCWD, tempPath_.c_str(), AT_FDCWD, finalPath_.c_str(), AT_SYMLINK_FOLLOW) == 0) {
      committed_ = true;
      return;
    }
    InstallSignalCleanup();
    CreateHiddenName();
    unlink(g_pendingPath);
    if (linkat(AT_FDCWD, tempPath_.c_str(), AT_FDCWD, g_pendingPath, AT_SYMLINK_FOLLOW) != 0)
      Fail("cannot write " + finalPath_ + ": " + std::strerror(errno));
    tempPath_ = g_pendingPath;
  }
  if (rename(tempPath_.c_str(), finalPath_.c_str()) != 0) Fail("cannot write " + finalPath_ + ": " + std::strerror(errno));
  committed_ = true;
  g_pendingPath[0] = '\0';
}

}  // namespace kenc
