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

#include <cmath>
#include <cstring>
#include <functional>
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
  TakeSoundOf(info, audio->info());
  return std::make_shared<Rewired>(info, call.origin, video, audio);
}

// AudioDubEx: AudioDub that takes what each clip has: the picture of the
// first clip, or of the second when the first has none; the sound of the
// second, or of the first when the second has none.
Value AudioDubEx(Call& call) {
  const ClipPtr& first = call.Clip(0);
  const ClipPtr& second = call.Clip(1);
  const ClipPtr& picture = first->info().hasVideo ? first : second;
  const ClipPtr& sound = second->info().hasAudio ? second : first;
  ClipInfo info = picture->info();
  TakeSoundOf(info, sound->info());
  return std::make_shared<Rewired>(info, call.origin, picture, sound);
}

Value KillAudio(Call& call) {
  ClipInfo info = VideoOf(call, 0);
  info.hasAudio = false;
  info.sampleRate = info.channels = 0;
  info.sampleCount = 0;
  return std::make_shared<Rewired>(info, call.origin, call.Clip(0), call.Clip(0));
}


// Sample frames of one or more inputs, read as floats, mixed into the
// clip's channels and written in its sample type. Integer results saturate
// at their type's limits (ConvertSamples clamps); float results are left
// unclamped, as AviSynth leaves them.
class FloatMix : public SampleFilter {
 public:
  // `mix(in, out, count)`: in[i] holds input i's `count` interleaved frames
  // (Info(i).channels each), out receives info.channels per frame.
  using Mix = std::function<void(const std::vector<std::vector<float>>& in, float* out, int64_t count)>;
  FloatMix(ClipInfo info, std::string origin, std::vector<ClipPtr> inputs, Mix mix)
      : SampleFilter(info, std::move(origin), std::move(inputs)), mix_(std::move(mix)) {}

  void MakeSamples(void* dst, int64_t start, int64_t count, const Inputs& in) const override {
    std::vector<std::vector<float>> floats(inputs().size());
    std::vector<uint8_t> native;
    for (std::size_t i = 0; i < floats.size(); ++i) {
      const ClipInfo& from = in.Info(i);
      const std::size_t n = static_cast<std::size_t>(count) * static_cast<std::size_t>(from.channels);
      floats[i].resize(n);
      if (from.sampleType == SampleType::Float) {
        in.Samples(i, floats[i].data(), start, count);
      } else {
        native.resize(n * static_cast<std::size_t>(BytesPerSample(from.sampleType)));
        in.Samples(i, native.data(), start, count);
        ConvertSamples(native.data(), from.sampleType, floats[i].data(), SampleType::Float, n);
      }
    }
    const std::size_t n = static_cast<std::size_t>(count) * static_cast<std::size_t>(info().channels);
    if (info().sampleType == SampleType::Float) {
      mix_(floats, static_cast<float*>(dst), count);
    } else {
      std::vector<float> out(n);
      mix_(floats, out.data(), count);
      ConvertSamples(out.data(), SampleType::Float, dst, info().sampleType, n);
    }
  }

 private:
  Mix mix_;
};

const ClipInfo& AudioOf(const Call& call, std::size_t i) {
  const ClipInfo& info = call.Clip(i)->info();
  if (!info.hasAudio) call.Fail("the clip has no sound");
  return info;
}

// The input's channels scaled one factor each; the last factor serves the
// channels beyond the factors given.
Value Scaled(const Call& call, std::vector<double> factors) {
  const ClipInfo& info = AudioOf(call, 0);
  const std::size_t channels = static_cast<std::size_t>(info.channels);
  factors.resize(channels, factors.back());
  return std::make_shared<FloatMix>(info, call.origin, std::vector<ClipPtr>{call.Clip(0)},
                                    [factors, channels](const auto& in, float* out, int64_t count) {
                                      const std::size_t n = static_cast<std::size_t>(count) * channels;
                                      for (std::size_t i = 0; i < n; ++i)
                                        out[i] = static_cast<float>(in[0][i] * factors[i % channels]);
                                    });
}

std::vector<double> Factors(const Call& call, bool decibels) {
  std::vector<double> factors;
  for (const Value& v : call.rest) {
    if (!v.isNumber()) call.Fail("each amount must be a number");
    const double amount = v.asFloat();
    factors.push_back(decibels ? std::pow(10.0, amount / 20.0) : amount);
  }
  if (factors.empty()) call.Fail("needs an amount");
  for (double f : factors)
    if (!std::isfinite(f)) call.Fail("the amount is out of range");
  return factors;
}

Value Amplify(Call& call) { return Scaled(call, Factors(call, false)); }
Value AmplifyDB(Call& call) { return Scaled(call, Factors(call, true)); }

// Scales the sound so that its loudest sample reaches `volume` of full
// scale; the whole sound is read once to find that sample.
Value Normalize(Call& call) {
  const ClipInfo& info = AudioOf(call, 0);
  const double volume = call.Float(1, 1.0);
  if (!std::isfinite(volume)) call.Fail("the volume is out of range");
  Reading reading;
  constexpr int64_t kBlock = 65536;
  const std::size_t channels = static_cast<std::size_t>(info.channels);
  std::vector<uint8_t> native(kBlock * channels * static_cast<std::size_t>(BytesPerSample(info.sampleType)));
  std::vector<float> floats(kBlock * channels);
  float peak = 0;
  for (int64_t at = 0; at < info.sampleCount; at += kBlock) {
    const int64_t count = std::min(kBlock, info.sampleCount - at);
    const std::size_t n = static_cast<std::size_t>(count) * channels;
    reading.Samples(*call.Clip(0), native.data(), at, count);
    ConvertSamples(native.data(), info.sampleType, floats.data(), SampleType::Float, n);
    for (std::size_t i = 0; i < n; ++i) peak = std::max(peak, std::fabs(floats[i]));
  }
  // Silence stays silence.
  return Scaled(call, {peak > 0 ? volume / peak : 1.0});
}

void CheckSameRate(const Call& call, const ClipInfo& a, const ClipInfo& b) {
  if (a.sampleRate != b.sampleRate)
    call.Fail("the clips' sample rates differ (" + std::to_string(a.sampleRate) + " and " +
              std::to_string(b.sampleRate) + ")");
}

Value MixAudio(Call& call) {
  const ClipInfo& a = AudioOf(call, 0);
  const ClipInfo& b = AudioOf(call, 1);
  CheckSameRate(call, a, b);
  if (a.channels != b.channels) call.Fail("the clips have different numbers of channels");
  const double first = call.Float(2, 0.5);
  const double second = call.Float(3, 1.0 - first);
  if (!std::isfinite(first) || !std::isfinite(second)) call.Fail("the factors are out of range");
  // The picture and the running time are the first clip's.
  return std::make_shared<FloatMix>(a, call.origin, std::vector<ClipPtr>{call.Clip(0), call.Clip(1)},
                                    [first, second](const auto& in, float* out, int64_t) {
                                      for (std::size_t i = 0; i < in[0].size(); ++i)
                                        out[i] = static_cast<float>(in[0][i] * first + in[1][i] * second);
                                    });
}

// The clip with channels picked from `sources` (input, channel) in order.
Value Picked(const Call& call, ClipInfo info, std::vector<ClipPtr> inputs,
             std::vector<std::pair<std::size_t, int>> sources) {
  if (sources.size() > static_cast<std::size_t>(kMaxChannels)) call.Fail("too many channels");
  info.channels = static_cast<int>(sources.size());
  std::vector<int> widths;
  for (const ClipPtr& clip : inputs) widths.push_back(clip->info().channels);
  return std::make_shared<FloatMix>(info, call.origin, std::move(inputs),
                                    [sources, widths](const auto& in, float* out, int64_t count) {
                                      const std::size_t channels = sources.size();
                                      for (int64_t f = 0; f < count; ++f)
                                        for (std::size_t c = 0; c < channels; ++c) {
                                          const auto [input, channel] = sources[c];
                                          out[static_cast<std::size_t>(f) * channels + c] =
                                              in[input][static_cast<std::size_t>(f * widths[input] + channel)];
                                        }
                                    });
}

// Channels counted from 1, as AviSynth counts them.
Value ChannelsOf(const Call& call, const std::vector<int64_t>& numbers) {
  const ClipInfo& info = AudioOf(call, 0);
  std::vector<std::pair<std::size_t, int>> sources;
  for (int64_t number : numbers) {
    if (number < 1 || number > info.channels)
      call.Fail("the clip has no channel " + std::to_string(number) + " (it has " +
                std::to_string(info.channels) + ")");
    sources.emplace_back(0, static_cast<int>(number - 1));
  }
  if (sources.empty()) call.Fail("needs a channel");
  return Picked(call, info, {call.Clip(0)}, std::move(sources));
}

Value GetChannel(Call& call) {
  std::vector<int64_t> numbers;
  for (const Value& v : call.rest) {
    if (!v.isInt()) call.Fail("each channel must be an int");
    numbers.push_back(v.asInt());
  }
  return ChannelsOf(call, numbers);
}
Value GetLeftChannel(Call& call) { return ChannelsOf(call, {1}); }
Value GetRightChannel(Call& call) { return ChannelsOf(call, {2}); }

// Every channel of every clip, in order, in the first clip's sample type;
// the picture and the running time are the first clip's.
Value MergeChannels(Call& call) {
  std::vector<ClipPtr> inputs{call.Clip(0)};
  for (const Value& v : call.rest) {
    if (!v.isClip()) call.Fail("each clip to merge must be a clip");
    inputs.push_back(v.asClip());
  }
  ClipInfo info = AudioOf(call, 0);
  std::vector<std::pair<std::size_t, int>> sources;
  for (std::size_t i = 0; i < inputs.size(); ++i) {
    const ClipInfo& other = inputs[i]->info();
    if (!other.hasAudio) call.Fail("clip " + std::to_string(i + 1) + " has no sound");
    CheckSameRate(call, info, other);
    for (int c = 0; c < other.channels; ++c) sources.emplace_back(i, c);
  }
  return Picked(call, info, std::move(inputs), std::move(sources));
}

// MonoToStereo(left, right): two mono sounds as the channels of one; the
// picture is the left clip's.
Value MonoToStereo(Call& call) {
  for (std::size_t i = 0; i < 2; ++i) {
    const ClipInfo& info = call.Clip(i)->info();
    if (!info.hasAudio) call.Fail(std::string(i ? "the right" : "the left") + " clip has no sound");
    if (info.channels != 1)
      call.Fail(std::string(i ? "the right" : "the left") + " clip has " + std::to_string(info.channels) +
                " channels, not one");
  }
  call.rest = {call.args[1]};
  return MergeChannels(call);
}

// The mean of all channels.
Value ConvertToMono(Call& call) {
  ClipInfo info = AudioOf(call, 0);
  if (info.channels == 1) return call.Clip(0);
  const std::size_t channels = static_cast<std::size_t>(info.channels);
  info.channels = 1;
  return std::make_shared<FloatMix>(info, call.origin, std::vector<ClipPtr>{call.Clip(0)},
                                    [channels](const auto& in, float* out, int64_t count) {
                                      for (int64_t f = 0; f < count; ++f) {
                                        const float* frame = in[0].data() + static_cast<std::size_t>(f) * channels;
                                        float sum = 0;
                                        for (std::size_t c = 0; c < channels; ++c) sum += frame[c];
                                        out[f] = sum / static_cast<float>(channels);
                                      }
                                    });
}

// The same sound in another sample type, converted exactly (integers by
// shifting, floats scaled, rounded and clamped).
class ConvertedSound : public SampleFilter {
 public:
  using SampleFilter::SampleFilter;
  void MakeSamples(void* dst, int64_t start, int64_t count, const Inputs& in) const override {
    const ClipInfo& from = in.Info(0);
    const std::size_t n = static_cast<std::size_t>(count) * static_cast<std::size_t>(from.channels);
    std::vector<uint8_t> native(n * static_cast<std::size_t>(BytesPerSample(from.sampleType)));
    in.Samples(0, native.data(), start, count);
    ConvertSamples(native.data(), from.sampleType, dst, info().sampleType, n);
  }
};

Value ConvertedTo(const Call& call, SampleType type) {
  const ClipInfo& in = call.Clip(0)->info();
  if (!in.hasAudio || in.sampleType == type) return call.Clip(0);
  ClipInfo info = in;
  info.sampleType = type;
  return std::make_shared<ConvertedSound>(info, call.origin, std::vector<ClipPtr>{call.Clip(0)});
}

Value ConvertAudioTo8bit(Call& call) { return ConvertedTo(call, SampleType::U8); }
Value ConvertAudioTo16bit(Call& call) { return ConvertedTo(call, SampleType::S16); }
Value ConvertAudioTo24bit(Call& call) { return ConvertedTo(call, SampleType::S24); }
Value ConvertAudioTo32bit(Call& call) { return ConvertedTo(call, SampleType::S32); }
Value ConvertAudioToFloat(Call& call) { return ConvertedTo(call, SampleType::Float); }

// The same samples played at another rate: the sound gets faster or slower
// and its pitch follows.
Value AssumeSampleRate(Call& call) {
  ClipInfo info = AudioOf(call, 0);
  const int64_t rate = call.Int(1, 0);
  if (rate <= 0 || rate > kMaxSampleRate) call.Fail("the sample rate " + std::to_string(rate) + " is out of range");
  info.sampleRate = static_cast<int>(rate);
  return std::make_shared<Rewired>(info, call.origin, call.Clip(0), call.Clip(0));
}

// The sound later by `seconds` (earlier when negative): silence fills the
// start, and the sound grows by the delay.
class DelayedSound : public SampleFilter {
 public:
  DelayedSound(ClipInfo info, std::string origin, ClipPtr source, int64_t delay)
      : SampleFilter(info, std::move(origin), {std::move(source)}), delay_(delay) {}
  void MakeSamples(void* dst, int64_t start, int64_t count, const Inputs& in) const override {
    in.Samples(0, dst, start - delay_, count);
  }

 private:
  int64_t delay_;
};

Value DelayAudio(Call& call) {
  ClipInfo info = AudioOf(call, 0);
  const double seconds = call.Float(1, 0);
  const double samples = std::round(seconds * info.sampleRate);
  if (!std::isfinite(samples) || std::fabs(samples) > static_cast<double>(kMaxSamples))
    call.Fail("the delay is out of range");
  const int64_t delay = static_cast<int64_t>(samples);
  info.sampleCount = std::max<int64_t>(0, info.sampleCount + delay);
  if (info.sampleCount > kMaxSamples) call.Fail("the delayed sound is too long");
  return std::make_shared<DelayedSound>(info, call.origin, call.Clip(0), delay);
}

Value KillVideo(Call& call) {
  ClipInfo info = AudioOf(call, 0);
  info.hasVideo = false;
  info.width = info.height = 0;
  info.frameCount = 0;
  info.pixelFormat = AV_PIX_FMT_NONE;
  return std::make_shared<Rewired>(info, call.origin, call.Clip(0), call.Clip(0));
}

// MP3 sources need no help to stay in step here: the sound passes as it is.
Value EnsureVBRMP3Sync(Call& call) { return call.Clip(0); }

}  // namespace

void RegisterAudioFunctions(FunctionTable& table) {
  table["resampleaudio"] = {"clip:c new_rate_numerator:i ?new_rate_denominator:i", ResampleAudio};
  table["audiodub"] = {"video_clip:c audio_clip:c", AudioDub};
  table["audiodubex"] = {"video_clip:c audio_clip:c", AudioDubEx};
  table["monotostereo"] = {"left_channel_clip:c right_channel_clip:c", MonoToStereo};
  // The channels' layout is not kept: the mask is the usual one for the
  // number of channels, and setting it changes nothing.
  table["getchannelmask"] = {"clip:c", [](Call& call) -> Value {
                               AVChannelLayout layout{};
                               av_channel_layout_default(&layout, call.Clip(0)->info().channels);
                               const int64_t mask = layout.order == AV_CHANNEL_ORDER_NATIVE ? static_cast<int64_t>(layout.u.mask) : 0;
                               av_channel_layout_uninit(&layout);
                               return Value(mask);
                             }};
  table["ischannelmaskknown"] = {"clip:c", [](Call&) -> Value { return Value(false); }};
  table["setchannelmask"] = {"clip:c known:b ?mask:i", [](Call& call) -> Value { return call.Clip(0); }};
  table["killaudio"] = {"clip:c", KillAudio};
  table["amplify"] = {"clip:c amount:f*", Amplify};
  table["amplifydb"] = {"clip:c amount:f*", AmplifyDB};
  table["normalize"] = {"clip:c ?volume:f ?show:b", Normalize};
  table["mixaudio"] = {"clip1:c clip2:c ?clip1_factor:f ?clip2_factor:f", MixAudio};
  table["mergechannels"] = {"clip1:c clips:c*", MergeChannels};
  table["getchannel"] = {"clip:c channel:i*", GetChannel};
  table["getchannels"] = table["getchannel"];
  table["getleftchannel"] = {"clip:c", GetLeftChannel};
  table["getrightchannel"] = {"clip:c", GetRightChannel};
  table["converttomono"] = {"clip:c", ConvertToMono};
  table["convertaudioto8bit"] = {"clip:c", ConvertAudioTo8bit};
  table["convertaudioto16bit"] = {"clip:c", ConvertAudioTo16bit};
  table["convertaudioto24bit"] = {"clip:c", ConvertAudioTo24bit};
  table["convertaudioto32bit"] = {"clip:c", ConvertAudioTo32bit};
  table["convertaudiotofloat"] = {"clip:c", ConvertAudioToFloat};
  table["assumesamplerate"] = {"clip:c samplerate:i", AssumeSampleRate};
  table["delayaudio"] = {"clip:c seconds:f", DelayAudio};
  table["killvideo"] = {"clip:c", KillVideo};
  table["ensurevbrmp3sync"] = {"clip:c", EnsureVBRMP3Sync};
  table["ssrc"] = {"clip:c samplerate:i ?fast:b", ResampleAudio};
}

}  // namespace avs
