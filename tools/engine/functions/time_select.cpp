// Time: frames picked from a clip, repeated, dropped and reordered
// (SelectEvery, Loop, Reverse, ChangeFPS, ...). Picking passes the input's
// frames on untouched, so none of these filters is costly to read.
#include "tools/engine/filter.h"
#include "tools/engine/functions/common.h"
#include "tools/engine/functions/families.h"
#include "tools/engine/samples.h"

extern "C" {
#include <libavutil/mathematics.h>
}

#include <algorithm>
#include <cstring>
#include <functional>
#include <utility>

namespace avs {

namespace {

// Frame n of the result is frame pick(n).second of input pick(n).first.
// The sound is input 0's unchanged unless `sound` makes it.
class PickedFrames : public Clip {
 public:
  using Pick = std::function<std::pair<std::size_t, int64_t>(int64_t)>;
  using Sound = std::function<void(const Inputs&, void*, int64_t, int64_t)>;

  PickedFrames(ClipInfo info, std::string origin, std::vector<ClipPtr> inputs, Pick pick, Sound sound = {})
      : Clip(info, std::move(origin), std::move(inputs)), pick_(std::move(pick)), sound_(std::move(sound)) {}

  const Clip& SoundOf() const override { return sound_ ? *this : input(0); }
  std::unique_ptr<VideoStream> OpenVideo(Reading& reading) const override {
    return FramesFrom(
        [this, in = Inputs(reading, *this)](int64_t n) {
          auto [i, k] = pick_(n);
          return in.Frame(i, k);
        },
        false);
  }
  std::unique_ptr<AudioStream> OpenAudio(Reading& reading) const override {
    return SamplesFrom([this, in = Inputs(reading, *this)](void* dst, int64_t start, int64_t count) {
      sound_(in, dst, start, count);
    });
  }

 private:
  Pick pick_;
  Sound sound_;
};

std::size_t FrameBytes(const ClipInfo& info) {
  return static_cast<std::size_t>(BytesPerSample(info.sampleType)) * static_cast<std::size_t>(info.channels);
}

// The sound that follows picked frames: output frame k's samples,
// [S(k), S(k + 1)), are read from where the picked frame's samples start,
// so that each frame keeps the sound it had.
PickedFrames::Sound SoundOfPickedFrames(ClipInfo info, std::function<int64_t(int64_t)> pick) {
  return [info, pick = std::move(pick)](const Inputs& in, void* dst, int64_t start, int64_t count) {
    auto* out = static_cast<uint8_t*>(dst);
    const std::size_t bytes = FrameBytes(info);
    // The frame whose samples hold `start`.
    int64_t k = av_rescale_rnd(start, info.fps.num, info.fps.den * info.sampleRate, AV_ROUND_DOWN);
    while (k > 0 && SamplesForFrames(k, info) > start) --k;
    while (SamplesForFrames(k + 1, info) <= start) ++k;
    while (count > 0) {
      const int64_t frameStart = SamplesForFrames(k, info);
      const int64_t n = std::min(count, SamplesForFrames(k + 1, info) - start);
      in.Samples(0, out, SamplesForFrames(pick(k), in.Info(0)) + (start - frameStart), n);
      out += static_cast<std::size_t>(n) * bytes;
      start += n;
      count -= n;
      ++k;
    }
  };
}

// The frame rate times num/den, reduced; refused out of range.
Rational ScaledRate(const Call& call, Rational fps, int64_t num, int64_t den) {
  int n = 0, d = 0;
  // num and den stay below 2^31, so the products fit.
  av_reduce(&n, &d, fps.num * num, fps.den * den, INT32_MAX);
  return CheckedRate(call, n, d);
}

// SelectEvery(step, offsets...): of every `step` frames, the ones at the
// offsets, in the order given. The sound is the input's, unchanged, as
// AviSynth keeps it (only SelectRangeEvery moves the sound with the frames):
// a film scene made of picked frames and spliced to others keeps its sound.
Value SelectEvery(const Call& call, int64_t step, std::vector<int64_t> offsets) {
  const ClipInfo& in = VideoOf(call, 0);
  if (step <= 0 || step > kMaxFrames) call.Fail("the step must be between 1 and the clip's frame count");
  if (offsets.empty()) offsets.push_back(0);
  if (static_cast<int64_t>(offsets.size()) > kMaxFrames) call.Fail("too many offsets");
  for (int64_t offset : offsets)
    if (offset < 0 || offset > kMaxFrames) call.Fail("the offset " + std::to_string(offset) + " is out of range");
  const int64_t k = static_cast<int64_t>(offsets.size());
  // Whole groups, then the offsets of the last, partial group that lie in
  // the clip, up to the first that does not.
  int64_t count = in.frameCount / step * k;
  for (int64_t offset : offsets) {
    if (offset >= in.frameCount % step) break;
    ++count;
  }
  if (count == 0 || count > kMaxFrames) call.Fail("no frame is selected");
  ClipInfo info = in;
  info.frameCount = count;
  info.fps = ScaledRate(call, in.fps, k, step);
  return std::make_shared<PickedFrames>(
      info, call.origin, std::vector<ClipPtr>{call.Clip(0)}, [step, k, offsets](int64_t n) {
        return std::pair<std::size_t, int64_t>(0, n / k * step + offsets[static_cast<std::size_t>(n % k)]);
      });
}

Value SelectEveryCall(Call& call) {
  std::vector<int64_t> offsets;
  for (const Value& v : call.rest) offsets.push_back(v.asInt());
  return SelectEvery(call, call.Int(1, 1), std::move(offsets));
}

// SelectRangeEvery(every, length, offset, audio): `length` frames out of
// every `every`, from frame `offset`; the sound follows the frames kept
// unless audio=false keeps the input's.
Value SelectRangeEvery(Call& call) {
  const ClipInfo& in = VideoOf(call, 0);
  const int64_t every = call.Int(1, 1500), length = call.Int(2, 50), offset = call.Int(3, 0);
  if (every <= 0 || every > kMaxFrames) call.Fail("every must be between 1 and 2^31");
  if (length <= 0 || length > every) call.Fail("length must be between 1 and every");
  if (offset < 0 || offset >= in.frameCount) call.Fail("offset must lie in the clip");
  const int64_t left = in.frameCount - offset;
  ClipInfo info = in;
  info.frameCount = left / every * length + std::min(left % every, length);
  auto pick = [=](int64_t n) { return offset + n / length * every + n % length; };
  PickedFrames::Sound sound;
  if (in.hasAudio && call.Bool(4, true)) {
    info.sampleCount = SamplesForFrames(info.frameCount, info);
    sound = SoundOfPickedFrames(info, pick);
  }
  return std::make_shared<PickedFrames>(
      info, call.origin, std::vector<ClipPtr>{call.Clip(0)},
      [pick](int64_t n) { return std::pair<std::size_t, int64_t>(0, pick(n)); }, std::move(sound));
}

// Interleave(a, b, ...): a's frame 0, b's frame 0, ..., a's frame 1, ...
// at the first clip's rate times the number of clips, for as long as the
// longest (shorter clips repeat their last frame); the first clip's sound.
Value Interleave(Call& call) {
  std::vector<ClipPtr> clips{call.Clip(0)};
  for (const Value& v : call.rest) clips.push_back(v.asClip());
  const ClipInfo& first = VideoOf(call, 0);
  int64_t longest = 0;
  for (const ClipPtr& c : clips) {
    const ClipInfo& i = c->info();
    if (!i.hasVideo || i.width != first.width || i.height != first.height || i.pixelFormat != first.pixelFormat)
      call.Fail("the clips' pictures differ in size or format");
    longest = std::max(longest, i.frameCount);
  }
  const int64_t k = static_cast<int64_t>(clips.size());
  if (longest * k > kMaxFrames) call.Fail("the interleaved clip would be too long");
  ClipInfo info = first;
  info.frameCount = longest * k;
  info.fps = ScaledRate(call, first.fps, k, 1);
  return std::make_shared<PickedFrames>(info, call.origin, std::move(clips), [k](int64_t n) {
    return std::pair<std::size_t, int64_t>(static_cast<std::size_t>(n % k), n / k);
  });
}

// Loop(times, start, end): frames start..end played `times` times in
// place; -1 plays them a very large number of times (ten million, or as
// many as the engine's longest clip holds). The sound loops with them.
Value Loop(Call& call) {
  const ClipInfo& in = VideoOf(call, 0);
  int64_t times = call.Int(1, -1);
  const int64_t start = std::clamp<int64_t>(call.Int(2, 0), 0, in.frameCount - 1);
  const int64_t end = std::clamp<int64_t>(call.Int(3, in.frameCount), start, in.frameCount - 1);
  const int64_t span = end - start + 1, rest = in.frameCount - span;
  if (times < -1) call.Fail("times must be -1 (very many) or more");
  // The longest clip the engine holds, its sound included.
  int64_t longest = kMaxFrames;
  if (in.hasAudio)
    longest = std::min(longest, av_rescale_rnd(kMaxSamples, in.fps.num, in.fps.den * in.sampleRate, AV_ROUND_DOWN));
  if (times == -1) times = std::clamp<int64_t>((longest - rest) / span, 1, 10'000'000);
  if (times > (longest - rest) / span) call.Fail("the looped clip would be too long");
  ClipInfo info = in;
  info.frameCount = rest + span * times;
  if (info.frameCount == 0) call.Fail("no frame is left");
  auto pick = [=](int64_t n) {
    if (n < start) return n;
    if (n < start + span * times) return start + (n - start) % span;
    return n - span * (times - 1);
  };
  PickedFrames::Sound sound;
  if (in.hasAudio) {
    info.sampleCount = SamplesForFrames(info.frameCount, info);
    sound = SoundOfPickedFrames(info, pick);
  }
  return std::make_shared<PickedFrames>(
      info, call.origin, std::vector<ClipPtr>{call.Clip(0)},
      [pick](int64_t n) { return std::pair<std::size_t, int64_t>(0, pick(n)); }, std::move(sound));
}

// Reverse: the frames last to first, and the sound backwards sample by
// sample.
Value Reverse(Call& call) {
  const ClipInfo& in = VideoOf(call, 0);
  PickedFrames::Sound sound;
  if (in.hasAudio) {
    sound = [in](const Inputs& inputs, void* dst, int64_t start, int64_t count) {
      const int64_t total = in.sampleCount;
      inputs.Samples(0, dst, total - start - count, count);
      const std::size_t bytes = FrameBytes(in);
      auto* p = static_cast<uint8_t*>(dst);
      std::vector<uint8_t> swap(bytes);
      for (int64_t a = 0, b = count - 1; a < b; ++a, --b) {
        uint8_t* x = p + static_cast<std::size_t>(a) * bytes;
        uint8_t* y = p + static_cast<std::size_t>(b) * bytes;
        std::memcpy(swap.data(), x, bytes);
        std::memcpy(x, y, bytes);
        std::memcpy(y, swap.data(), bytes);
      }
    };
  }
  const int64_t last = in.frameCount - 1;
  return std::make_shared<PickedFrames>(
      in, call.origin, std::vector<ClipPtr>{call.Clip(0)},
      [last](int64_t n) { return std::pair<std::size_t, int64_t>(0, last - n); }, std::move(sound));
}

// FreezeFrame(first, last, source): frames first..last show frame source;
// the sound is unchanged.
Value FreezeFrame(Call& call) {
  const ClipInfo& in = VideoOf(call, 0);
  const int64_t first = call.Int(1, 0), last = call.Int(2, 0), source = call.Int(3, 0);
  if (source < 0 || source >= in.frameCount)
    call.Fail("the source frame " + std::to_string(source) + " is outside the clip");
  return std::make_shared<PickedFrames>(in, call.origin, std::vector<ClipPtr>{call.Clip(0)}, [=](int64_t n) {
    return std::pair<std::size_t, int64_t>(0, n >= first && n <= last ? source : n);
  });
}

std::vector<int64_t> FrameList(const Call& call, const ClipInfo& in) {
  std::vector<int64_t> frames{call.Int(1, 0)};
  for (const Value& v : call.rest) frames.push_back(v.asInt());
  for (int64_t f : frames)
    if (f < 0 || f >= in.frameCount) call.Fail("the frame " + std::to_string(f) + " is outside the clip");
  std::sort(frames.begin(), frames.end());
  return frames;
}

// DuplicateFrame(frames...): each frame named shown once more (twice more
// if named twice); the sound is unchanged.
Value DuplicateFrame(Call& call) {
  const ClipInfo& in = VideoOf(call, 0);
  std::vector<int64_t> frames = FrameList(call, in);
  if (in.frameCount + static_cast<int64_t>(frames.size()) > kMaxFrames) call.Fail("the clip would be too long");
  // The copy of the i-th frame in order stands at frames[i] + i + 1.
  std::vector<int64_t> copies;
  for (std::size_t i = 0; i < frames.size(); ++i) copies.push_back(frames[i] + static_cast<int64_t>(i) + 1);
  ClipInfo info = in;
  info.frameCount += static_cast<int64_t>(frames.size());
  return std::make_shared<PickedFrames>(info, call.origin, std::vector<ClipPtr>{call.Clip(0)}, [copies](int64_t n) {
    const int64_t before = std::upper_bound(copies.begin(), copies.end(), n) - copies.begin();
    return std::pair<std::size_t, int64_t>(0, n - before);
  });
}

// DeleteFrame(frames...): the frames named left out; the sound is
// unchanged.
Value DeleteFrame(Call& call) {
  const ClipInfo& in = VideoOf(call, 0);
  std::vector<int64_t> frames = FrameList(call, in);
  frames.erase(std::unique(frames.begin(), frames.end()), frames.end());
  if (static_cast<int64_t>(frames.size()) >= in.frameCount) call.Fail("no frame would be left");
  ClipInfo info = in;
  info.frameCount -= static_cast<int64_t>(frames.size());
  return std::make_shared<PickedFrames>(info, call.origin, std::vector<ClipPtr>{call.Clip(0)}, [frames](int64_t n) {
    int64_t source = n;
    for (int64_t f : frames) {
      if (f > source) break;
      ++source;
    }
    return std::pair<std::size_t, int64_t>(0, source);
  });
}

// ChangeFPS(rate, linear): the same running time at another rate. Output
// frame n shows the input frame on screen at its time n / rate, frames
// dropped or repeated; the sound is unchanged. `linear` only tells how a
// decoder should be read, which the engine decides by itself.
Value ChangeFps(Call& call) {
  VideoOf(call, 0);
  if (call.args[2].defined() && !call.args[2].isInt() && !call.args[2].isBool())
    call.Fail(std::string("the denominator cannot be ") + call.args[2].typeName());
  return WithChangedRate(call, call.Clip(0), RateArgument(call, 1, 2));
}

// A clip whose last frame repeats (or which is cut) to `count` frames.
ClipPtr WithFrameCount(const Call& call, const ClipPtr& clip, int64_t count) {
  if (count <= 0 || count > kMaxFrames) call.Fail("the frame count " + std::to_string(count) + " is out of range");
  ClipInfo info = clip->info();
  info.frameCount = count;
  return std::make_shared<PickedFrames>(info, call.origin, std::vector<ClipPtr>{clip},
                                        [](int64_t n) { return std::pair<std::size_t, int64_t>(0, n); });
}

}  // namespace

ClipPtr WithChangedRate(const Call& call, const ClipPtr& clip, Rational fps) {
  const ClipInfo& in = clip->info();
  // Rates are fractions of 31-bit numbers, so these products fit in 64 bits
  // and av_rescale_rnd keeps the rest exact.
  const int64_t up = fps.num * in.fps.den, down = fps.den * in.fps.num;
  const int64_t count = std::max<int64_t>(1, av_rescale_rnd(in.frameCount, up, down, AV_ROUND_NEAR_INF));
  if (count > kMaxFrames) call.Fail("the clip would have too many frames at that rate");
  ClipInfo info = in;
  info.fps = fps;
  info.frameCount = count;
  const int64_t last = in.frameCount - 1;
  return std::make_shared<PickedFrames>(info, call.origin, std::vector<ClipPtr>{clip}, [=](int64_t n) {
    return std::pair<std::size_t, int64_t>(0, std::min(last, av_rescale_rnd(n, down, up, AV_ROUND_DOWN)));
  });
}

Function WithSourceTiming(Function source, std::size_t fps, std::size_t convertFps, std::size_t frameCount) {
  source.body = [body = std::move(source.body), fps, convertFps, frameCount](Call& call) -> Value {
    Value rate = call.args[fps];
    const bool convert = call.Bool(convertFps, false) && rate.defined();
    if (convert) call.args[fps] = Value();
    Value result = body(call);
    ClipPtr clip = result.asClip();
    if (convert && clip->info().hasVideo) clip = WithChangedRate(call, clip, FloatRate(call, rate.asFloat()));
    if (call.args[frameCount].defined() && clip->info().hasVideo)
      clip = WithFrameCount(call, clip, call.Int(frameCount, 0));
    return clip;
  };
  return source;
}

void RegisterFrameSelectFunctions(FunctionTable& table) {
  table["selectevery"] = {"clip:c step_size:i offsets:i*", SelectEveryCall};
  table["selecteven"] = {"clip:c", [](Call& call) -> Value { return SelectEvery(call, 2, {0}); }};
  table["selectodd"] = {"clip:c", [](Call& call) -> Value { return SelectEvery(call, 2, {1}); }};
  table["selectrangeevery"] = {"clip:c ?every:i ?length:i ?offset:i ?audio:b", SelectRangeEvery};
  table["interleave"] = {"clip:c clips:c*", Interleave};
  table["loop"] = {"clip:c ?times:i ?start:i ?end:i", Loop};
  table["reverse"] = {"clip:c", Reverse};
  table["freezeframe"] = {"clip:c first_frame:i last_frame:i source_frame:i", FreezeFrame};
  table["duplicateframe"] = {"clip:c frame:i frames:i*", DuplicateFrame};
  table["deleteframe"] = {"clip:c frame:i frames:i*", DeleteFrame};
  table["changefps"] = {"clip:c fps:. ?denominator:. ?linear:b", ChangeFps};
}

}  // namespace avs
