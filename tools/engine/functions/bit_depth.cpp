// Bit depth: ConvertBits and its older names, and the 8-bit pictures the
// encoders take (bit_depth.h has the scale every conversion keeps).
#include "tools/engine/functions/bit_depth.h"

#include "tools/engine/functions/channels.h"
#include "tools/engine/functions/common.h"
#include "tools/engine/functions/families.h"
#include "tools/engine/pixel_format.h"
#include "tools/engine/scale.h"

extern "C" {
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <cmath>
#include <cstring>
#include <thread>

namespace avs {

namespace {

using K = ChannelKind;

enum class Role { Level, Chroma, Alpha };

Role RoleOf(K kind) {
  if (kind == K::A) return Role::Alpha;
  return kind == K::U || kind == K::V ? Role::Chroma : Role::Level;
}

// One side of a conversion: how a channel's samples map to the common scale.
struct SampleScale {
  int bits;   // 8..16, or 32 for float
  bool full;  // range

  bool floating() const { return bits == 32; }
  double max() const { return std::ldexp(1.0, bits) - 1; }

  // The common value of a sample.
  double Value(double v, Role role) const {
    if (role == Role::Alpha) return floating() ? v : v / max();
    if (floating()) return full ? v : (v * 255 - 16) / 219;
    const double unit = std::ldexp(1.0, bits - 8);
    if (role == Role::Chroma)
      return full ? (v - std::ldexp(1.0, bits - 1)) / (max() - 1) : (v / unit - 128) / 224;
    return full ? v / max() : (v / unit - 16) / 219;
  }
  // The sample, unrounded, of a common value.
  double Sample(double x, Role role) const {
    if (role == Role::Alpha) return floating() ? x : x * max();
    if (floating()) return full ? x : (16 + 219 * x) / 255;
    const double unit = std::ldexp(1.0, bits - 8);
    if (role == Role::Chroma) return full ? std::ldexp(1.0, bits - 1) + x * (max() - 1) : (128 + 224 * x) * unit;
    return full ? x * max() : (16 + 219 * x) * unit;
  }
};

// The 8x8 Bayer matrix: thresholds (k + 0.5) / 64 spread evenly.
constexpr uint8_t kBayer[8][8] = {
    {0, 32, 8, 40, 2, 34, 10, 42},  {48, 16, 56, 24, 50, 18, 58, 26}, {12, 44, 4, 36, 14, 46, 6, 38},
    {60, 28, 52, 20, 62, 30, 54, 22}, {3, 35, 11, 43, 1, 33, 9, 41},  {51, 19, 59, 27, 49, 17, 57, 25},
    {15, 47, 7, 39, 13, 45, 5, 37},  {63, 31, 55, 23, 61, 29, 53, 21}};

// Eight 16-bit samples, and eight bytes, as the compiler's vectors.
using Words = uint16_t __attribute__((vector_size(16)));
using Bytes = uint8_t __attribute__((vector_size(8)));

template <class T>
T Load(const uint8_t* p) {
  T v;
  std::memcpy(&v, p, sizeof v);
  return v;
}
template <class T>
void Store(uint8_t* p, T v) {
  std::memcpy(p, &v, sizeof v);
}

// The conversion of one channel: its samples' targets, unrounded, in units
// of the dither step (the target's own samples without dither), from a
// table for integer sources.
class ChannelConversion {
 public:
  ChannelConversion(const Channel& from, const Channel& to, Role role, SampleScale in, SampleScale out, double step)
      : from_(from), to_(to), role_(role), in_(in), out_(out), step_(step) {
    if (!in.floating()) {
      table_.resize(std::size_t{1} << std::min(in.bits, 16));
      for (std::size_t v = 0; v < table_.size(); ++v) table_[v] = static_cast<float>(Target(static_cast<double>(v)));
    }
    // Fewer bits of the same range, the encoders' case: a shift, in integers.
    if (!in.floating() && !out.floating() && in.bits > out.bits && step == 1) {
      const int shift = in.bits - out.bits;
      bool plain = true;
      for (std::size_t v = 0; v < table_.size() && plain; ++v)
        plain = std::fabs(table_[v] - std::ldexp(static_cast<double>(v), -shift)) < 1e-3;
      if (plain) {
        shift_ = shift;
        ordered_.resize(8 * static_cast<std::size_t>(from.width));
        rounding_.assign(8 * static_cast<std::size_t>(from.width), static_cast<uint16_t>(1 << (shift - 1)));
        for (int y = 0; y < 8; ++y)
          for (int x = 0; x < from.width; ++x)
            ordered_[static_cast<std::size_t>(y * from.width + x)] =
                static_cast<uint16_t>((2 * kBayer[y][x & 7] + 1) << shift >> 7);
      }
    }
  }

  // Rows [first, end) of the channel.
  void Convert(const AVFrame& source, AVFrame& target, int first, int end, Dither dither) const {
    if (shift_ > 0 && dither != Dither::ErrorDiffusion) {
      if (to_.size == 1) Shift<uint8_t>(source, target, first, end, dither);
      else Shift<uint16_t>(source, target, first, end, dither);
      return;
    }
    const int inBytes = in_.bits <= 8 ? 1 : in_.bits <= 16 ? 2 : 4;
    const int outBytes = out_.bits <= 8 ? 1 : out_.bits <= 16 ? 2 : 4;
    std::vector<float> errors;
    if (dither == Dither::ErrorDiffusion) errors.assign(2 * (static_cast<std::size_t>(from_.width) + 2), 0.0f);
    const double highest = std::floor(out_.max() / step_);
    for (int y = first; y < end; ++y) {
      const uint8_t* src = from_.Row(source, y);
      uint8_t* dst = to_.Row(target, y);
      float* here = errors.empty() ? nullptr : errors.data() + (y % 2) * (from_.width + 2) + 1;
      float* below = errors.empty() ? nullptr : errors.data() + ((y + 1) % 2) * (from_.width + 2) + 1;
      if (below) std::fill(below - 1, below + from_.width + 1, 0.0f);
      for (int x = 0; x < from_.width; ++x) {
        const uint8_t* s = src + static_cast<std::ptrdiff_t>(x) * from_.step;
        double value = inBytes == 1   ? table_[*s]
                       : inBytes == 2 ? table_[Load<uint16_t>(s) & (table_.size() - 1)]
                                      : Target(Load<float>(s));
        if (std::isnan(value)) value = 0;  // a float source's NaN counts as 0
        uint8_t* d = dst + static_cast<std::ptrdiff_t>(x) * to_.step;
        if (out_.floating()) {
          Store(d, static_cast<float>(value));
          continue;
        }
        double level;
        if (dither == Dither::Ordered) {
          level = std::floor(value + (kBayer[y & 7][x & 7] + 0.5) / 64);
        } else if (dither == Dither::ErrorDiffusion) {
          const double wanted = std::isfinite(here[x]) ? value + here[x] : value;
          level = std::clamp(std::round(wanted), 0.0, highest);
          const auto error = static_cast<float>(wanted - level);
          here[x + 1] += error * 7 / 16;
          below[x - 1] += error * 3 / 16;
          below[x] += error * 5 / 16;
          below[x + 1] += error / 16;
        } else {
          level = std::round(value);
        }
        const auto sample = static_cast<int>(std::clamp(level, 0.0, highest) * step_);
        if (outBytes == 1) *d = static_cast<uint8_t>(sample);
        else Store(d, static_cast<uint16_t>(sample));
      }
    }
  }

  int height() const { return from_.height; }

 private:
  // (v + d) >> shift, d half the step to round, or the ordered pattern's
  // threshold in units of the source, laid out along whole rows so that the
  // loop runs over plain arrays; the largest samples round up to one past
  // the target's largest, which they stop at.
  template <class Out>
  void Shift(const AVFrame& source, AVFrame& target, int first, int end, Dither dither) const {
    const std::vector<uint16_t>& offsets = dither == Dither::Ordered ? ordered_ : rounding_;
    const int inStep = from_.step / 2, outStep = to_.step / static_cast<int>(sizeof(Out)), width = from_.width;
    const int shift = shift_;
    const uint32_t largest = (1u << (in_.bits - shift)) - 1;
    for (int y = first; y < end; ++y) {
      const auto* __restrict src = reinterpret_cast<const uint16_t*>(from_.Row(source, y));
      auto* __restrict dst = reinterpret_cast<Out*>(to_.Row(target, y));
      const uint16_t* __restrict add = offsets.data() + static_cast<std::ptrdiff_t>(y & 7) * width;
      if (inStep == 1 && outStep == 1) {
        // Eight samples at a time in vector registers, then the rest. A sum
        // past 16 bits stops at the largest word, which shifts to the
        // largest target sample as the true sum would.
        int x = 0;
        for (; x + 8 <= width; x += 8) {
          Words v, a;
          std::memcpy(&v, src + x, sizeof v);
          std::memcpy(&a, add + x, sizeof a);
          Words sum = v + a;
          sum = sum < v ? Words{} - 1 : sum;
          sum >>= shift;
          sum = sum > static_cast<uint16_t>(largest) ? static_cast<uint16_t>(largest) : sum;
          if constexpr (sizeof(Out) == 1) {
            const auto bytes = __builtin_convertvector(sum, Bytes);
            std::memcpy(dst + x, &bytes, sizeof bytes);
          } else {
            std::memcpy(dst + x, &sum, sizeof sum);
          }
        }
        for (; x < width; ++x) dst[x] = static_cast<Out>(std::min((uint32_t{src[x]} + add[x]) >> shift, largest));
      } else {
        for (int x = 0; x < width; ++x)
          dst[x * outStep] = static_cast<Out>(std::min((uint32_t{src[x * inStep]} + add[x]) >> shift, largest));
      }
    }
  }

  double Target(double v) const { return out_.Sample(in_.Value(v, role_), role_) / step_; }

  Channel from_, to_;
  Role role_;
  SampleScale in_, out_;
  double step_;
  std::vector<float> table_;
  // When the conversion is a plain shift of integers: by how much, and what
  // each row of 8 adds before it.
  int shift_ = 0;
  std::vector<uint16_t> ordered_, rounding_;
};

class DepthConverter {
 public:
  DepthConverter(AVPixelFormat from, const DepthChange& change, int width, int height) : change_(change) {
    const std::vector<Channel> in = ChannelsOf(from, width, height), out = ChannelsOf(change.target, width, height);
    const int outBits = BitsPerComponent(change.target);
    const double step = outBits == 32 ? 1 : std::ldexp(1.0, outBits - std::min(change.ditherBits, outBits));
    for (std::size_t c = 0; c < in.size(); ++c) {
      const Role role = RoleOf(in[c].kind);
      const bool alpha = role == Role::Alpha;
      channels_.emplace_back(in[c], out[c], role, SampleScale{change.sourceBits, alpha || change.fullSource},
                             SampleScale{outBits, alpha || change.fullTarget}, step);
    }
  }

  void Convert(const AVFrame& source, AVFrame& target) const {
    // Error diffusion runs down each channel; the others split large
    // pictures between two threads.
    const bool split = change_.dither != Dither::ErrorDiffusion &&
                       static_cast<int64_t>(source.width) * source.height >= kSplitSamples;
    auto part = [&](int index, int parts) {
      for (const ChannelConversion& channel : channels_)
        channel.Convert(source, target, channel.height() * index / parts, channel.height() * (index + 1) / parts,
                        change_.dither);
    };
    if (!split) {
      part(0, 1);
      return;
    }
    std::thread helper(part, 1, 2);
    part(0, 2);
    helper.join();
  }

 private:
  static constexpr int64_t kSplitSamples = 640 * 360;
  DepthChange change_;
  std::vector<ChannelConversion> channels_;
};

void SetRange(AVFrame& frame, const DepthChange& change) {
  if (!IsRgbFormat(change.target)) frame.color_range = change.fullTarget ? AVCOL_RANGE_JPEG : AVCOL_RANGE_MPEG;
}

class DepthClip : public PictureFilter {
 public:
  DepthClip(const ClipInfo& info, std::string origin, ClipPtr source, const DepthChange& change)
      : PictureFilter(info, std::move(origin), {source}),
        change_(change),
        converter_(source->info().pixelFormat, change, info.width, info.height) {}

  FrameRef MakeFrame(int64_t n, const Inputs& in) const override {
    const FrameRef source = in.Frame(0, n);
    FramePtr out = NewFrame(*source);
    converter_.Convert(*source, *out);
    SetRange(*out, change_);
    return Share(std::move(out));
  }

 private:
  DepthChange change_;
  DepthConverter converter_;
};

// ConvertBits(clip, bits, truerange, dither, dither_bits, fulls, fulld).
Value ConvertBits(Call& call, int fixedBits) {
  ClipPtr clip = call.Clip(0);
  const ClipInfo& in = VideoOf(call, 0);
  const int from = BitsPerComponent(in.pixelFormat);
  const int64_t bits = fixedBits ? call.Int(1, fixedBits) : call.Int(1, from);
  if (bits != 8 && bits != 10 && bits != 12 && bits != 14 && bits != 16 && bits != 32)
    call.Fail("bits must be 8, 10, 12, 14, 16 or 32");
  const int target = static_cast<int>(bits);
  // YUY2 changes depth as the planar YV16 it packs.
  if (in.pixelFormat == AV_PIX_FMT_YUYV422 && target != 8) clip = WithPixelType(call, clip, "YV16");
  const AVPixelFormat format = clip->info().pixelFormat;
  DepthChange change;
  change.target = AtDepth(format, target);
  if (change.target == AV_PIX_FMT_NONE) {
    if (target == 32 && !IsRgbFormat(format))
      call.Fail("32-bit float YUV pictures are not supported; Y and planar RGB pictures can be float");
    call.Fail(std::string(PixelTypeName(format)) + " has no " + std::to_string(target) +
              "-bit form; convert to planar RGB or YUV first");
  }
  change.sourceBits = from;
  if (!call.Bool(2, true)) {
    if (!IsPlanar(format)) call.Fail("truerange applies only to planar pictures");
    if (from > 8 && from < 16) change.sourceBits = 16;
  }
  const int64_t dither = call.Int(3, -1);
  if (dither < -1 || dither > 1) call.Fail("dither must be -1, 0 or 1");
  const int64_t ditherBits = call.Int(4, target);
  if (dither != -1) {
    if (target == 32) call.Fail("float pictures cannot be dithered");
    if (ditherBits < 1 || ditherBits > target)
      call.Fail("dither_bits must be between 1 and " + std::to_string(target));
    if (ditherBits == target && target >= change.sourceBits)
      call.Fail("dithering needs fewer bits than the source's, or a smaller dither_bits");
    change.dither = dither == 0 ? Dither::Ordered : Dither::ErrorDiffusion;
  }
  change.ditherBits = dither == -1 ? target : static_cast<int>(ditherBits);
  change.fullSource = call.Bool(5, IsRgbFormat(format));
  change.fullTarget = call.Bool(6, change.fullSource);
  if (change.target == format && change.fullSource == change.fullTarget && change.dither == Dither::None &&
      change.sourceBits == from)
    return clip;
  return MakeDepthClip(call.origin, clip, change);
}

}  // namespace

ClipPtr MakeDepthClip(std::string origin, ClipPtr source, const DepthChange& change) {
  ClipInfo info = source->info();
  info.pixelFormat = change.target;
  return std::make_shared<DepthClip>(info, std::move(origin), std::move(source), change);
}

FramePtr ChangeDepth(const AVFrame& picture, const DepthChange& change, const std::string& origin) {
  const auto format = static_cast<AVPixelFormat>(picture.format);
  if (AtDepth(format, BitsPerComponent(change.target)) != change.target)
    throw ScriptError(origin + ": cannot change " + PixelTypeName(format) + " pictures to " +
                      PixelTypeName(change.target));
  FramePtr out = NewPicture(picture.width, picture.height, change.target);
  DepthConverter(format, change, picture.width, picture.height).Convert(picture, *out);
  SetRange(*out, change);
  return out;
}

DepthChange PlainDepthChange(AVPixelFormat from, AVPixelFormat to) {
  DepthChange change;
  change.target = to;
  change.fullSource = change.fullTarget = IsRgbFormat(from);
  change.sourceBits = BitsPerComponent(from);
  change.ditherBits = BitsPerComponent(to);
  return change;
}

ClipPtr ForEncoders(ClipPtr clip) {
  const ClipInfo& info = clip->info();
  if (!info.hasVideo || !IsHighDepth(info.pixelFormat)) return clip;
  DepthChange change = PlainDepthChange(info.pixelFormat, AtDepth(info.pixelFormat, 8));
  change.dither = Dither::Ordered;
  const std::string origin = clip->origin();
  return MakeDepthClip(origin, std::move(clip), change);
}

void RegisterBitDepthFunctions(FunctionTable& table) {
  const std::string params = "clip:c ?bits:i ?truerange:b ?dither:i ?dither_bits:i ?fulls:b ?fulld:b";
  table["convertbits"] = {params, [](Call& call) { return ConvertBits(call, 0); }};
  table["convertto8bit"] = {params, [](Call& call) { return ConvertBits(call, 8); }};
  table["convertto16bit"] = {params, [](Call& call) { return ConvertBits(call, 16); }};
  table["converttofloat"] = {params, [](Call& call) { return ConvertBits(call, 32); }};
}

}  // namespace avs
