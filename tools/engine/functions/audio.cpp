// Audio: the sound of clips, its rate, and dubbing.
#include "tools/engine/filter.h"
#include "tools/engine/functions/common.h"
#include "tools/engine/functions/families.h"
#include "tools/engine/samples.h"

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/mathematics.h>
#include <libswresample/swresample.h>
}

#include <cstring>
#include <numeric>
#include <vector>

namespace avs {

namespace {

struct SwrDeleter {
  void operator()(SwrContext* s) const { swr_free(&s); }
};

// The input's sound at another rate, through swresample, in the input's
// sample type (24-bit samples pass as 32-bit ones).
class ResampledClip : public AudioFilter {
 public:
  ResampledClip(ClipInfo info, std::string origin, ClipPtr source)
      : AudioFilter(info, std::move(origin), {std::move(source)}) {}

  // Reads in order from where it last stopped; a read elsewhere starts the
  // resampler again a little before it, at an input sample that falls on an
  // output sample, so that both sides stay exactly aligned.
  class Stream : public AudioStream {
   public:
    Stream(const ResampledClip& clip, Reading& reading)
        : clip_(clip),
          inputs_(reading, clip),
          channels_(static_cast<std::size_t>(clip.info().channels)),
          type_(clip.info().sampleType == SampleType::S24 ? SampleType::S32 : clip.info().sampleType),
          bytes_(static_cast<std::size_t>(BytesPerSample(type_))) {
      const int64_t inRate = clip.input(0).info().sampleRate, outRate = clip.info().sampleRate;
      const int64_t common = std::gcd(inRate, outRate);
      inStep_ = inRate / common;
      outStep_ = outRate / common;
      // The resampler's filter reaches 32 taps either side, scaled when it
      // narrows the band.
      warmup_ = 64 + 64 * (inRate / outRate + 1);
    }

    void Read(void* dst, int64_t start, int64_t count) override {
      if (!swr_ || start != outPos_) Restart(start);
      auto* out = static_cast<uint8_t*>(dst);
      while (count > 0) {
        if (pendingAt_ == pendingCount_) Convert();
        const int64_t n = std::min(count, pendingCount_ - pendingAt_);
        Deliver(out, n);
        out += static_cast<std::size_t>(n) * channels_ * static_cast<std::size_t>(BytesPerSample(clip_.info().sampleType));
        count -= n;
      }
    }

   private:
    static constexpr int kChunk = 4096;

    void Restart(int64_t start) {
      AVChannelLayout layout{};
      av_channel_layout_default(&layout, clip_.info().channels);
      SwrContext* swr = nullptr;
      const AVSampleFormat format = PackedFormat(type_);
      int rc = swr_alloc_set_opts2(&swr, &layout, format, clip_.info().sampleRate, &layout, format,
                                   clip_.input(0).info().sampleRate, 0, nullptr);
      av_channel_layout_uninit(&layout);
      if (rc < 0 || swr_init(swr) < 0) {
        swr_free(&swr);
        clip_.Fail("cannot resample this sound");
      }
      swr_.reset(swr);
      // The input sample under `start`, less the warm-up, down to a whole
      // number of steps.
      const int64_t under = static_cast<int64_t>(static_cast<__int128>(start) * inStep_ / outStep_);
      const int64_t steps = std::max<int64_t>(0, (under - warmup_) / inStep_);
      inPos_ = steps * inStep_;
      outPos_ = steps * outStep_;
      pendingAt_ = pendingCount_ = 0;
      while (outPos_ < start) {
        if (pendingAt_ == pendingCount_) Convert();
        const int64_t skip = std::min(start - outPos_, pendingCount_ - pendingAt_);
        pendingAt_ += skip;
        outPos_ += skip;
      }
    }

    // Resamples the next chunk of the input (silence past its end).
    void Convert() {
      in_.resize(kChunk * channels_ * bytes_);
      const SampleType inType = clip_.input(0).info().sampleType;
      if (inType == type_) {
        inputs_.Samples(0, in_.data(), inPos_, kChunk);
      } else {
        native_.resize(kChunk * channels_ * static_cast<std::size_t>(BytesPerSample(inType)));
        inputs_.Samples(0, native_.data(), inPos_, kChunk);
        ConvertSamples(native_.data(), inType, in_.data(), type_, kChunk * channels_);
      }
      inPos_ += kChunk;
      const int room = swr_get_out_samples(swr_.get(), kChunk);
      if (room < 0) clip_.Fail("resampling failed");
      out_.resize(static_cast<std::size_t>(room) * channels_ * bytes_);
      const uint8_t* inPtr = in_.data();
      uint8_t* outPtr = out_.data();
      int n = swr_convert(swr_.get(), &outPtr, room, &inPtr, kChunk);
      if (n < 0) clip_.Fail("resampling failed");
      pendingAt_ = 0;
      pendingCount_ = n;
    }

    void Deliver(uint8_t* dst, int64_t n) {
      const uint8_t* from = out_.data() + static_cast<std::size_t>(pendingAt_) * channels_ * bytes_;
      ConvertSamples(from, type_, dst, clip_.info().sampleType, static_cast<std::size_t>(n) * channels_);
      pendingAt_ += n;
      outPos_ += n;
    }

    const ResampledClip& clip_;
    Inputs inputs_;
    const std::size_t channels_;
    const SampleType type_;  // the type resampled in
    const std::size_t bytes_;
    int64_t inStep_ = 1, outStep_ = 1, warmup_ = 0;
    std::unique_ptr<SwrContext, SwrDeleter> swr_;
    std::vector<uint8_t> native_, in_, out_;
    int64_t inPos_ = 0, outPos_ = 0;
    int64_t pendingAt_ = 0, pendingCount_ = 0;
  };

  std::unique_ptr<AudioStream> OpenAudio(Reading& reading) const override {
    return std::make_unique<Stream>(*this, reading);
  }
};

Value ResampleAudio(Call& call) {
  const ClipInfo& in = call.Clip(0)->info();
  // A clip without sound passes unchanged, so that the same script lines
  // serve sources with and without it.
  if (!in.hasAudio) return call.Clip(0);
  int64_t rate = call.Int(1, 0);
  if (call.args[2].defined()) {
    const int64_t denominator = call.Int(2, 1);
    if (denominator <= 0 || denominator > INT32_MAX) call.Fail("the rate's denominator is out of range");
    rate = av_rescale(rate, 1, denominator);
  }
  if (rate <= 0 || rate > kMaxSampleRate) call.Fail("the sample rate " + std::to_string(rate) + " is out of range");
  if (rate == in.sampleRate) return call.Clip(0);
  ClipInfo info = in;
  info.sampleRate = static_cast<int>(rate);
  info.sampleCount = av_rescale(in.sampleCount, rate, in.sampleRate);
  return std::make_shared<ResampledClip>(info, call.origin, call.Clip(0));
}

Value AudioDub(Call& call) {
  const ClipPtr& video = call.Clip(0);
  const ClipPtr& audio = call.Clip(1);
  if (!video->info().hasVideo) call.Fail("the first clip has no video");
  if (!audio->info().hasAudio) call.Fail("the second clip has no sound");
  ClipInfo info = video->info();
  info.hasAudio = true;
  info.sampleRate = audio->info().sampleRate;
  info.channels = audio->info().channels;
  info.sampleType = audio->info().sampleType;
  info.sampleCount = audio->info().sampleCount;
  return std::make_shared<Rewired>(info, call.origin, video, audio);
}

Value KillAudio(Call& call) {
  ClipInfo info = VideoOf(call, 0);
  info.hasAudio = false;
  info.sampleRate = info.channels = 0;
  info.sampleCount = 0;
  return std::make_shared<Rewired>(info, call.origin, call.Clip(0), call.Clip(0));
}

}  // namespace

void RegisterAudioFunctions(FunctionTable& table) {
  table["resampleaudio"] = {"clip:c new_rate_numerator:i ?new_rate_denominator:i", ResampleAudio};
  table["audiodub"] = {"video_clip:c audio_clip:c", AudioDub};
  table["killaudio"] = {"clip:c", KillAudio};
}

}  // namespace avs
