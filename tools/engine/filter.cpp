#include "tools/engine/filter.h"

namespace avs {

namespace {

class FunctionFrames : public VideoStream {
 public:
  FunctionFrames(std::function<FrameRef(int64_t)> make, bool costly) : make_(std::move(make)), costly_(costly) {}
  FrameRef Frame(int64_t n) override { return make_(n); }
  bool Costly() const override { return costly_; }

 private:
  std::function<FrameRef(int64_t)> make_;
  bool costly_;
};

class FunctionSamples : public AudioStream {
 public:
  explicit FunctionSamples(std::function<void(void*, int64_t, int64_t)> read) : read_(std::move(read)) {}
  void Read(void* dst, int64_t start, int64_t count) override { read_(dst, start, count); }

 private:
  std::function<void(void*, int64_t, int64_t)> read_;
};

}  // namespace

std::unique_ptr<VideoStream> FramesFrom(std::function<FrameRef(int64_t n)> make, bool costly) {
  return std::make_unique<FunctionFrames>(std::move(make), costly);
}

std::unique_ptr<AudioStream> SamplesFrom(std::function<void(void* dst, int64_t start, int64_t count)> read) {
  return std::make_unique<FunctionSamples>(std::move(read));
}

std::unique_ptr<VideoStream> FrameFilter::OpenVideo(Reading& reading) const {
  return FramesFrom([this, in = Inputs(reading, *this)](int64_t n) { return MakeFrame(n, in); }, Costly());
}

std::unique_ptr<AudioStream> SampleFilter::OpenAudio(Reading& reading) const {
  return SamplesFrom([this, in = Inputs(reading, *this)](void* dst, int64_t start, int64_t count) {
    MakeSamples(dst, start, count, in);
  });
}

}  // namespace avs
