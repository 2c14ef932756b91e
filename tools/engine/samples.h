// Sound samples in the engine's sample types: their sizes in memory, silence,
// and exact conversions between them.
#pragma once

#include "tools/engine/engine.h"

extern "C" {
#include <libavutil/samplefmt.h>
}

#include <cstddef>
#include <cstdint>

namespace avs {

// Bytes of one sample of one channel in memory (24-bit samples take 4).
int BytesPerSample(SampleType type);
// Bits AviSynth gives the type (8, 16, 24, 32, 32).
int BitsPerSample(SampleType type);
// The packed FFmpeg format of the type; for S24 it is 32-bit, whose samples
// ConvertSamples(..., SampleType::S32, ..., SampleType::S24, ...) brings down.
AVSampleFormat PackedFormat(SampleType type);
// The engine's type for a decoder's sample format; `rawBits` is the bits the
// stream really carries (24 for 24-bit PCM decoded into 32-bit samples).
SampleType SampleTypeOf(AVSampleFormat format, int rawBits);

// `count` samples of silence.
void FillSilence(void* dst, SampleType type, std::size_t count);
// Converts `count` samples (channels times sample frames). Integer types
// convert among themselves by shifting, keeping the top bits; integers
// become floats divided by 2^(bits-1); floats become integers multiplied by
// 2^(bits-1), rounded to nearest and clamped.
void ConvertSamples(const void* src, SampleType from, void* dst, SampleType to, std::size_t count);

}  // namespace avs
