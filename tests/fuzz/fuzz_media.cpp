// A media file of arbitrary bytes (an AVI header that lies about its sizes,
// a truncated WAVE file, anything at all): it opens or is refused with a
// message, and the first and last frames and some sound of what opens are
// read.
#include "tools/engine/media.h"
#include "tools/engine/reading.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  // The bytes are a file of the run's own, in memory, named by its
  // descriptor: no folder to clean, nothing another run can see.
  const int fd = memfd_create("kelvarion-fuzz-media", MFD_CLOEXEC);
  if (fd < 0) std::abort();
  if (size > 0 && ::write(fd, data, size) != static_cast<ssize_t>(size)) std::abort();
  try {
    const avs::ClipPtr clip = avs::OpenMedia({.path = "/proc/self/fd/" + std::to_string(fd)}, "fuzz.avs, line 1");
    const avs::ClipInfo& info = clip->info();
    avs::Reading reading(std::size_t{16} << 20);
    if (info.hasVideo) {
      reading.Frame(*clip, 0);
      reading.Frame(*clip, info.frameCount - 1);
    }
    if (info.hasAudio) {
      std::vector<uint8_t> samples(std::size_t{64} * info.channels * 8);
      reading.Samples(*clip, samples.data(), 0, 64);
      reading.Samples(*clip, samples.data(), info.sampleCount - 32, 64);
    }
  } catch (const avs::ScriptError& error) {
    if (std::string(error.what()).empty()) std::abort();
  }
  ::close(fd);
  return 0;
}
