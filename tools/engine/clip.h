// Clips as the evaluator builds them: immutable descriptions of a picture
// and a sound, which a Reading (reading.h) turns into frames and samples on
// request, frame n or samples [start, start + count) in any order.
#pragma once

#include "tools/engine/frame.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace avs {

// Largest values the engine accepts; bigger ones in a script or a file
// header are refused instead of being allocated or overflowing.
constexpr int kMaxPictureSide = 8192;
constexpr int kMaxChannels = 32;
constexpr int kMaxSampleRate = 1536000;
constexpr int64_t kMaxFrames = int64_t{1} << 31;
constexpr int64_t kMaxSamples = int64_t{1} << 40;
// Longest chain of clips built on clips. Reading a frame recurses once per
// link, so the limit keeps every reading within the stack.
constexpr int kMaxChainDepth = 1000;

class Reading;
class Clip;
using ClipPtr = std::shared_ptr<const Clip>;

// The frames of one clip for one Reading. A stream may keep state between
// calls (a decoder's position, a resampler); a Reading asks it from one
// thread only.
class VideoStream {
 public:
  virtual ~VideoStream() = default;
  // Frame n, 0 <= n < frameCount (the Reading clamps requests first), in the
  // clip's size and pixel format. Throws ScriptError.
  virtual FrameRef Frame(int64_t n) = 0;
  // Whether the Reading should keep recent frames for repeated requests;
  // streams that only pass on their inputs' frames need not.
  virtual bool Costly() const { return true; }
  // `frame`, which this stream gave, goes to a reader that will draw on it:
  // a stream that keeps a reference to it drops that reference, if it can
  // make the frame again when asked, so that the reader may have it alone
  // (Reading::FrameToDrawOn). Streams that keep none have nothing to do.
  virtual void Release(const FrameRef& frame) { (void)frame; }
};

// The sound of one clip for one Reading.
class AudioStream {
 public:
  virtual ~AudioStream() = default;
  // Writes `count` sample frames from `start` into `dst`, interleaved, in the
  // clip's sample type; 0 <= start and start + count <= sampleCount (the
  // Reading fills what lies outside with silence). Throws ScriptError.
  virtual void Read(void* dst, int64_t start, int64_t count) = 0;
};

class Clip {
 public:
  // `origin` is where the script made the clip ("Vid.avs, line 3"); errors
  // found while reading start with it. `inputs` are the clips it reads.
  // Throws ScriptError when the info is out of the engine's range or the
  // chain of inputs grows too long.
  Clip(ClipInfo info, std::string origin, std::vector<ClipPtr> inputs = {});
  virtual ~Clip() = default;
  Clip(const Clip&) = delete;
  Clip& operator=(const Clip&) = delete;

  const ClipInfo& info() const { return info_; }
  const std::string& origin() const { return origin_; }
  const std::vector<ClipPtr>& inputs() const { return inputs_; }
  const Clip& input(std::size_t i) const { return *inputs_[i]; }
  int depth() const { return depth_; }

  // A clip that shows another clip's frames (or plays its sound) unchanged
  // names that clip here, and the Reading asks that one directly.
  virtual const Clip& PictureOf() const { return *this; }
  virtual const Clip& SoundOf() const { return *this; }

  // Called by a Reading, once, for a clip that has video / audio and is its
  // own PictureOf / SoundOf.
  virtual std::unique_ptr<VideoStream> OpenVideo(Reading& reading) const;
  virtual std::unique_ptr<AudioStream> OpenAudio(Reading& reading) const;

  [[noreturn]] void Fail(const std::string& message) const;

 private:
  ClipInfo info_;
  std::string origin_;
  std::vector<ClipPtr> inputs_;
  int depth_ = 1;
};

bool IsRgbFormat(AVPixelFormat format);

// The sample frames that `frames` frames last at the clip's frame and
// sample rates, rounded to the nearest; beyond kMaxSamples it gives
// kMaxSamples + 1, which a clip refuses.
int64_t SamplesForFrames(int64_t frames, const ClipInfo& info);

// Gives `info` the sound of `sound`: whether it has one, its rate,
// channels, sample type and length.
void TakeSoundOf(ClipInfo& info, const ClipInfo& sound);

// The highest frame rate a float may give.
constexpr double kMaxFloatRate = 1e6;
// A float frame rate as the nearest small fraction (23.976 gives 2997/125,
// 23.976024 gives 24000/1001); 0/1, which every clip refuses, for a rate
// that is not a number above 0 and at most kMaxFloatRate.
Rational FloatToRational(double fps);

}  // namespace avs
