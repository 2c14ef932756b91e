// Fields and interlacing: the field order a clip claims, fields separated
// from frames and woven back, and Bob.
//
// As in AviSynth, a frame-based clip says which field of each frame comes
// first (bottom unless told otherwise), and in a field-based clip field n is
// a top field when n is even and the clip is top field first, or n is odd and
// it is not.
#include "tools/engine/filter.h"
#include "tools/engine/functions/blend.h"
#include "tools/engine/functions/channels.h"
#include "tools/engine/functions/common.h"
#include "tools/engine/functions/families.h"
#include "tools/engine/functions/resize.h"

extern "C" {
#include <libavutil/imgutils.h>
#include <libavutil/pixdesc.h>
#include <libavutil/rational.h>
}

namespace avs {

namespace {

bool IsTopField(const ClipInfo& fields, int64_t n) { return (n % 2 == 0) == fields.topFieldFirst; }

// The same frames and sound under a new description.
ClipPtr Described(const Call& call, const ClipInfo& info) {
  return std::make_shared<Rewired>(info, call.origin, call.Clip(0), call.Clip(0));
}

Function Assume(bool setFieldBased, bool fieldBased, bool setOrder, bool topFieldFirst) {
  return {"clip:c", [=](Call& call) -> Value {
            ClipInfo info = VideoOf(call, 0);
            if (setFieldBased) info.fieldBased = fieldBased;
            if (setOrder) info.topFieldFirst = topFieldFirst;
            return Described(call, info);
          }};
}

// Field n of each frame's two: rows of one parity, described in place.
class SeparatedClip : public FrameFilter {
 public:
  SeparatedClip(const ClipInfo& info, std::string origin, ClipPtr frames)
      : FrameFilter(info, std::move(origin), {std::move(frames)}) {}
  FrameRef MakeFrame(int64_t n, const Inputs& in) const override {
    FramePtr field = Reference(*in.Frame(0, n / 2));
    const bool bottom = !IsTopField(info(), n);
    for (int plane = 0; plane < 4 && field->data[plane]; ++plane) {
      if (bottom) field->data[plane] += field->linesize[plane];
      field->linesize[plane] *= 2;
    }
    field->height = info().height;
    return Share(std::move(field));
  }
  bool Costly() const override { return false; }
};

ClipPtr SeparateFields(const Call& call, const ClipPtr& frames) {
  const ClipInfo& in = frames->info();
  if (in.fieldBased) call.Fail("the clip is already field-based (AssumeFrameBased first to separate again)");
  const bool fourTwoZero = av_pix_fmt_desc_get(in.pixelFormat)->log2_chroma_h > 0;
  if (in.height % (fourTwoZero ? 4 : 2))
    call.Fail(std::string(PixelTypeName(in.pixelFormat)) + " fields need a height that is a multiple of " +
              (fourTwoZero ? "4" : "2"));
  ClipInfo info = in;
  info.height /= 2;
  info.frameCount *= 2;
  info.fps = in.fps.den % 2 ? CheckedRate(call, in.fps.num * 2, in.fps.den) : Rational{in.fps.num, in.fps.den / 2};
  info.fieldBased = true;
  return std::make_shared<SeparatedClip>(info, call.origin, frames);
}

// Frames of two fields each: fields n * step and n * step + 1, the top one
// on the even rows.
class WovenClip : public PictureFilter {
 public:
  WovenClip(const ClipInfo& info, std::string origin, ClipPtr fields, int step)
      : PictureFilter(info, std::move(origin), {std::move(fields)}), step_(step) {}
  FrameRef MakeFrame(int64_t n, const Inputs& in) const override {
    const int64_t first = n * step_;
    const FrameRef a = in.Frame(0, first), b = in.Frame(0, first + 1);
    const bool firstOnTop = IsTopField(in.Info(0), first);
    const AVFrame& top = firstOnTop ? *a : *b;
    const AVFrame& bottom = firstOnTop ? *b : *a;
    FramePtr out = NewFrame(top);
    const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(info().pixelFormat);
    for (int plane = 0; plane < 4 && out->data[plane]; ++plane) {
      const bool chroma = plane == 1 || plane == 2;
      const int rows = AV_CEIL_RSHIFT(in.Info(0).height, chroma ? desc->log2_chroma_h : 0);
      const int bytes = av_image_get_linesize(info().pixelFormat, info().width, plane);
      const int stride = out->linesize[plane];
      av_image_copy_plane(out->data[plane], stride * 2, top.data[plane], top.linesize[plane], bytes, rows);
      av_image_copy_plane(out->data[plane] + stride, stride * 2, bottom.data[plane], bottom.linesize[plane], bytes,
                          rows);
    }
    return Share(std::move(out));
  }

 private:
  int step_;
};

ClipPtr Weave(const Call& call, const ClipPtr& fields, bool everyPair) {
  const ClipInfo& in = fields->info();
  ClipInfo info = in;
  info.height *= 2;
  CheckSize(call, info.width, info.height, info.pixelFormat);
  info.fieldBased = false;
  if (!everyPair) {
    info.frameCount /= 2;
    if (info.frameCount == 0) call.Fail("there is no pair of fields to weave");
    info.fps = in.fps.num % 2 ? CheckedRate(call, in.fps.num, in.fps.den * 2) : Rational{in.fps.num / 2, in.fps.den};
  }
  return std::make_shared<WovenClip>(info, call.origin, fields, everyPair ? 1 : 2);
}

Value WeaveFunction(Call& call) {
  if (!VideoOf(call, 0).fieldBased) call.Fail("the clip is frame-based (AssumeFieldBased first to weave it)");
  return Weave(call, call.Clip(0), false);
}

// DoubleWeave: every field woven with the next, at the fields' rate; frames
// are separated into fields first.
Value DoubleWeave(Call& call) {
  const ClipInfo& in = VideoOf(call, 0);
  return Weave(call, in.fieldBased ? call.Clip(0) : SeparateFields(call, call.Clip(0)), true);
}

// Bob: each field stretched to a frame by BicubicResize, a top field's rows
// a quarter of a field line lower than a bottom field's, so that both land
// where they were in the frame.
Value Bob(Call& call) {
  const ClipInfo& in = VideoOf(call, 0);
  const double b = call.Float(1, 1.0 / 3), c = call.Float(2, 1.0 / 3);
  if (!std::isfinite(b) || !std::isfinite(c)) call.Fail("b and c must be numbers");
  const ClipPtr fields = in.fieldBased ? call.Clip(0) : SeparateFields(call, call.Clip(0));
  const ClipInfo& f = fields->info();
  const int64_t height = call.Int(3, int64_t{f.height} * 2);
  CheckSize(call, f.width, height, f.pixelFormat);
  const double shift = 0.25;
  SourceWindow top{0, shift, static_cast<double>(f.width), static_cast<double>(f.height)};
  SourceWindow bottom = top;
  bottom.top = -shift;
  const bool evenIsTop = IsTopField(f, 0);
  ClipPtr frames = MakeWindowedResize(call.origin, fields, f.width, static_cast<int>(height), BicubicKernel(b, c),
                                      {evenIsTop ? top : bottom, evenIsTop ? bottom : top}, false, true);
  ClipInfo info = frames->info();
  info.fieldBased = false;
  return std::make_shared<Rewired>(info, call.origin, frames, frames);
}

// SeparateRows and SeparateColumns split each frame's rows (columns) into
// `interval` frames: frame k of each group takes rows (columns) k,
// k + interval, ... of every channel. WeaveRows and WeaveColumns put
// `interval` frames back together. SwapFields exchanges each pair of rows.
enum class Pick { SeparateRows, SeparateColumns, WeaveRows, WeaveColumns, SwapFields };

class PickedSamplesClip : public PictureFilter {
 public:
  PickedSamplesClip(const Call& call, const ClipInfo& info, Pick pick, int interval)
      : PictureFilter(info, call.origin, {call.Clip(0)}), pick_(pick), interval_(interval),
        channels_(ChannelsOf(info.pixelFormat, info.width, info.height)),
        sourceChannels_(ChannelsOf(VideoOf(call, 0).pixelFormat, VideoOf(call, 0).width, VideoOf(call, 0).height)) {}

  FrameRef MakeFrame(int64_t n, const Inputs& in) const override {
    const bool separate = pick_ == Pick::SeparateRows || pick_ == Pick::SeparateColumns;
    const int k = static_cast<int>(n % interval_);
    std::vector<FrameRef> sources;
    if (separate) sources.push_back(in.Frame(0, n / interval_));
    else if (pick_ == Pick::SwapFields) sources.push_back(in.Frame(0, n));
    else
      for (int i = 0; i < interval_; ++i) sources.push_back(in.Frame(0, n * interval_ + i));
    FramePtr out = NewFrame(*sources[0]);
    for (std::size_t c = 0; c < channels_.size(); ++c) {
      const Channel& to = channels_[c];
      const Channel& from = sourceChannels_[c];
      for (int y = 0; y < to.height; ++y) {
        uint8_t* row = to.Row(*out, y);
        for (int x = 0; x < to.width; ++x) {
          int sx = x, sy = y, frame = 0;
          switch (pick_) {
            case Pick::SeparateRows: sy = y * interval_ + k; break;
            case Pick::SeparateColumns: sx = x * interval_ + k; break;
            case Pick::WeaveRows:
              frame = y % interval_;
              sy = y / interval_;
              break;
            case Pick::WeaveColumns:
              frame = x % interval_;
              sx = x / interval_;
              break;
            case Pick::SwapFields: sy = y ^ 1; break;
          }
          row[x * to.step] = from.Row(*sources[static_cast<std::size_t>(frame)], sy)[sx * from.step];
        }
      }
    }
    return Share(std::move(out));
  }

 private:
  Pick pick_;
  int interval_;
  std::vector<Channel> channels_, sourceChannels_;
};

Function Picked(Pick pick) {
  const bool swap = pick == Pick::SwapFields;
  return {swap ? "clip:c" : "clip:c interval:i", [pick, swap](Call& call) -> Value {
            ClipInfo info = VideoOf(call, 0);
            if (av_pix_fmt_desc_get(info.pixelFormat)->comp[0].depth != 8)
              call.Fail(std::to_string(av_pix_fmt_desc_get(info.pixelFormat)->comp[0].depth) +
                        "-bit pictures are not supported");
            const int64_t interval = swap ? 2 : call.Int(1, 1);
            if (interval < 1 || interval > kMaxPictureSide) call.Fail("interval must be from 1 to 8192");
            const bool rows = pick == Pick::SeparateRows || pick == Pick::WeaveRows || swap;
            const bool separate = pick == Pick::SeparateRows || pick == Pick::SeparateColumns;
            // Every channel must split evenly (or, swapping, pair its rows).
            for (const Channel& channel : ChannelsOf(info.pixelFormat, info.width, info.height))
              if (separate || swap ? (rows ? channel.height : channel.width) % interval : 0)
                call.Fail(std::string("the ") + (rows ? "height" : "width") + " of every channel of the " +
                          PixelTypeName(info.pixelFormat) + " clip must be a multiple of " + std::to_string(interval));
            if (!swap) {
              int& side = rows ? info.height : info.width;
              const int64_t size = separate ? side / interval : int64_t{side} * interval;
              CheckSize(call, rows ? info.width : size, rows ? size : info.height, info.pixelFormat);
              side = static_cast<int>(size);
              const int64_t count = separate ? info.frameCount * interval : (info.frameCount + interval - 1) / interval;
              if (count > kMaxFrames) call.Fail("the clip would have too many frames");
              info.frameCount = count;
              int num = 0, den = 0;
              av_reduce(&num, &den, info.fps.num * (separate ? interval : 1), info.fps.den * (separate ? 1 : interval),
                        INT32_MAX);
              info.fps = CheckedRate(call, num, den);
            }
            return std::make_shared<PickedSamplesClip>(call, info, pick, static_cast<int>(interval));
          }};
}

// PeculiarBlend(cutoff): the rows from `cutoff` down are the frame's own;
// the rows above cutoff - 30 the next frame's; the 30 between blend from the
// next frame into this one.
class PeculiarBlendClip : public FrameFilter {
 public:
  PeculiarBlendClip(const Call& call, int cutoff) : FrameFilter(VideoOf(call, 0), call.origin, {call.Clip(0)}) {
    constexpr int kBlendRows = 30;
    for (int y = 0; y < info().height; ++y) {
      const int64_t weight = y >= cutoff ? 0 : (y < cutoff - kBlendRows ? kWholeWeight : (cutoff - y) * kWholeWeight / kBlendRows);
      rows_.push_back(RowMix{0, 1, weight});
    }
  }
  FrameRef MakeFrame(int64_t n, const Inputs& in) const override {
    const FrameRef frame = in.Frame(0, n), next = in.Frame(0, n + 1);
    return MixRows({frame.get(), next.get()}, rows_, info());
  }

 private:
  std::vector<RowMix> rows_;
};

Value PeculiarBlend(Call& call) {
  const ClipInfo& info = VideoOf(call, 0);
  if (av_pix_fmt_desc_get(info.pixelFormat)->comp[0].depth != 8)
    call.Fail(std::to_string(av_pix_fmt_desc_get(info.pixelFormat)->comp[0].depth) + "-bit pictures are not supported");
  const int64_t cutoff = call.Int(1, 0);
  if (cutoff < 0 || cutoff > info.height) call.Fail("cutoff must be from 0 to the picture's height");
  return std::make_shared<PeculiarBlendClip>(call, static_cast<int>(cutoff));
}

// Pulldown(a, b): frames a and b of every five, frame-based.
Value Pulldown(Call& call) {
  VideoOf(call, 0);
  const Value selected = call.interp.CallFunction("SelectEvery", {call.args[0], Value(int64_t{5}), call.args[1], call.args[2]},
                                                  call.origin);
  return call.interp.CallFunction("AssumeFrameBased", {selected}, call.origin);
}

}  // namespace

void RegisterFieldFunctions(FunctionTable& table) {
  table["separaterows"] = Picked(Pick::SeparateRows);
  table["separatecolumns"] = Picked(Pick::SeparateColumns);
  table["weaverows"] = Picked(Pick::WeaveRows);
  table["weavecolumns"] = Picked(Pick::WeaveColumns);
  table["swapfields"] = Picked(Pick::SwapFields);
  table["peculiarblend"] = {"clip:c cutoff:i", PeculiarBlend};
  table["pulldown"] = {"clip:c a:i b:i", Pulldown};
  table["assumetff"] = Assume(false, false, true, true);
  table["assumebff"] = Assume(false, false, true, false);
  table["assumefieldbased"] = Assume(true, true, true, false);
  table["assumeframebased"] = Assume(true, false, true, false);
  table["complementparity"] = {"clip:c", [](Call& call) -> Value {
                                 ClipInfo info = VideoOf(call, 0);
                                 info.topFieldFirst = !info.topFieldFirst;
                                 return Described(call, info);
                               }};
  table["separatefields"] = {"clip:c", [](Call& call) -> Value {
                               VideoOf(call, 0);
                               return SeparateFields(call, call.Clip(0));
                             }};
  table["weave"] = {"clip:c", WeaveFunction};
  table["doubleweave"] = {"clip:c", DoubleWeave};
  table["bob"] = {"clip:c ?b:f ?c:f ?height:i", Bob};
}

}  // namespace avs
