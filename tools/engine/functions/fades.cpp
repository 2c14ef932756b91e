// Time: clips blended into one another: Dissolve and the fades (a dissolve
// to or from a clip of one colour).
//
// In an overlap of N frames, overlap frame i (0 <= i < N) takes (i + 1) /
// (N + 1) of the second clip and the rest of the first, so that neither end
// of the overlap is all of either clip; the sound of an overlap of L samples
// is weighted the same way sample by sample, (j + 1) / (L + 1).
#include "tools/engine/filter.h"
#include "tools/engine/functions/blend.h"
#include "tools/engine/functions/common.h"
#include "tools/engine/functions/families.h"
#include "tools/engine/samples.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace avs {

namespace {

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
          return Blend(*in.Frame(0, n), *in.Frame(1, i), BlendWeight(i + 1, frames_), info());
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
}

}  // namespace avs
