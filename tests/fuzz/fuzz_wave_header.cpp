// neroAacEnc's WAVE reader on arbitrary input: a header is accepted or
// refused with a message, and the samples of an accepted one decode.
#include "tools/encoders/wave_input.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

using namespace kenc::wave;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  FILE* in = fmemopen(const_cast<uint8_t*>(data), size, "rb");
  if (!in) return 0;
  try {
    const WaveFormat format = ReadWaveHeader(in);
    if (format.blockAlign <= 0 || format.blockAlign != format.channels * format.bitsPerSample / 8) std::abort();
    std::vector<uint8_t> block(static_cast<std::size_t>(format.blockAlign));
    for (int i = 0; i < 64 && ReadFully(in, block.data(), block.size()) == block.size(); ++i) {
      for (int c = 0; c < format.channels; ++c)
        SampleToFloat(block.data() + c * (format.bitsPerSample / 8), format);
    }
  } catch (const WaveError&) {
  }
  std::fclose(in);
  return 0;
}
