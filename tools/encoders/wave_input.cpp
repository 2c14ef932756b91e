#include "tools/encoders/wave_input.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

namespace kenc::wave {

size_t ReadFully(FILE* in, void* buffer, size_t size) {
  size_t done = 0;
  while (done < size) {
    const size_t got = std::fread(static_cast<char*>(buffer) + done, 1, size - done, in);
    if (got == 0) break;
    done += got;
  }
  return done;
}

namespace {

uint32_t Le32(const uint8_t* p) { return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24; }
uint16_t Le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }

}  // namespace

WaveFormat ReadWaveHeader(FILE* in) {
  uint8_t riff[12];
  if (ReadFully(in, riff, 12) != 12 || std::memcmp(riff, "RIFF", 4) != 0 || std::memcmp(riff + 8, "WAVE", 4) != 0)
    throw WaveError("the input is not a WAVE file");
  WaveFormat format;
  bool haveFormat = false;
  for (;;) {
    uint8_t chunk[8];
    if (ReadFully(in, chunk, 8) != 8) throw WaveError("the WAVE input has no data chunk");
    const uint32_t size = Le32(chunk + 4);
    if (std::memcmp(chunk, "data", 4) == 0) {
      if (!haveFormat) throw WaveError("the WAVE input has no format chunk before its data");
      format.dataLength = size;
      return format;
    }
    if (std::memcmp(chunk, "fmt ", 4) == 0) {
      if (size < 16 || size > 1024) throw WaveError("the WAVE format chunk is malformed");
      std::vector<uint8_t> body(size + (size & 1));
      if (ReadFully(in, body.data(), body.size()) != body.size()) throw WaveError("the WAVE header is truncated");
      uint16_t tag = Le16(&body[0]);
      format.channels = Le16(&body[2]);
      format.sampleRate = static_cast<int>(Le32(&body[4]));
      format.blockAlign = Le16(&body[12]);
      format.bitsPerSample = Le16(&body[14]);
      if (tag == 0xFFFE) {  // WAVE_FORMAT_EXTENSIBLE: the real tag opens the sub-format GUID
        if (size < 40) throw WaveError("the extensible WAVE format chunk is truncated");
        tag = Le16(&body[24]);
      }
      if (tag == 1) {
        format.kind = SampleKind::Integer;
        if (format.bitsPerSample != 8 && format.bitsPerSample != 16 && format.bitsPerSample != 24 &&
            format.bitsPerSample != 32)
          throw WaveError("unsupported PCM sample size: " + std::to_string(format.bitsPerSample) + " bits");
      } else if (tag == 3) {
        format.kind = SampleKind::Float;
        if (format.bitsPerSample != 32 && format.bitsPerSample != 64)
          throw WaveError("unsupported float sample size: " + std::to_string(format.bitsPerSample) + " bits");
      } else {
        throw WaveError("unsupported WAVE sample format " + std::to_string(tag) + " (PCM or float expected)");
      }
      if (format.channels < 1 || format.channels > 8) throw WaveError("unsupported channel count: " + std::to_string(format.channels));
      if (format.sampleRate < 8000 || format.sampleRate > 96000)
        throw WaveError("unsupported sample rate: " + std::to_string(format.sampleRate));
      if (format.blockAlign != format.channels * format.bitsPerSample / 8) throw WaveError("the WAVE block alignment is inconsistent");
      haveFormat = true;
      continue;
    }
    // Any other chunk (LIST, fact, ...): skip its bytes and the pad byte.
    std::vector<uint8_t> skipped(4096);
    for (uint64_t left = size + (size & 1ull); left > 0;) {
      const size_t step = static_cast<size_t>(std::min<uint64_t>(left, skipped.size()));
      if (ReadFully(in, skipped.data(), step) != step) throw WaveError("the WAVE header is truncated");
      left -= step;
    }
  }
}

float SampleToFloat(const uint8_t* p, const WaveFormat& format) {
  if (format.kind == SampleKind::Float) {
    double value;
    if (format.bitsPerSample == 32) {
      float single;
      std::memcpy(&single, p, 4);
      value = single;
    } else {
      std::memcpy(&value, p, 8);
    }
    // Float sound may stray past full scale (or hold no number at all),
    // which the encoder's quantiser cannot take: it clips, as a converter
    // to integer samples would.
    return std::isnan(value) ? 0.0f : static_cast<float>(std::clamp(value, -1.0, 1.0));
  }
  switch (format.bitsPerSample) {
    case 8: return (p[0] - 128) / 128.0f;
    case 16: return static_cast<int16_t>(Le16(p)) / 32768.0f;
    case 24: return static_cast<int32_t>(p[0] << 8 | p[1] << 16 | static_cast<uint32_t>(p[2]) << 24) / 2147483648.0f;
    default: return static_cast<int32_t>(Le32(p)) / 2147483648.0f;
  }
}

}  // namespace kenc::wave
