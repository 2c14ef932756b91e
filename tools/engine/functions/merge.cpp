// Merges: two clips of one size and type combined sample by sample. Merge
// mixes every channel, MergeLuma and MergeChroma the luma or the chroma only
// (the rest is clip1's), with `weight` the share of clip2; Subtract shows the
// difference about 50% grey. The result has clip1's length, rate and sound.
#include "tools/engine/functions/blend.h"
#include "tools/engine/functions/channels.h"
#include "tools/engine/functions/common.h"
#include "tools/engine/functions/families.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace avs {

namespace {

using K = ChannelKind;

// The two clips' common picture; fails unless they have the same size and
// 8-bit type.
const ClipInfo& SamePictures(const Call& call) {
  const ClipInfo& a = VideoOf(call, 0);
  const ClipInfo& b = VideoOf(call, 1);
  if (a.width != b.width || a.height != b.height || a.pixelFormat != b.pixelFormat)
    call.Fail("the clips must have the same size and pixel type (" + std::to_string(a.width) + "x" +
              std::to_string(a.height) + " " + PixelTypeName(a.pixelFormat) + " and " + std::to_string(b.width) + "x" +
              std::to_string(b.height) + " " + PixelTypeName(b.pixelFormat) + ")");
  RequireEightBit(call, a);
  return a;
}

// Each channel of frame `a` and the same of `b` made into the result's by
// `combine(kind, row of a, row of b, row out, samples, step)`.
template <class Combine>
FramePtr CombineChannels(const ClipInfo& info, const AVFrame& a, const AVFrame& b, FramePtr out,
                         const Combine& combine) {
  for (const Channel& channel : ChannelsOf(info.pixelFormat, info.width, info.height))
    for (int y = 0; y < channel.height; ++y)
      combine(channel.kind, channel.Row(a, y), channel.Row(b, y), channel.Row(*out, y), channel.width, channel.step);
  return out;
}

// clip1 with the channels `mixed` names mixed with clip2's: `weight` 65536ths
// of clip2, rounded as Merge's blends round.
class MixedClip : public PictureFilter {
 public:
  MixedClip(const Call& call, int64_t weight, bool luma, bool chroma)
      : PictureFilter(SamePictures(call), call.origin, {call.Clip(0), call.Clip(1)}),
        weight_(weight), luma_(luma), chroma_(chroma) {}

  FrameRef MakeFrame(int64_t n, const Inputs& in) const override {
    const FrameRef a = in.Frame(0, n), b = in.Frame(1, n);
    if (luma_ && chroma_) return Blend(*a, *b, weight_, info());
    const uint32_t wb = static_cast<uint32_t>(weight_), wa = static_cast<uint32_t>(kWholeWeight) - wb;
    return Share(CombineChannels(info(), *a, *b, NewFrame(*a),
                                 [&](K kind, const uint8_t* pa, const uint8_t* pb, uint8_t* po, int count, int step) {
                                   const bool mixed = kind == K::Y ? luma_ : chroma_;
                                   for (int x = 0, i = 0; x < count; ++x, i += step)
                                     po[i] = mixed ? static_cast<uint8_t>((pa[i] * wa + pb[i] * wb + 32768) >> 16)
                                                   : pa[i];
                                 }));
  }

 private:
  int64_t weight_;
  bool luma_, chroma_;
};

int64_t Weight(const Call& call, double weight) {
  if (!(weight >= 0 && weight <= 1)) call.Fail("weight must be from 0 to 1, not " + ShortNumber(weight));
  return std::lround(weight * kWholeWeight);
}

Value Merge(Call& call) {
  return std::make_shared<MixedClip>(call, Weight(call, call.Float(2, 0.5)), true, true);
}

// MergeLuma and MergeChroma take their weight also under its older names,
// lumaweight and chromaweight.
Function MergeChannels(bool luma) {
  return {std::string("clip1:c clip2:c ?weight:f ") + (luma ? "?lumaweight:f" : "?chromaweight:f"),
          [luma](Call& call) -> Value {
            const ClipInfo& info = SamePictures(call);
            if (IsRgbFormat(info.pixelFormat)) call.Fail("needs YUV clips");
            if (!HasChannel(info.pixelFormat, K::U)) call.Fail("needs clips with chroma");
            if (call.args[2].defined() && call.args[3].defined()) call.Fail("weight is given twice");
            const double weight = call.Float(2, call.Float(3, 1.0));
            return std::make_shared<MixedClip>(call, Weight(call, weight), luma, !luma);
          }};
}

// Each sample clip1 - clip2 + 50% grey, clamped; YUV's grey luma is 126, the
// middle of its 16-235 range.
class DifferenceClip : public PictureFilter {
 public:
  explicit DifferenceClip(const Call& call)
      : PictureFilter(SamePictures(call), call.origin, {call.Clip(0), call.Clip(1)}),
        lumaGrey_(IsRgbFormat(info().pixelFormat) ? 128 : 126) {}

  FrameRef MakeFrame(int64_t n, const Inputs& in) const override {
    const FrameRef a = in.Frame(0, n), b = in.Frame(1, n);
    return Share(CombineChannels(info(), *a, *b, NewFrame(*a),
                                 [&](K kind, const uint8_t* pa, const uint8_t* pb, uint8_t* po, int count, int step) {
                                   const int grey = kind == K::Y ? lumaGrey_ : 128;
                                   for (int x = 0, i = 0; x < count; ++x, i += step)
                                     po[i] = static_cast<uint8_t>(std::clamp(pa[i] - pb[i] + grey, 0, 255));
                                 }));
  }

 private:
  int lumaGrey_;
};

}  // namespace

void RegisterMergeFunctions(FunctionTable& table) {
  table["merge"] = {"clip1:c clip2:c ?weight:f", Merge};
  table["mergeluma"] = MergeChannels(true);
  table["mergechroma"] = MergeChannels(false);
  table["subtract"] = {"clip1:c clip2:c", [](Call& call) -> Value { return std::make_shared<DifferenceClip>(call); }};
}

}  // namespace avs
