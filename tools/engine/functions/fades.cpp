// Time: clips blended into one another: Dissolve, the fades (a dissolve to
// or from a clip of one colour) and ConvertFPS's blended frames.
//
// In an overlap of N frames, overlap frame i (0 <= i < N) takes (i + 1) /
// (N + 1) of the second clip and the rest of the first, so that neither end
// of the overlap is all of either clip; the sound of an overlap of L samples
// is weighted the same way sample by sample, (j + 1) / (L + 1).
#include "tools/engine/filter.h"
#include "tools/engine/functions/common.h"
#include "tools/engine/functions/families.h"
#include "tools/engine/samples.h"

extern "C" {
#include <libavutil/imgutils.h>
#include <libavutil/mathematics.h>
#include <libavutil/pixdesc.h>
}

#include <algorithm>
#include <cmath>
#include <vector>

namespace avs {

namespace {

constexpr int64_t kWhole = 65536;

// a * (1 - w) + b * w, w in 1/65536, byte by byte over every plane (every
// format the engine makes has 8-bit samples).
FrameRef Blend(const AVFrame& a, const AVFrame& b, int64_t w, const ClipInfo& info) {
  if (w <= 0) return nullptr;
  FramePtr out = NewPicture(info.width, info.height, info.pixelFormat);
  const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(info.pixelFormat);
  const uint32_t wb = static_cast<uint32_t>(std::min(w, kWhole)), wa = static_cast<uint32_t>(kWhole) - wb;
  for (int plane = 0; plane < av_pix_fmt_count_planes(info.pixelFormat); ++plane) {
    const bool chroma = plane == 1 || plane == 2;
    const int rows = chroma ? AV_CEIL_RSHIFT(info.height, desc->log2_chroma_h) : info.height;
    const int bytes = av_image_get_linesize(info.pixelFormat, info.width, plane);
    for (int y = 0; y < rows; ++y) {
      const uint8_t* pa = a.data[plane] + static_cast<std::ptrdiff_t>(y) * a.linesize[plane];
      const uint8_t* pb = b.data[plane] + static_cast<std::ptrdiff_t>(y) * b.linesize[plane];
      uint8_t* po = out->data[plane] + static_cast<std::ptrdiff_t>(y) * out->linesize[plane];
      for (int x = 0; x < bytes; ++x) po[x] = static_cast<uint8_t>((pa[x] * wa + pb[x] * wb + 32768) >> 16);
    }
  }
  out->colorspace = a.colorspace;
  out->color_range = a.color_range;
  return Share(std::move(out));
}

// The weight k / (n + 1) in 1/65536, rounded.
int64_t Weight(int64_t k, int64_t n) { return av_rescale_rnd(k, kWhole, n + 1, AV_ROUND_NEAR_INF); }

bool SameSound(const ClipInfo& a, const ClipInfo& b) {
  return a.sampleRate == b.sampleRate && a.channels == b.channels && a.sampleType == b.sampleType;
}

// Two clips, the last `frames` frames of the first blended into the first
// ones of the second, and the last `samples` samples of the first's sound
// into the start of the second's. A clip without sound (the colour clip of
// a fade) plays silence as long as its frames.
class DissolvedClip : public Clip {
 public:
  DissolvedClip(ClipInfo info, std::string origin, ClipPtr a, ClipPtr b, int64_t frames, int64_t soundA,
                int64_t samples)
      : Clip(info, std::move(origin), {std::move(a), std::move(b)}),
        frames_(frames),
        soundA_(soundA),
        samples_(samples) {}

  std::unique_ptr<VideoStream> OpenVideo(Reading& reading) const override {
    return FramesFrom(
        [this, in = Inputs(reading, *this)](int64_t n) -> FrameRef {
          const int64_t cut = in.Info(0).frameCount - frames_;
          if (n < cut) return in.Frame(0, n);
          if (n >= cut + frames_) return in.Frame(1, n - cut);
          const int64_t i = n - cut;
          return Blend(*in.Frame(0, n), *in.Frame(1, i), Weight(i + 1, frames_), info());
        },
        true);
  }

  std::unique_ptr<AudioStream> OpenAudio(Reading& reading) const override {
    return SamplesFrom([this, in = Inputs(reading, *this)](void* dst, int64_t start, int64_t count) {
      const ClipInfo& info = this->info();
      const std::size_t values = static_cast<std::size_t>(count) * static_cast<std::size_t>(info.channels);
      const int64_t bStart = soundA_ - samples_;
      std::vector<float> a(values, 0.0f), b(values, 0.0f), raw(values);  // 4 bytes hold any sample
      auto read = [&](std::size_t input, int64_t from, std::vector<float>& to) {
        if (!in.Info(input).hasAudio) return;  // silence
        in.Samples(input, raw.data(), from, count);
        ConvertSamples(raw.data(), info.sampleType, to.data(), SampleType::Float, values);
      };
      // Only the parts of the range that each clip plays are read.
      if (start < soundA_) read(0, start, a);
      if (start + count > bStart) read(1, start - bStart, b);
      std::vector<float> out(values);
      for (int64_t s = 0; s < count; ++s) {
        const int64_t t = start + s;
        double wb = t < bStart     ? 0.0
                    : t >= soundA_ ? 1.0
                                   : static_cast<double>(t - bStart + 1) / static_cast<double>(samples_ + 1);
        for (int c = 0; c < info.channels; ++c) {
          const std::size_t k =
              static_cast<std::size_t>(s) * static_cast<std::size_t>(info.channels) + static_cast<std::size_t>(c);
          out[k] = static_cast<float>(a[k] * (1.0 - wb) + b[k] * wb);
        }
      }
      ConvertSamples(out.data(), SampleType::Float, dst, info.sampleType, values);
    });
  }

 private:
  int64_t frames_, soundA_, samples_;
};

// Dissolves a into b over `overlap` frames; `fps` times the overlap for
// clips that have sound only.
ClipPtr Dissolve2(const Call& call, const ClipPtr& a, const ClipPtr& b, int64_t overlap, double fps) {
  const ClipInfo &ia = a->info(), &ib = b->info();
  if (overlap < 0) call.Fail("the overlap cannot be negative");
  if (ia.hasVideo != ib.hasVideo) call.Fail("only some of the clips have video");
  ClipInfo info = ia;
  if (ia.hasVideo) {
    if (ia.width != ib.width || ia.height != ib.height || ia.pixelFormat != ib.pixelFormat)
      call.Fail("the clips' pictures differ in size or format");
    if (ia.fps.num * ib.fps.den != ib.fps.num * ia.fps.den) call.Fail("the clips' frame rates differ");
    if (overlap > ia.frameCount || overlap > ib.frameCount) call.Fail("the overlap is longer than a clip");
    info.frameCount = ia.frameCount + ib.frameCount - overlap;
  }
  if (ia.hasAudio && ib.hasAudio && !SameSound(ia, ib))
    call.Fail("the clips' sounds differ in rate, channels or sample type");
  const ClipInfo& sound = ia.hasAudio ? ia : ib;
  int64_t soundA = 0, samples = 0;
  if (sound.hasAudio) {
    info.hasAudio = true;
    info.sampleRate = sound.sampleRate;
    info.channels = sound.channels;
    info.sampleType = sound.sampleType;
    ClipInfo timing = ia;
    timing.sampleRate = sound.sampleRate;
    // Aligned like AlignedSplice: the first clip's sound lasts its frames.
    if (ia.hasVideo) {
      soundA = SamplesForFrames(ia.frameCount, timing);
      samples = SamplesForFrames(overlap, timing);
    } else {
      if (!(fps > 0 && fps <= kMaxFloatRate)) call.Fail("fps must be above 0");
      soundA = ia.sampleCount;
      // Cut to the sound before rounding, which a huge value would overflow.
      samples =
          std::llround(std::min(static_cast<double>(overlap) * sound.sampleRate / fps, static_cast<double>(soundA)));
    }
    const int64_t soundB = ib.hasAudio ? ib.sampleCount : SamplesForFrames(ib.frameCount, timing);
    samples = std::min({samples, soundA, soundB});
    info.sampleCount = soundA + soundB - samples;
    if (info.sampleCount > kMaxSamples) call.Fail("the sound would be too long");
  }
  if (info.frameCount > kMaxFrames) call.Fail("the clip would be too long");
  return std::make_shared<DissolvedClip>(info, call.origin, a, b, overlap, soundA, samples);
}

Value Dissolve(Call& call) {
  std::vector<ClipPtr> clips{call.Clip(0)};
  std::size_t i = 0;
  for (; i < call.rest.size() && call.rest[i].isClip(); ++i) clips.push_back(call.rest[i].asClip());
  Value overlap = call.args[2], fps = call.args[3];
  if (i < call.rest.size() && call.rest[i].isInt() && !overlap.defined()) overlap = call.rest[i++];
  if (i < call.rest.size() && call.rest[i].isNumber() && !fps.defined()) fps = call.rest[i++];
  if (i < call.rest.size()) call.Fail("unexpected " + std::string(call.rest[i].typeName()) + " after the clips");
  if (!overlap.defined() || !overlap.isInt()) call.Fail("the overlap, a number of frames, is missing");
  if (clips.size() < 2) call.Fail("needs at least two clips");
  ClipPtr result = clips[0];
  for (std::size_t k = 1; k < clips.size(); ++k)
    result = Dissolve2(call, result, clips[k], overlap.asInt(), fps.defined() ? fps.asFloat() : 24.0);
  return result;
}

// A clip of `frames` frames of one colour like `like`'s pictures, without
// sound; or, for a clip with sound only, silence lasting `frames` at `fps`.
ClipPtr ColourClip(const Call& call, const ClipInfo& like, int64_t frames, int64_t colour, double fps) {
  if (like.hasVideo) {
    // length, width, height, pixel_type, fps, fps_denominator, audio_rate, channels, sample_type, color
    Value blank = call.interp.CallFunction(
        "BlankClip",
        {Value(frames), Value(like.width), Value(like.height), Value(PixelTypeName(like.pixelFormat)),
         Value(like.fps.num), Value(like.fps.den), Value(0), Value(0), Value("16bit"), Value(colour)},
        call.origin);
    return blank.asClip();
  }
  if (!(fps > 0 && fps <= kMaxFloatRate)) call.Fail("fps must be above 0");
  ClipInfo info = like;
  const double samples = static_cast<double>(frames) * like.sampleRate / fps;
  if (samples > static_cast<double>(kMaxSamples)) call.Fail("the fade would be too long at that fps");
  info.sampleCount = std::max<int64_t>(1, std::llround(samples));
  class Silence : public Clip {
   public:
    using Clip::Clip;
    std::unique_ptr<AudioStream> OpenAudio(Reading&) const override {
      return SamplesFrom([this](void* dst, int64_t, int64_t count) {
        FillSilence(dst, info().sampleType, static_cast<std::size_t>(count) * info().channels);
      });
    }
  };
  return std::make_shared<Silence>(info, call.origin);
}

// FadeIn/FadeOut/FadeIO with `extra` frames of the colour added at the
// faded ends: a dissolve over num_frames with a colour clip num_frames +
// extra long.
Function Fade(bool in, bool out, int64_t extra) {
  return {"clip:c num_frames:i ?color:i ?fps:f", [in, out, extra](Call& call) -> Value {
            ClipPtr clip = call.Clip(0);
            const ClipInfo& info = clip->info();
            const int64_t n = call.Int(1, 0);
            if (n < 0 || n > kMaxFrames) call.Fail("num_frames must be between 0 and the clip's frame count");
            const int64_t colour = call.Int(2, 0);
            const double fps = call.Float(3, 24.0);
            if (n + extra == 0) return clip;
            if (out) clip = Dissolve2(call, clip, ColourClip(call, info, n + extra, colour, fps), n, fps);
            if (in) clip = Dissolve2(call, ColourClip(call, info, n + extra, colour, fps), clip, n, fps);
            return clip;
          }};
}

// ConvertFPS in its blend mode: output frame n, at time n / rate, lies
// between input frames k and k + 1 and is both blended in proportion to how
// near it is to each. The sound is unchanged.
class BlendedRate : public FrameFilter {
 public:
  BlendedRate(ClipInfo info, std::string origin, ClipPtr input, int64_t up, int64_t down)
      : FrameFilter(info, std::move(origin), {std::move(input)}), up_(up), down_(down) {}

  FrameRef MakeFrame(int64_t n, const Inputs& in) const override {
    // The input position n * down / up as k + r / up; n < 2^31 and down <
    // 2^62, so the product needs 128 bits.
    __extension__ using Wide = __int128;
    const Wide p = static_cast<Wide>(n) * down_;
    const int64_t k = static_cast<int64_t>(p / up_), r = static_cast<int64_t>(p % up_);
    const int64_t w = static_cast<int64_t>(static_cast<Wide>(r) * kWhole / up_);
    if (w == 0 || k + 1 >= in.Info(0).frameCount) return in.Frame(0, k);
    return Blend(*in.Frame(0, k), *in.Frame(0, k + 1), w, info());
  }

 private:
  int64_t up_, down_;
};

// ConvertFPS(rate [, denominator] [, zone, vbi]): the integers after a
// float, preset or clip rate are zone and vbi.
Value ConvertFps(Call& call) {
  const ClipInfo& in = VideoOf(call, 0);
  const bool fraction = call.args[1].isInt();
  Value zone = call.args[5];
  if (call.args[fraction ? 3 : 2].defined()) zone = call.args[fraction ? 3 : 2];
  if (!fraction && call.args[4].defined()) call.Fail("unexpected integer after vbi");
  if (zone.defined() && zone.asInt() >= 0)
    call.Fail("only the blend mode (zone < 0) is available; the switch mode for interlaced output is not");
  const Rational fps = RateArgument(call, 1, fraction ? 2 : call.args.size());
  const int64_t up = fps.num * in.fps.den, down = fps.den * in.fps.num;
  // Blending only the two frames around each new one, a rate below two
  // thirds of the clip's would pass over whole frames.
  __extension__ using Wide = __int128;
  if (static_cast<Wide>(up) * 3 < static_cast<Wide>(down) * 2)
    call.Fail("the blend mode needs a new rate of at least two thirds of the clip's");
  const int64_t count = std::max<int64_t>(1, av_rescale_rnd(in.frameCount, up, down, AV_ROUND_NEAR_INF));
  if (count > kMaxFrames) call.Fail("the clip would have too many frames at that rate");
  ClipInfo info = in;
  info.fps = fps;
  info.frameCount = count;
  return std::make_shared<BlendedRate>(info, call.origin, call.Clip(0), up, down);
}

}  // namespace

void RegisterFadeFunctions(FunctionTable& table) {
  table["dissolve"] = {"clip1:c clips:.* ?overlap:i ?fps:f", Dissolve};
  const struct {
    const char* name;
    bool in, out;
  } kinds[] = {{"fadein", true, false}, {"fadeout", false, true}, {"fadeio", true, true}};
  for (const auto& kind : kinds)
    for (int64_t extra : {0, 1, 2}) {
      const std::string suffix = extra == 1 ? "" : std::to_string(extra);
      table[kind.name + suffix] = Fade(kind.in, kind.out, extra);
    }
  table["convertfps"] = {"clip:c new_rate:. ?p2:i ?p3:i ?p4:i ?zone:i ?vbi:i", ConvertFps};
  RegisterAnimateFunction(table);
}

}  // namespace avs
