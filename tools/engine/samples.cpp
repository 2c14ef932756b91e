#include "tools/engine/samples.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <type_traits>

namespace avs {

int BytesPerSample(SampleType type) {
  switch (type) {
    case SampleType::U8: return 1;
    case SampleType::S16: return 2;
    default: return 4;
  }
}

int BitsPerSample(SampleType type) {
  switch (type) {
    case SampleType::U8: return 8;
    case SampleType::S16: return 16;
    case SampleType::S24: return 24;
    default: return 32;
  }
}

AVSampleFormat PackedFormat(SampleType type) {
  switch (type) {
    case SampleType::U8: return AV_SAMPLE_FMT_U8;
    case SampleType::S16: return AV_SAMPLE_FMT_S16;
    case SampleType::Float: return AV_SAMPLE_FMT_FLT;
    default: return AV_SAMPLE_FMT_S32;
  }
}

SampleType SampleTypeOf(AVSampleFormat format, int rawBits) {
  switch (av_get_packed_sample_fmt(format)) {
    case AV_SAMPLE_FMT_U8: return SampleType::U8;
    case AV_SAMPLE_FMT_S32:
    case AV_SAMPLE_FMT_S64: return rawBits > 0 && rawBits <= 24 ? SampleType::S24 : SampleType::S32;
    case AV_SAMPLE_FMT_FLT:
    case AV_SAMPLE_FMT_DBL: return SampleType::Float;
    default: return SampleType::S16;
  }
}

void FillSilence(void* dst, SampleType type, std::size_t count) {
  std::memset(dst, type == SampleType::U8 ? 0x80 : 0, count * static_cast<std::size_t>(BytesPerSample(type)));
}

namespace {

// Every integer type as a signed 32-bit value with its top bits aligned
// (the value times 2^(32-bits)), which keeps integer conversions exact.
int32_t ToAligned(const void* src, SampleType type, std::size_t i) {
  switch (type) {
    case SampleType::U8: return static_cast<int32_t>(static_cast<uint32_t>(static_cast<const uint8_t*>(src)[i] ^ 0x80) << 24);
    case SampleType::S16: return static_cast<int32_t>(static_cast<uint32_t>(static_cast<const int16_t*>(src)[i]) << 16);
    case SampleType::S24: return static_cast<int32_t>(static_cast<uint32_t>(static_cast<const int32_t*>(src)[i]) << 8);
    default: return static_cast<const int32_t*>(src)[i];
  }
}

void FromAligned(int32_t value, void* dst, SampleType type, std::size_t i) {
  switch (type) {
    case SampleType::U8: static_cast<uint8_t*>(dst)[i] = static_cast<uint8_t>((value >> 24) ^ 0x80); break;
    case SampleType::S16: static_cast<int16_t*>(dst)[i] = static_cast<int16_t>(value >> 16); break;
    case SampleType::S24: static_cast<int32_t*>(dst)[i] = value >> 8; break;
    default: static_cast<int32_t*>(dst)[i] = value; break;
  }
}

}  // namespace

void ConvertSamples(const void* src, SampleType from, void* dst, SampleType to, std::size_t count) {
  if (from == to) {
    std::memcpy(dst, src, count * static_cast<std::size_t>(BytesPerSample(from)));
    return;
  }
  if (from == SampleType::Float) {
    const float* in = static_cast<const float*>(src);
    const double scale = std::ldexp(1.0, BitsPerSample(to) - 1);
    for (std::size_t i = 0; i < count; ++i) {
      // NaN becomes silence rather than undefined behaviour.
      double x = std::isnan(in[i]) ? 0.0 : std::nearbyint(static_cast<double>(in[i]) * scale);
      int32_t value = static_cast<int32_t>(std::clamp(x, -scale, scale - 1));
      FromAligned(static_cast<int32_t>(static_cast<uint32_t>(value) << (32 - BitsPerSample(to))), dst, to, i);
    }
    return;
  }
  if (to == SampleType::Float) {
    float* out = static_cast<float*>(dst);
    for (std::size_t i = 0; i < count; ++i)
      out[i] = static_cast<float>(std::ldexp(static_cast<double>(ToAligned(src, from, i)), -31));
    return;
  }
  for (std::size_t i = 0; i < count; ++i) FromAligned(ToAligned(src, from, i), dst, to, i);
}

}  // namespace avs
