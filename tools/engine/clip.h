// Clips as the evaluator builds them: immutable descriptions that open
// independent video and audio streams on demand, so that the picture and the
// sound of one script are read in order without buffering one for the other.
#pragma once

#include "tools/engine/engine.h"

extern "C" {
#include <libavutil/frame.h>
}

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace avs {

struct FrameDeleter {
  void operator()(AVFrame* frame) const { av_frame_free(&frame); }
};
using FramePtr = std::unique_ptr<AVFrame, FrameDeleter>;
FramePtr AllocFrame();

// Largest picture side and channel count the engine accepts; bigger values in
// a script or a file header are refused instead of being allocated.
constexpr int kMaxPictureSide = 8192;
constexpr int kMaxChannels = 32;

class VideoStream {
 public:
  virtual ~VideoStream() = default;
  // The next frame or nullptr after the last; valid until the next call.
  virtual const AVFrame* Next() = 0;
};

// Interleaved signed 16-bit samples at the clip's rate and channel count.
class AudioStream {
 public:
  virtual ~AudioStream() = default;
  virtual std::size_t Read(int16_t* dst, std::size_t maxSamples) = 0;
};

class Clip {
 public:
  // `origin` is where the script made the clip ("Vid.avs, line 3"); errors
  // found while streaming start with it.
  Clip(ClipInfo info, std::string origin) : info_(info), origin_(std::move(origin)) {}
  virtual ~Clip() = default;

  const ClipInfo& info() const { return info_; }
  const std::string& origin() const { return origin_; }

  // Only called when the clip has video / audio respectively.
  virtual std::unique_ptr<VideoStream> OpenVideo() const = 0;
  virtual std::unique_ptr<AudioStream> OpenAudio() const = 0;

  [[noreturn]] void Fail(const std::string& message) const;

 private:
  ClipInfo info_;
  std::string origin_;
};
using ClipPtr = std::shared_ptr<const Clip>;

// Makes a stream deliver exactly `count` frames: a short source repeats its
// last frame, a long one is cut. Fails when the source gives no frame at all.
std::unique_ptr<VideoStream> ExactFrameCount(std::unique_ptr<VideoStream> source, int64_t count,
                                             const Clip& owner);
// The same for sound: a short source is padded with silence.
std::unique_ptr<AudioStream> ExactSampleCount(std::unique_ptr<AudioStream> source, int64_t count,
                                              int channels);

bool IsRgbFormat(AVPixelFormat format);

}  // namespace avs
