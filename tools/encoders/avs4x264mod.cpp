// avs4x264mod: runs the encoder named by --x264-binary with the other
// options. The encoder replaces this process (exec), so it keeps the process
// id and group, its console output goes straight to ours and its exit status
// is the caller's.
//
//   avs4x264mod [--x264-binary PATH] X264_OPTIONS...
#include "tools/encoders/common.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

// x264_64 beside this program, used when no --x264-binary is given.
std::string DefaultEncoder() {
  char self[4096];
  const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
  if (length <= 0) return "x264_64";
  const std::string path(self, static_cast<size_t>(length));
  return path.substr(0, path.rfind('/') + 1) + "x264_64";
}

}  // namespace

int main(int argc, char** argv) {
  kenc::SetToolName("avs4x264mod");
  if (argc < 2) {
    std::fputs("usage: avs4x264mod [--x264-binary PATH] X264_OPTIONS... INPUT.avs\n"
               "  runs PATH (default: x264_64 beside this program) with the x264 options\n",
               stderr);
    return 1;
  }
  std::string encoder;
  std::vector<char*> encoderArgs{nullptr};  // [0] is filled in below
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--x264-binary") == 0) {
      if (i + 1 >= argc) kenc::Fail("--x264-binary needs a path");
      encoder = argv[++i];
    } else {
      encoderArgs.push_back(argv[i]);
    }
  }
  if (encoder.empty()) encoder = DefaultEncoder();
  encoderArgs[0] = encoder.data();
  encoderArgs.push_back(nullptr);
  std::fflush(stdout);
  execv(encoder.c_str(), encoderArgs.data());
  kenc::Fail("cannot run " + encoder + ": " + std::strerror(errno));
}
