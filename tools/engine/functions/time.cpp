// Time: frames, their rate and their order; splicing clips.
#include "tools/engine/filter.h"
#include "tools/engine/functions/common.h"
#include "tools/engine/functions/families.h"
#include "tools/engine/samples.h"

extern "C" {
#include <libavutil/mathematics.h>
}

#include <algorithm>
#include <cmath>

namespace avs {

namespace {

// Frames first..first+count-1 of the input, and the sound that goes with
// them from sample firstSample on.
class TrimClip : public Clip {
 public:
  TrimClip(ClipInfo info, std::string origin, ClipPtr source, int64_t firstFrame, int64_t firstSample)
      : Clip(info, std::move(origin), {std::move(source)}), firstFrame_(firstFrame), firstSample_(firstSample) {}

  std::unique_ptr<VideoStream> OpenVideo(Reading& reading) const override {
    return FramesFrom([this, in = Inputs(reading, *this)](int64_t n) { return in.Frame(0, firstFrame_ + n); }, false);
  }
  std::unique_ptr<AudioStream> OpenAudio(Reading& reading) const override {
    return SamplesFrom([this, in = Inputs(reading, *this)](void* dst, int64_t start, int64_t count) {
      in.Samples(0, dst, firstSample_ + start, count);
    });
  }

 private:
  int64_t firstFrame_, firstSample_;
};

// Where a Trim or AudioTrim ends, in the form of its second argument (0 the
// end, below 0 a length): that argument, or the named `end` (the last
// included) or `length` given instead. Arguments 2, 4 and 5.
double TrimEnd(const Call& call, double first, bool frames) {
  const bool given[] = {call.args[2].defined(), call.args[4].defined(), call.args[5].defined()};
  if (given[0] + given[1] + given[2] > 1) call.Fail("only one of the end, end= and length= may be given");
  if (given[1]) {
    const double end = call.args[4].asFloat();
    if (end < first || (!frames && end == first)) call.Fail("end lies before the start");
    return frames && end == 0 ? -1 : end;  // end=0 keeps frame 0 alone
  }
  if (given[2]) {
    const double length = call.args[5].asFloat();
    if (!(length > 0)) call.Fail("length must be above 0");
    return -length;
  }
  return call.Float(2, 0);
}

// Trim(first, last): a last frame of 0 means the end, a negative one a
// frame count. Frames beyond the clip are cut to it: a first frame past the
// end keeps the last frame, a last frame past it ends there.
Value Trim(Call& call) {
  const ClipInfo& in = VideoOf(call, 0);
  int64_t first = call.Int(1, 0);
  if (first < 0) call.Fail("the first frame cannot be negative");
  int64_t last = static_cast<int64_t>(TrimEnd(call, static_cast<double>(first), true));
  // Numbers beyond any clip's frames are cut to them before any arithmetic.
  first = std::min(first, in.frameCount - 1);
  last = std::clamp(last, -kMaxFrames, kMaxFrames);
  if (last == 0) last = in.frameCount - 1;
  else if (last < 0) last = first - last - 1;
  last = std::min(last, in.frameCount - 1);
  if (first > last) call.Fail("no frame is left between " + std::to_string(first) + " and " + std::to_string(last));
  ClipInfo info = in;
  info.frameCount = last - first + 1;
  int64_t firstSample = 0;
  if (in.hasAudio) {
    firstSample = std::min(SamplesForFrames(first, in), in.sampleCount);
    // pad_audio (the default) keeps the sound as long as the frames kept,
    // filling with silence where the source's sound ends early.
    const int64_t end = SamplesForFrames(last + 1, in);
    const bool pad = call.Bool(3, call.Bool(7, true));
    info.sampleCount = std::max<int64_t>(0, (pad ? end : std::min(end, in.sampleCount)) - firstSample);
    if (info.sampleCount == 0) info.hasAudio = false;
  }
  // Everything kept (Trim(0, 0) of a clip whose sound fits its frames) is
  // the clip itself, which adds no link to the chain.
  if (first == 0 && info.frameCount == in.frameCount && info.hasAudio == in.hasAudio &&
      info.sampleCount == in.sampleCount)
    return call.Clip(0);
  return std::make_shared<TrimClip>(info, call.origin, call.Clip(0), first, firstSample);
}

// AudioTrim(start_time, end_time): Trim in seconds, as exact as the sound's
// samples; a clip's frames are cut to those the kept sound overlaps.
Value AudioTrim(Call& call) {
  const ClipInfo& in = call.Clip(0)->info();
  if (!in.hasAudio) call.Fail("the clip has no sound");
  const double start = call.Float(1, 0);
  if (!(start >= 0) || start > 1e9) call.Fail("start_time must be 0 or more");
  double stop = TrimEnd(call, start, false);
  if (!std::isfinite(stop) || std::fabs(stop) > 1e9) call.Fail("the end is out of range");
  const double total = static_cast<double>(in.sampleCount) / in.sampleRate;
  if (stop == 0) stop = total;
  else if (stop < 0) stop = start - stop;
  const int64_t firstSample = std::min<int64_t>(std::llround(start * in.sampleRate), in.sampleCount);
  const int64_t endSample = std::min<int64_t>(std::llround(stop * in.sampleRate), in.sampleCount);
  if (endSample <= firstSample) call.Fail("no sound is left between " + Value(start).toText() + " and " + Value(stop).toText() + " seconds");
  ClipInfo info = in;
  info.sampleCount = endSample - firstSample;
  int64_t firstFrame = 0;
  if (in.hasVideo) {
    const double rate = static_cast<double>(in.fps.num) / static_cast<double>(in.fps.den);
    // Times written in decimals land a hair beside the frame boundaries
    // they name.
    constexpr double kSlack = 1e-6;
    firstFrame = std::min(static_cast<int64_t>(std::floor(start * rate + kSlack)), in.frameCount - 1);
    const int64_t endFrame =
        std::clamp<int64_t>(static_cast<int64_t>(std::ceil(stop * rate - kSlack)), firstFrame + 1, in.frameCount);
    info.frameCount = endFrame - firstFrame;
  }
  return std::make_shared<TrimClip>(info, call.origin, call.Clip(0), firstFrame, firstSample);
}

struct Preset {
  const char* name;
  Rational fps;
};
constexpr Preset kPresets[] = {
    {"ntsc_film", {24000, 1001}},   {"ntsc_video", {30000, 1001}},     {"ntsc_double", {60000, 1001}},
    {"ntsc_quad", {120000, 1001}},  {"ntsc_round_film", {2997, 125}},  {"ntsc_round_video", {2997, 100}},
    {"ntsc_round_double", {2997, 50}}, {"ntsc_round_quad", {2997, 25}}, {"film", {24, 1}},
    {"pal_film", {25, 1}},          {"pal_video", {25, 1}},            {"pal_double", {50, 1}},
    {"pal_quad", {100, 1}},
};

}  // namespace

Rational RateArgument(const Call& call, std::size_t index, std::size_t denominator) {
  const ClipInfo& in = call.Clip(0)->info();
  const Value& rate = call.args[index];
  const bool hasDenominator = denominator < call.args.size() && call.args[denominator].isInt();
  Rational fps;
  if (rate.isString()) {
    std::string name = Lower(rate.asString());
    const Preset* found = nullptr;
    for (const Preset& p : kPresets)
      if (name == p.name) found = &p;
    if (!found) call.Fail("unknown frame rate name \"" + rate.asString() + "\"");
    fps = found->fps;
  } else if (rate.isClip()) {
    fps = rate.asClip()->info().fps;
  } else if (rate.isInt()) {
    fps = CheckedRate(call, rate.asInt(), hasDenominator ? call.Int(denominator, 1) : 1);
  } else if (rate.isFloat()) {
    if (hasDenominator) call.Fail("a float frame rate takes no denominator");
    fps = FloatRate(call, rate.asFloat());
  } else {
    call.Fail(std::string("the frame rate cannot be ") + rate.typeName());
  }
  // A rate given to three decimals (a float or a rounded preset) that the
  // clip's exact rate already rounds to leaves that exact rate: a probed
  // 24000/1001 clip asked for 23.976 stays 24000/1001 rather than turning
  // into 2997/125 and drifting against its sound.
  const bool roundedRate = rate.isFloat() || (rate.isString() && Lower(rate.asString()).find("round") != std::string::npos);
  const auto thousandths = [](Rational r) { return std::llround(1000.0 * static_cast<double>(r.num) / static_cast<double>(r.den)); };
  if (roundedRate && in.fps.num > 0 && in.fps.den > 0 && thousandths(in.fps) == thousandths(fps)) fps = in.fps;
  int n = 0, d = 0;
  av_reduce(&n, &d, fps.num, fps.den, INT32_MAX);
  return Rational{n, d};
}

namespace {

// The clip's frames at another rate. With sync_audio the sound is played
// faster or slower along with the picture: the same samples at a changed
// rate.
ClipPtr WithAssumedRate(const Call& call, Rational fps, bool syncAudio) {
  const ClipInfo& in = VideoOf(call, 0);
  ClipInfo info = in;
  info.fps = fps;
  if (syncAudio && in.hasAudio) {
    int64_t newRate = av_rescale(in.sampleRate, fps.num * in.fps.den, fps.den * in.fps.num);
    if (newRate <= 0 || newRate > kMaxSampleRate) call.Fail("the sound's rate would leave the usable range");
    info.sampleRate = static_cast<int>(newRate);
  }
  return std::make_shared<Rewired>(info, call.origin, call.Clip(0), call.Clip(0));
}

// AssumeFPS(rate [, denominator] [, sync_audio]): after a float, a preset
// name or a clip, the bool comes straight after the rate.
Value AssumeFps(Call& call) {
  VideoOf(call, 0);
  if (call.args[2].isBool()) {
    if (call.args[3].defined()) call.Fail("sync_audio is given twice");
    call.args[3] = call.args[2];
    call.args[2] = Value();
  } else if (call.args[2].defined() && !call.args[2].isInt()) {
    call.Fail(std::string("the denominator cannot be ") + call.args[2].typeName());
  }
  return WithAssumedRate(call, RateArgument(call, 1, 2), call.Bool(3, false));
}

// AssumeScaledFPS(multiplier, divisor, sync_audio): the rate times
// multiplier / divisor, in lowest terms.
Value AssumeScaledFps(Call& call) {
  const ClipInfo& in = VideoOf(call, 0);
  const int64_t multiplier = call.Int(1, 1), divisor = call.Int(2, 1);
  if (multiplier <= 0 || divisor <= 0) call.Fail("multiplier and divisor must be above 0");
  int num = 0, den = 0;
  av_reduce(&num, &den, in.fps.num * multiplier, in.fps.den * divisor, INT32_MAX);
  return WithAssumedRate(call, CheckedRate(call, num, den), call.Bool(3, false));
}

// Clips played one after the other; each part's sound lasts its share.
class SplicedClip : public Clip {
 public:
  SplicedClip(ClipInfo info, std::string origin, std::vector<ClipPtr> parts, std::vector<int64_t> shares, bool aligned)
      : Clip(info, std::move(origin), std::move(parts)), aligned_(aligned) {
    int64_t frames = 0, samples = 0;
    for (std::size_t i = 0; i < inputs().size(); ++i) {
      frameStarts_.push_back(frames);
      soundStarts_.push_back(samples);
      frames += input(i).info().frameCount;
      samples += shares[i];
    }
    soundStarts_.push_back(samples);
  }

  bool aligned() const { return aligned_; }
  int64_t share(std::size_t i) const { return soundStarts_[i + 1] - soundStarts_[i]; }

  std::unique_ptr<VideoStream> OpenVideo(Reading& reading) const override {
    return FramesFrom(
        [this, in = Inputs(reading, *this)](int64_t n) {
          std::size_t part = static_cast<std::size_t>(std::upper_bound(frameStarts_.begin(), frameStarts_.end(), n) -
                                                      frameStarts_.begin() - 1);
          return in.Frame(part, n - frameStarts_[part]);
        },
        false);
  }

  std::unique_ptr<AudioStream> OpenAudio(Reading& reading) const override {
    return SamplesFrom([this, in = Inputs(reading, *this)](void* dst, int64_t start, int64_t count) {
      auto* out = static_cast<uint8_t*>(dst);
      const std::size_t frameBytes = static_cast<std::size_t>(BytesPerSample(info().sampleType)) * info().channels;
      std::size_t part = static_cast<std::size_t>(
          std::upper_bound(soundStarts_.begin(), soundStarts_.end(), start) - soundStarts_.begin() - 1);
      for (; count > 0; ++part) {
        const int64_t n = std::min(count, soundStarts_[part + 1] - start);
        // A part whose sound is shorter than its share is padded by the
        // Reading's silence; a longer one is cut here.
        in.Samples(part, out, start - soundStarts_[part], n);
        out += static_cast<std::size_t>(n) * frameBytes;
        start += n;
        count -= n;
      }
    });
  }

 private:
  bool aligned_;
  std::vector<int64_t> frameStarts_, soundStarts_;
};

Function Splice(bool aligned) {
  return {"clip:c clips:c*", [aligned](Call& call) -> Value {
            std::vector<ClipPtr> parts{call.Clip(0)};
            for (const Value& v : call.rest) parts.push_back(v.asClip());
            return SpliceClips(call, std::move(parts), aligned);
          }};
}

}  // namespace

ClipPtr SpliceClips(const Call& call, std::vector<ClipPtr> parts, bool aligned) {
  // A splice of splices of the same kind is one splice of all their parts,
  // so that a script joining clips in a loop builds no deep chain.
  std::vector<ClipPtr> flat;
  std::vector<int64_t> shares;
  for (std::size_t i = 0; i < parts.size(); ++i) {
    const auto* spliced = dynamic_cast<const SplicedClip*>(parts[i].get());
    const bool last = i + 1 == parts.size();
    if (spliced && spliced->aligned() == aligned) {
      for (std::size_t k = 0; k < spliced->inputs().size(); ++k) {
        flat.push_back(spliced->inputs()[k]);
        shares.push_back(spliced->share(k));
      }
    } else {
      flat.push_back(parts[i]);
      shares.push_back(parts[i]->info().sampleCount);
    }
    // Aligned, each part's sound lasts as long as its frames; the last
    // part's keeps its own end.
    if (aligned && !last && flat.back()->info().hasAudio && flat.back()->info().hasVideo)
      shares.back() = SamplesForFrames(flat.back()->info().frameCount, flat.back()->info());
  }
  ClipInfo info = flat[0]->info();
  info.frameCount = 0;
  info.sampleCount = 0;
  for (std::size_t i = 0; i < flat.size(); ++i) {
    const ClipInfo& p = flat[i]->info();
    if (p.hasVideo != info.hasVideo || p.width != info.width || p.height != info.height ||
        p.pixelFormat != info.pixelFormat)
      call.Fail("the clips' pictures differ in size or format");
    if (info.hasVideo && (p.fps.num * info.fps.den != info.fps.num * p.fps.den))
      call.Fail("the clips' frame rates differ");
    if (p.hasAudio != info.hasAudio || p.sampleRate != info.sampleRate || p.channels != info.channels ||
        p.sampleType != info.sampleType)
      call.Fail("the clips' sounds differ in rate, channels or sample type, or only some have sound");
    // Each sum stays below the limits the clip checks, so none overflows.
    info.frameCount += p.frameCount;
    info.sampleCount += shares[i];
    if (info.frameCount > kMaxFrames || info.sampleCount > kMaxSamples) call.Fail("the joined clip would be too long");
  }
  return std::make_shared<SplicedClip>(info, call.origin, std::move(flat), std::move(shares), aligned);
}

ClipPtr WithFrameRate(const Call& call, const ClipPtr& clip, Rational fps) {
  ClipInfo info = clip->info();
  info.fps = CheckedRate(call, fps.num, fps.den);
  return std::make_shared<Rewired>(info, call.origin, clip, clip);
}

void RegisterTimeFunctions(FunctionTable& table) {
  // pad_audio is the older name of pad.
  table["trim"] = {"clip:c first_frame:i ?last_frame:i ?pad:b ?end:i ?length:i ?cache:b ?pad_audio:b", Trim};
  table["audiotrim"] = {"clip:c start_time:f ?end_time:f ?cache:b ?end:f ?length:f", AudioTrim};
  table["assumefps"] = {"clip:c fps:. ?denominator:. ?sync_audio:b", AssumeFps};
  table["assumescaledfps"] = {"clip:c ?multiplier:i ?divisor:i ?sync_audio:b", AssumeScaledFps};
  table["alignedsplice"] = Splice(true);
  table["unalignedsplice"] = Splice(false);
  RegisterFrameSelectFunctions(table);
  RegisterFadeFunctions(table);
  RegisterConvertFpsFunction(table);
  RegisterAnimateFunctions(table);
}

}  // namespace avs
