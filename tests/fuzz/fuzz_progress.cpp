// The encoder progress parser over arbitrary console output, fed in chunks
// as the tool thread reads them.
#include "proc/progress_parser.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  const char* text = reinterpret_cast<const char*>(data);
  proc::ParseProgressFigure(std::string_view(text, size));
  // The first byte chooses the chunk length, the rest is the output.
  if (size == 0) return 0;
  const std::size_t chunk = 1 + data[0] % proc::ProgressBuffer::kSize;
  proc::ProgressBuffer buffer;
  for (std::size_t at = 1; at < size; at += chunk) {
    const std::size_t length = std::min(chunk, size - at);
    buffer.Feed(text + at, length);
  }
  return 0;
}
