// WAVE input as neroAacEnc reads it from a file or a pipe: the RIFF header
// up to the sound, and the samples of the PCM and float formats it accepts.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <stdexcept>

namespace kenc::wave {

struct WaveError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

enum class SampleKind { Integer, Float };

struct WaveFormat {
  SampleKind kind = SampleKind::Integer;
  int channels = 0;
  int sampleRate = 0;
  int bitsPerSample = 0;
  int blockAlign = 0;
  uint64_t dataLength = 0;  // from the header; ignored with -ignorelength
};

// Reads exactly `size` bytes unless the input ends first; returns the count.
size_t ReadFully(FILE* in, void* buffer, size_t size);

// Reads the RIFF header up to the start of the "data" chunk's bytes. Works on
// a pipe: chunks are skipped by reading, never by seeking. Throws WaveError
// for anything but 8 to 32-bit integer or 32/64-bit float PCM of 1 to 8
// channels at 8 to 96 kHz.
WaveFormat ReadWaveHeader(FILE* in);

// One sample of `format` at `p`, scaled to -1..1; floats beyond it are
// clipped, and one that is not a number is silence.
float SampleToFloat(const uint8_t* p, const WaveFormat& format);

}  // namespace kenc::wave
