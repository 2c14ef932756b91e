// Bases for filters: clips made from other clips. A filter describes its
// result in its ClipInfo (checked by Clip's constructor) and makes frames or
// samples on request from its inputs' frames and samples, read through the
// Reading it is opened in. Pass every clip it reads as `inputs`, so that the
// chain's depth is counted.
//
//  - FrameFilter: frame n from its inputs' frames, no state between frames:
//
//      class Invert : public FrameFilter {
//       public:
//        Invert(const Call& call, ClipPtr c) : FrameFilter(c->info(), call.origin, {c}) {}
//        FrameRef MakeFrame(int64_t n, const Inputs& in) const override {
//          FramePtr out = WritableCopy(*in.Frame(0, n));   // or NewPicture(...)
//          ... change out's pixels ...
//          return Share(std::move(out));
//        }
//      };
//
//    Several inputs: pass them all and read in.Frame(i, k). Frames outside
//    an input are clamped to its first or last. A filter that only picks
//    frames (Reverse: in.Frame(0, count - 1 - n)) returns them as they are
//    and overrides Costly() to return false.
//  - VideoFilter: any picture filter; implement OpenVideo with a stream of
//    your own when making frames needs state kept between them (a scaler,
//    a filter graph; see ScaledClip in scale.cpp). FrameFilter and
//    VideoFilter play their first input's sound.
//  - SampleFilter: samples [start, start + count) from the inputs' samples
//    (in.Samples(i, dst, start, count), silence outside the input's sound),
//    in the clip's sample type (samples.h converts between types); plays
//    its first input's picture. AudioFilter is the base with a stream of
//    your own (ResampledClip in functions/audio.cpp).
//  - Rewired: the picture of one clip and the sound of another, unchanged.
//  - FramesFrom / SamplesFrom: streams from a function, for clips that
//    change both their picture and their sound (Trim, splices).
//  - graph_clip.h: a filter of FFmpeg's libavfilter as a clip.
#pragma once

#include "tools/engine/reading.h"

#include <functional>

namespace avs {

// What a filter reads of its inputs, for one Reading.
class Inputs {
 public:
  Inputs(Reading& reading, const Clip& clip) : reading_(reading), clip_(clip) {}

  // Frame n of input `i`, clamped to its frames.
  FrameRef Frame(std::size_t i, int64_t n) const { return reading_.Frame(clip_.input(i), n); }
  // The same for a filter that draws on it: writable when nothing else can
  // see it (Reading::FrameToDrawOn).
  FramePtr FrameToDrawOn(std::size_t i, int64_t n) const { return reading_.FrameToDrawOn(clip_.inputs()[i], n); }
  // Samples of input `i`, silence outside its sound.
  void Samples(std::size_t i, void* dst, int64_t start, int64_t count) const {
    reading_.Samples(clip_.input(i), dst, start, count);
  }
  const ClipInfo& Info(std::size_t i) const { return clip_.input(i).info(); }
  const Clip& clip() const { return clip_; }

 private:
  Reading& reading_;
  const Clip& clip_;
};

// A clip that changes the picture of its first input and plays its sound.
class VideoFilter : public Clip {
 public:
  using Clip::Clip;
  const Clip& SoundOf() const override { return input(0); }
};

// A picture filter whose frame n depends on its inputs' frames alone.
class FrameFilter : public VideoFilter {
 public:
  using VideoFilter::VideoFilter;
  std::unique_ptr<VideoStream> OpenVideo(Reading& reading) const override;

  // Frame n (0 <= n < frameCount) in the clip's size and format.
  virtual FrameRef MakeFrame(int64_t n, const Inputs& in) const = 0;
  // False for filters that only pass on their inputs' frames (Trim,
  // Reverse, SelectEvery): the Reading then keeps none of them.
  virtual bool Costly() const { return true; }
};

// A clip that changes the sound of its first input and shows its picture.
class AudioFilter : public Clip {
 public:
  using Clip::Clip;
  const Clip& PictureOf() const override { return input(0); }
};

// A sound filter whose samples depend on its inputs' samples alone.
class SampleFilter : public AudioFilter {
 public:
  using AudioFilter::AudioFilter;
  std::unique_ptr<AudioStream> OpenAudio(Reading& reading) const override;

  // `count` sample frames from `start`, inside the clip's sound, in its
  // sample type.
  virtual void MakeSamples(void* dst, int64_t start, int64_t count, const Inputs& in) const = 0;
};

// The picture of input 0 and the sound of input 1, both unchanged under a
// new description (AssumeFPS, AudioDub, KillAudio).
class Rewired : public Clip {
 public:
  Rewired(ClipInfo info, std::string origin, ClipPtr picture, ClipPtr sound)
      : Clip(info, std::move(origin), {std::move(picture), std::move(sound)}) {}
  const Clip& PictureOf() const override { return input(0); }
  const Clip& SoundOf() const override { return input(1); }
};

// A stream whose frame n is `make(n)`.
std::unique_ptr<VideoStream> FramesFrom(std::function<FrameRef(int64_t n)> make, bool costly);
// A stream whose samples `read(dst, start, count)` writes.
std::unique_ptr<AudioStream> SamplesFrom(std::function<void(void* dst, int64_t start, int64_t count)> read);

}  // namespace avs
