// The filters: resizing, colour conversion, cropping, trimming, frame rate,
// dubbing and resampling, and the synthetic BlankClip.
#include "tools/engine/filters.h"
#include "tools/engine/media.h"
#include "tools/engine/scale.h"
#include "tools/engine/functions/families.h"

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/imgutils.h>
#include <libavutil/pixdesc.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

#include <cmath>
#include <cstring>
#include <vector>

namespace avs {

namespace {

// A clip whose picture and sound come from existing clips unchanged; only
// the description differs (AssumeFPS, AudioDub, KillAudio).
class Rewired : public Clip {
 public:
  Rewired(ClipInfo info, std::string origin, ClipPtr video, ClipPtr audio)
      : Clip(info, std::move(origin)), video_(std::move(video)), audio_(std::move(audio)) {}
  std::unique_ptr<VideoStream> OpenVideo() const override { return video_->OpenVideo(); }
  std::unique_ptr<AudioStream> OpenAudio() const override { return audio_->OpenAudio(); }

 private:
  ClipPtr video_, audio_;
};

// A clip that changes the picture of another and keeps its sound.
class VideoFilter : public Clip {
 public:
  VideoFilter(ClipInfo info, std::string origin, ClipPtr source)
      : Clip(info, std::move(origin)), source_(std::move(source)) {}
  std::unique_ptr<AudioStream> OpenAudio() const override { return source_->OpenAudio(); }

 protected:
  ClipPtr source_;
};

bool IsSubsampledWidth(AVPixelFormat f) { return av_pix_fmt_desc_get(f)->log2_chroma_w > 0; }
bool IsSubsampledHeight(AVPixelFormat f) { return av_pix_fmt_desc_get(f)->log2_chroma_h > 0; }

void CheckSize(const Call& call, int64_t width, int64_t height, AVPixelFormat format) {
  if (width <= 0 || height <= 0 || width > kMaxPictureSide || height > kMaxPictureSide)
    call.Fail("the size " + std::to_string(width) + "x" + std::to_string(height) + " is out of range");
  if (IsSubsampledWidth(format) && width % 2) call.Fail(std::string(PixelTypeName(format)) + " needs an even width");
  if (IsSubsampledHeight(format) && height % 2) call.Fail(std::string(PixelTypeName(format)) + " needs an even height");
}

const ClipInfo& VideoOf(const Call& call, std::size_t i) {
  const ClipInfo& info = call.Clip(i)->info();
  if (!info.hasVideo) call.Fail("the clip has no video");
  return info;
}

// --- Crop -----------------------------------------------------------------

class CropClip : public VideoFilter {
 public:
  CropClip(ClipInfo info, std::string origin, ClipPtr source, int left, int top)
      : VideoFilter(info, std::move(origin), std::move(source)), left_(left), top_(top) {}

  class Stream : public VideoStream {
   public:
    explicit Stream(const CropClip& clip) : clip_(clip), source_(clip.source_->OpenVideo()), out_(AllocFrame()) {
      const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(clip.info().pixelFormat);
      int packedStep = av_get_bits_per_pixel(desc) / 8;
      for (int plane = 0; plane < av_pix_fmt_count_planes(clip.info().pixelFormat); ++plane) {
        bool chroma = plane == 1 || plane == 2;
        int x = chroma ? clip.left_ >> desc->log2_chroma_w : clip.left_;
        rows_[plane] = chroma ? clip.top_ >> desc->log2_chroma_h : clip.top_;
        bytes_[plane] = x * ((desc->flags & AV_PIX_FMT_FLAG_PLANAR) ? 1 : packedStep);
      }
    }
    const AVFrame* Next() override {
      av_frame_unref(out_.get());
      const AVFrame* in = source_->Next();
      if (!in) return nullptr;
      // A reference with moved plane pointers: no pixel is copied.
      if (av_frame_ref(out_.get(), in) < 0) clip_.Fail("out of memory");
      for (int plane = 0; plane < 4 && out_->data[plane]; ++plane)
        out_->data[plane] += rows_[plane] * out_->linesize[plane] + bytes_[plane];
      out_->width = clip_.info().width;
      out_->height = clip_.info().height;
      return out_.get();
    }

   private:
    const CropClip& clip_;
    std::unique_ptr<VideoStream> source_;
    FramePtr out_;
    int rows_[4] = {}, bytes_[4] = {};
  };

  std::unique_ptr<VideoStream> OpenVideo() const override { return std::make_unique<Stream>(*this); }

 private:
  int left_, top_;
};

// Crop(left, top, width, height): a width or height of 0 or less counts from
// the right or bottom edge.
ClipPtr MakeCrop(const Call& call, const ClipPtr& source, int64_t left, int64_t top, int64_t width, int64_t height) {
  const ClipInfo& in = source->info();
  if (width <= 0) width = in.width - left + width;
  if (height <= 0) height = in.height - top + height;
  if (left < 0 || top < 0 || width <= 0 || height <= 0 || left + width > in.width || top + height > in.height)
    call.Fail("the area " + std::to_string(left) + "," + std::to_string(top) + " " + std::to_string(width) + "x" +
              std::to_string(height) + " is not inside the " + std::to_string(in.width) + "x" +
              std::to_string(in.height) + " picture");
  if ((IsSubsampledWidth(in.pixelFormat) && (left % 2 || width % 2)) ||
      (IsSubsampledHeight(in.pixelFormat) && (top % 2 || height % 2)))
    call.Fail(std::string(PixelTypeName(in.pixelFormat)) + " can only be cropped by even numbers");
  if (left == 0 && top == 0 && width == in.width && height == in.height) return source;
  ClipInfo info = in;
  info.width = static_cast<int>(width);
  info.height = static_cast<int>(height);
  return std::make_shared<CropClip>(info, call.origin, source, static_cast<int>(left), static_cast<int>(top));
}

// --- Resizing and colour conversion -------------------------------------

class ScaledClip : public VideoFilter {
 public:
  ScaledClip(ClipInfo info, std::string origin, ClipPtr source, int kernel, Matrix matrix)
      : VideoFilter(info, std::move(origin), std::move(source)), kernel_(kernel), matrix_(matrix) {}

  class Stream : public VideoStream {
   public:
    explicit Stream(const ScaledClip& clip)
        : clip_(clip),
          source_(clip.source_->OpenVideo()),
          scaler_(clip.info().width, clip.info().height, clip.info().pixelFormat, clip.kernel_, clip.matrix_) {}
    const AVFrame* Next() override {
      const AVFrame* in = source_->Next();
      return in ? scaler_.Convert(in, clip_.origin()) : nullptr;
    }

   private:
    const ScaledClip& clip_;
    std::unique_ptr<VideoStream> source_;
    Scaler scaler_;
  };

  std::unique_ptr<VideoStream> OpenVideo() const override { return std::make_unique<Stream>(*this); }

 private:
  int kernel_;
  Matrix matrix_;
};

Function Resizer(int kernel) {
  return {"clip:c target_width:i target_height:i ?src_left:f ?src_top:f ?src_width:f ?src_height:f",
          [kernel](Call& call) -> Value {
            const ClipInfo& in = VideoOf(call, 0);
            int64_t width = call.Int(1, 0), height = call.Int(2, 0);
            CheckSize(call, width, height, in.pixelFormat);
            // swscale has no sub-pixel source window: the window is rounded
            // to whole pixels and cut out first.
            ClipPtr source = call.Clip(0);
            if (call.args[3].defined() || call.args[4].defined() || call.args[5].defined() || call.args[6].defined())
              source = MakeCrop(call, source, std::llround(call.Float(3, 0)), std::llround(call.Float(4, 0)),
                                std::llround(call.Float(5, 0)), std::llround(call.Float(6, 0)));
            const ClipInfo& cut = source->info();
            if (width == cut.width && height == cut.height) return source;
            ClipInfo info = cut;
            info.width = static_cast<int>(width);
            info.height = static_cast<int>(height);
            return std::make_shared<ScaledClip>(info, call.origin, source, kernel, Matrix::Rec601);
          }};
}

Matrix ParseMatrix(const Call& call, std::size_t i) {
  std::string name = Lower(call.String(i, "Rec601"));
  if (name == "rec601") return Matrix::Rec601;
  if (name == "rec709") return Matrix::Rec709;
  if (name == "pc.601" || name == "pc601") return Matrix::PC601;
  if (name == "pc.709" || name == "pc709") return Matrix::PC709;
  call.Fail("unknown matrix \"" + call.String(i, "") + "\" (Rec601, Rec709, PC.601 or PC.709)");
}

AVPixelFormat ParsePixelType(const Call& call, const std::string& name) {
  static const AVPixelFormat kFormats[] = {AV_PIX_FMT_YUV420P, AV_PIX_FMT_BGR24,   AV_PIX_FMT_BGRA,
                                           AV_PIX_FMT_YUYV422, AV_PIX_FMT_YUV422P, AV_PIX_FMT_YUV444P,
                                           AV_PIX_FMT_GRAY8};
  for (AVPixelFormat f : kFormats)
    if (Lower(name) == Lower(PixelTypeName(f))) return f;
  call.Fail("unknown pixel type \"" + name + "\"");
}

ClipPtr ConvertTo(const Call& call, const ClipPtr& source, AVPixelFormat target, Matrix matrix) {
  const ClipInfo& in = source->info();
  if (in.pixelFormat == target) return source;
  CheckSize(call, in.width, in.height, target);
  ClipInfo info = in;
  info.pixelFormat = target;
  return std::make_shared<ScaledClip>(info, call.origin, source, SWS_BICUBIC, matrix);
}

Function Converter(AVPixelFormat target) {
  return {"clip:c ?interlaced:b ?matrix:s", [target](Call& call) -> Value {
            VideoOf(call, 0);
            Matrix matrix = ParseMatrix(call, 2);
            if (call.Bool(1, false)) call.Fail("interlaced conversion is not supported");
            return ConvertTo(call, call.Clip(0), target, matrix);
          }};
}

// --- Trim ------------------------------------------------------------------

class TrimClip : public Clip {
 public:
  TrimClip(ClipInfo info, std::string origin, ClipPtr source, int64_t firstFrame, int64_t firstSample)
      : Clip(info, std::move(origin)), source_(std::move(source)), firstFrame_(firstFrame), firstSample_(firstSample) {}

  class Video : public VideoStream {
   public:
    Video(std::unique_ptr<VideoStream> source, int64_t skip, int64_t count)
        : source_(std::move(source)), skip_(skip), left_(count) {}
    const AVFrame* Next() override {
      for (; skip_ > 0; --skip_) source_->Next();
      if (left_ <= 0) return nullptr;
      --left_;
      return source_->Next();
    }

   private:
    std::unique_ptr<VideoStream> source_;
    int64_t skip_, left_;
  };

  class Audio : public AudioStream {
   public:
    Audio(std::unique_ptr<AudioStream> source, int64_t skip, int channels)
        : source_(std::move(source)), skip_(skip), channels_(channels) {}
    std::size_t Read(int16_t* dst, std::size_t maxSamples) override {
      while (skip_ > 0) {
        std::vector<int16_t> scratch(4096 * static_cast<std::size_t>(channels_));
        std::size_t n = source_->Read(scratch.data(), static_cast<std::size_t>(std::min<int64_t>(skip_, 4096)));
        if (n == 0) return 0;
        skip_ -= static_cast<int64_t>(n);
      }
      return source_->Read(dst, maxSamples);
    }

   private:
    std::unique_ptr<AudioStream> source_;
    int64_t skip_;
    int channels_;
  };

  std::unique_ptr<VideoStream> OpenVideo() const override {
    return std::make_unique<Video>(source_->OpenVideo(), firstFrame_, info().frameCount);
  }
  std::unique_ptr<AudioStream> OpenAudio() const override {
    return ExactSampleCount(std::make_unique<Audio>(source_->OpenAudio(), firstSample_, info().channels),
                            info().sampleCount, info().channels);
  }

 private:
  ClipPtr source_;
  int64_t firstFrame_, firstSample_;
};

// Trim(first, last): a last frame of 0 means the end, a negative one a
// frame count.
Value Trim(Call& call) {
  const ClipInfo& in = VideoOf(call, 0);
  int64_t first = call.Int(1, 0), last = call.Int(2, 0);
  if (first < 0) call.Fail("the first frame cannot be negative");
  if (last == 0) last = in.frameCount - 1;
  else if (last < 0) last = first - last - 1;
  last = std::min(last, in.frameCount - 1);
  if (first > last) call.Fail("no frame is left between " + std::to_string(first) + " and " + std::to_string(last));
  ClipInfo info = in;
  info.frameCount = last - first + 1;
  int64_t firstSample = 0;
  if (in.hasAudio) {
    auto samplesAt = [&](int64_t frame) {
      return av_rescale(frame, int64_t{in.sampleRate} * in.fps.den, in.fps.num);
    };
    firstSample = std::min(samplesAt(first), in.sampleCount);
    // pad_audio (the default) keeps the sound as long as the frames kept,
    // filling with silence where the source's sound ends early.
    int64_t end = call.Bool(3, true) ? samplesAt(last + 1) : std::min(samplesAt(last + 1), in.sampleCount);
    info.sampleCount = std::max<int64_t>(0, end - firstSample);
    if (info.sampleCount == 0) info.hasAudio = false;
  }
  return std::make_shared<TrimClip>(info, call.origin, call.Clip(0), first, firstSample);
}

// --- Frame rate --------------------------------------------------------------

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

Value AssumeFps(Call& call) {
  const ClipInfo& in = VideoOf(call, 0);
  const Value& rate = call.args[1];
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
    fps = Rational{rate.asInt(), call.Int(2, 1)};
  } else if (rate.isFloat()) {
    if (call.args[2].defined()) call.Fail("a float frame rate takes no denominator");
    if (!(rate.asFloat() > 0) || rate.asFloat() > 1e6) call.Fail("the frame rate is out of range");
    fps = FloatToRational(rate.asFloat());
  } else {
    call.Fail(std::string("the frame rate cannot be ") + rate.typeName());
  }
  if (fps.num <= 0 || fps.den <= 0 || fps.num > INT32_MAX || fps.den > INT32_MAX) call.Fail("the frame rate is out of range");
  // A rate given to three decimals (a float or a rounded preset) that the
  // clip's exact rate already rounds to leaves that exact rate: a probed
  // 24000/1001 clip asked for 23.976 stays 24000/1001 rather than turning
  // into 2997/125 and drifting against its sound.
  const bool roundedRate = rate.isFloat() || (rate.isString() && Lower(rate.asString()).find("round") != std::string::npos);
  const auto thousandths = [](Rational r) { return std::llround(1000.0 * static_cast<double>(r.num) / static_cast<double>(r.den)); };
  if (roundedRate && in.fps.num > 0 && in.fps.den > 0 && thousandths(in.fps) == thousandths(fps)) fps = in.fps;
  int n = 0, d = 0;
  av_reduce(&n, &d, fps.num, fps.den, INT32_MAX);
  ClipInfo info = in;
  info.fps = Rational{n, d};
  // With sync_audio the sound is played faster or slower along with the
  // picture: the same samples at a changed rate.
  if (call.Bool(3, false) && in.hasAudio) {
    int64_t newRate = av_rescale(in.sampleRate, int64_t{n} * in.fps.den, int64_t{d} * in.fps.num);
    if (newRate <= 0 || newRate > 1536000) call.Fail("the sound's rate would leave the usable range");
    info.sampleRate = static_cast<int>(newRate);
  }
  return std::make_shared<Rewired>(info, call.origin, call.Clip(0), call.Clip(0));
}

// --- Sound ---------------------------------------------------------------------

struct SwrDeleter {
  void operator()(SwrContext* s) const { swr_free(&s); }
};

class ResampledClip : public Clip {
 public:
  ResampledClip(ClipInfo info, std::string origin, ClipPtr source)
      : Clip(info, std::move(origin)), source_(std::move(source)) {}

  class Stream : public AudioStream {
   public:
    explicit Stream(const ResampledClip& clip) : clip_(clip), source_(clip.source_->OpenAudio()) {
      AVChannelLayout layout{};
      av_channel_layout_default(&layout, clip.info().channels);
      SwrContext* swr = nullptr;
      int rc = swr_alloc_set_opts2(&swr, &layout, AV_SAMPLE_FMT_S16, clip.info().sampleRate, &layout,
                                   AV_SAMPLE_FMT_S16, clip.source_->info().sampleRate, 0, nullptr);
      av_channel_layout_uninit(&layout);
      if (rc < 0 || swr_init(swr) < 0) {
        swr_free(&swr);
        clip.Fail("cannot resample this sound");
      }
      swr_.reset(swr);
    }

    std::size_t Read(int16_t* dst, std::size_t maxSamples) override {
      const std::size_t channels = static_cast<std::size_t>(clip_.info().channels);
      std::size_t got = 0;
      while (got < maxSamples) {
        if (outAt_ < outSamples_) {
          std::size_t n = std::min(maxSamples - got, outSamples_ - outAt_);
          std::memcpy(dst + got * channels, out_.data() + outAt_ * channels, n * channels * sizeof(int16_t));
          outAt_ += n;
          got += n;
          continue;
        }
        if (done_) break;
        Convert(channels);
      }
      return got;
    }

   private:
    static constexpr std::size_t kChunk = 16384;

    // Resamples the next chunk of the source, or the resampler's tail once
    // the source has ended.
    void Convert(std::size_t channels) {
      in_.resize(kChunk * channels);
      std::size_t inGot = ended_ ? 0 : source_->Read(in_.data(), kChunk);
      if (inGot == 0) ended_ = true;
      const uint8_t* inPtr = reinterpret_cast<const uint8_t*>(in_.data());
      int room = std::max(1, swr_get_out_samples(swr_.get(), static_cast<int>(inGot)));
      out_.resize(static_cast<std::size_t>(room) * channels);
      uint8_t* outPtr = reinterpret_cast<uint8_t*>(out_.data());
      int n = swr_convert(swr_.get(), &outPtr, room, inGot ? &inPtr : nullptr, static_cast<int>(inGot));
      if (n < 0) clip_.Fail("resampling failed");
      if (n == 0 && ended_) done_ = true;
      outAt_ = 0;
      outSamples_ = static_cast<std::size_t>(n);
    }

    const ResampledClip& clip_;
    std::unique_ptr<AudioStream> source_;
    std::unique_ptr<SwrContext, SwrDeleter> swr_;
    std::vector<int16_t> in_, out_;
    std::size_t outAt_ = 0, outSamples_ = 0;
    bool ended_ = false, done_ = false;
  };

  std::unique_ptr<VideoStream> OpenVideo() const override { return source_->OpenVideo(); }
  std::unique_ptr<AudioStream> OpenAudio() const override {
    return ExactSampleCount(std::make_unique<Stream>(*this), info().sampleCount, info().channels);
  }

 private:
  ClipPtr source_;
};

Value ResampleAudio(Call& call) {
  const ClipInfo& in = call.Clip(0)->info();
  // A clip without sound passes unchanged, so that the same script lines
  // serve sources with and without it.
  if (!in.hasAudio) return call.Clip(0);
  int64_t rate = call.Int(1, 0);
  if (call.args[2].defined()) rate = av_rescale(rate, 1, std::max<int64_t>(1, call.Int(2, 1)));
  if (rate <= 0 || rate > 1536000) call.Fail("the sample rate " + std::to_string(rate) + " is out of range");
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

// --- Splicing ------------------------------------------------------------------

// Clips played one after the other. Only the clip being read has its
// decoders open.
class SplicedClip : public Clip {
 public:
  // `soundLengths` holds each clip's share of the sound.
  SplicedClip(ClipInfo info, std::string origin, std::vector<ClipPtr> parts, std::vector<int64_t> soundLengths)
      : Clip(info, std::move(origin)), parts_(std::move(parts)), soundLengths_(std::move(soundLengths)) {}

  class Video : public VideoStream {
   public:
    explicit Video(const SplicedClip& clip) : clip_(clip) {}
    const AVFrame* Next() override {
      for (;;) {
        if (!current_) {
          if (next_ >= clip_.parts_.size()) return nullptr;
          current_ = clip_.parts_[next_++]->OpenVideo();
        }
        if (const AVFrame* frame = current_->Next()) return frame;
        current_.reset();
      }
    }

   private:
    const SplicedClip& clip_;
    std::size_t next_ = 0;
    std::unique_ptr<VideoStream> current_;
  };

  class Audio : public AudioStream {
   public:
    explicit Audio(const SplicedClip& clip) : clip_(clip) {}
    std::size_t Read(int16_t* dst, std::size_t maxSamples) override {
      for (;;) {
        if (!current_) {
          if (next_ >= clip_.parts_.size()) return 0;
          const ClipPtr& part = clip_.parts_[next_];
          current_ = ExactSampleCount(part->OpenAudio(), clip_.soundLengths_[next_], part->info().channels);
          ++next_;
        }
        if (std::size_t n = current_->Read(dst, maxSamples)) return n;
        current_.reset();
      }
    }

   private:
    const SplicedClip& clip_;
    std::size_t next_ = 0;
    std::unique_ptr<AudioStream> current_;
  };

  std::unique_ptr<VideoStream> OpenVideo() const override { return std::make_unique<Video>(*this); }
  std::unique_ptr<AudioStream> OpenAudio() const override { return std::make_unique<Audio>(*this); }

 private:
  std::vector<ClipPtr> parts_;
  std::vector<int64_t> soundLengths_;
};

Function Splice(bool aligned) {
  return {"clip:c clips:c*", [aligned](Call& call) -> Value {
            std::vector<ClipPtr> parts{call.Clip(0)};
            for (const Value& v : call.rest) parts.push_back(v.asClip());
            return SpliceClips(call, std::move(parts), aligned);
          }};
}

// --- BlankClip -----------------------------------------------------------------

class BlankClip : public Clip {
 public:
  BlankClip(ClipInfo info, std::string origin, FramePtr frame) : Clip(info, std::move(origin)), frame_(std::move(frame)) {}

  class Video : public VideoStream {
   public:
    explicit Video(const BlankClip& clip) : clip_(clip) {}
    const AVFrame* Next() override { return next_++ < clip_.info().frameCount ? clip_.frame_.get() : nullptr; }

   private:
    const BlankClip& clip_;
    int64_t next_ = 0;
  };
  class Silence : public AudioStream {
   public:
    std::size_t Read(int16_t*, std::size_t) override { return 0; }
  };

  std::unique_ptr<VideoStream> OpenVideo() const override { return std::make_unique<Video>(*this); }
  std::unique_ptr<AudioStream> OpenAudio() const override {
    return ExactSampleCount(std::make_unique<Silence>(), info().sampleCount, info().channels);
  }

 private:
  FramePtr frame_;
};

Value MakeBlankClip(Call& call) {
  ClipInfo info;
  info.hasVideo = true;
  info.frameCount = call.Int(0, 240);
  info.width = static_cast<int>(std::clamp<int64_t>(call.Int(1, 640), -1, kMaxPictureSide + 1));
  info.height = static_cast<int>(std::clamp<int64_t>(call.Int(2, 480), -1, kMaxPictureSide + 1));
  info.pixelFormat = ParsePixelType(call, call.String(3, "RGB32"));
  CheckSize(call, info.width, info.height, info.pixelFormat);
  if (info.frameCount <= 0 || info.frameCount > (int64_t{1} << 31)) call.Fail("the length is out of range");
  const Value& fps = call.args[4];
  info.fps = fps.isInt() || !fps.defined() ? Rational{call.Int(4, 24), call.Int(5, 1)} : FloatToRational(fps.asFloat());
  if (info.fps.num <= 0 || info.fps.den <= 0 || info.fps.num > INT32_MAX || info.fps.den > INT32_MAX)
    call.Fail("the frame rate is out of range");
  int64_t rate = call.Int(6, 44100), channels = call.Int(7, 1);
  if (rate > 0 && channels > 0) {
    if (rate > 1536000 || channels > kMaxChannels) call.Fail("the sound format is out of range");
    info.hasAudio = true;
    info.sampleRate = static_cast<int>(rate);
    info.channels = static_cast<int>(channels);
    info.sampleCount = av_rescale(info.frameCount, rate * info.fps.den, info.fps.num);
  }
  // The colour is $RRGGBB; it is painted in RGB and converted like any
  // RGB picture.
  uint32_t color = static_cast<uint32_t>(call.Int(8, 0));
  FramePtr rgb = AllocFrame();
  rgb->width = info.width;
  rgb->height = info.height;
  rgb->format = AV_PIX_FMT_BGRA;
  if (av_frame_get_buffer(rgb.get(), 0) < 0) call.Fail("out of memory");
  for (int y = 0; y < info.height; ++y) {
    uint8_t* row = rgb->data[0] + static_cast<std::ptrdiff_t>(y) * rgb->linesize[0];
    for (int x = 0; x < info.width; ++x) {
      row[4 * x] = color & 0xFF;
      row[4 * x + 1] = (color >> 8) & 0xFF;
      row[4 * x + 2] = (color >> 16) & 0xFF;
      row[4 * x + 3] = 0xFF;
    }
  }
  Scaler paint(info.width, info.height, info.pixelFormat, SWS_POINT, Matrix::Rec601);
  FramePtr frame = AllocFrame();
  if (av_frame_ref(frame.get(), paint.Convert(rgb.get(), call.origin)) < 0) call.Fail("out of memory");
  return std::make_shared<BlankClip>(info, call.origin, std::move(frame));
}

// --- WriteFileStart ----------------------------------------------------------

Value WriteFileStart(Call& call) {
  std::string line;
  for (const Value& expression : call.rest)
    line += call.interp.EvalExpression(expression.asString(), call.origin, call.scriptDir).toText();
  std::string path = call.Path(call.String(1, ""));
  FILE* file = std::fopen(path.c_str(), call.Bool(3, false) ? "ab" : "wb");
  if (!file) call.Fail("cannot write " + path + ": " + std::strerror(errno));
  line += '\n';
  bool written = std::fwrite(line.data(), 1, line.size(), file) == line.size();
  if (std::fclose(file) != 0 || !written) call.Fail("cannot write " + path);
  return call.Clip(0);
}

}  // namespace

ClipPtr SpliceClips(const Call& call, std::vector<ClipPtr> parts, bool aligned) {
  ClipInfo info = parts[0]->info();
  info.frameCount = 0;
  info.sampleCount = 0;
  std::vector<int64_t> soundLengths;
  for (std::size_t i = 0; i < parts.size(); ++i) {
    const ClipInfo& p = parts[i]->info();
    if (p.hasVideo != info.hasVideo || p.width != info.width || p.height != info.height ||
        p.pixelFormat != info.pixelFormat)
      call.Fail("the clips' pictures differ in size or format");
    if (info.hasVideo && (p.fps.num * info.fps.den != info.fps.num * p.fps.den))
      call.Fail("the clips' frame rates differ");
    if (p.hasAudio != info.hasAudio || p.sampleRate != info.sampleRate || p.channels != info.channels)
      call.Fail("the clips' sounds differ in rate or channels, or only some have sound");
    int64_t length = p.sampleCount;
    // Aligned, each clip's sound lasts as long as its frames;
    // the last one's keeps its own end.
    if (aligned && p.hasAudio && p.hasVideo && i + 1 < parts.size())
      length = av_rescale(p.frameCount, int64_t{p.sampleRate} * p.fps.den, p.fps.num);
    soundLengths.push_back(length);
    info.frameCount += p.frameCount;
    info.sampleCount += length;
  }
  return std::make_shared<SplicedClip>(info, call.origin, std::move(parts), std::move(soundLengths));
}

ClipPtr WithPixelType(const Call& call, const ClipPtr& clip, const std::string& pixelType) {
  std::string name = Lower(pixelType);
  if (name == "auto" || name == "full" || !clip->info().hasVideo) return clip;
  return ConvertTo(call, clip, ParsePixelType(call, pixelType), Matrix::Rec601);
}

ClipPtr WithFrameRate(const Call& call, const ClipPtr& clip, Rational fps) {
  if (fps.num <= 0 || fps.den <= 0 || fps.num > INT32_MAX || fps.den > INT32_MAX) call.Fail("the frame rate is out of range");
  ClipInfo info = clip->info();
  info.fps = fps;
  return std::make_shared<Rewired>(info, call.origin, clip, clip);
}

void RegisterFilterFunctions(std::map<std::string, Function>& table) {
  table["spline64resize"] = Resizer(SWS_SPLINE);
  table["spline36resize"] = Resizer(SWS_SPLINE);
  table["spline16resize"] = Resizer(SWS_SPLINE);
  table["lanczosresize"] = Resizer(SWS_LANCZOS);
  table["lanczos4resize"] = Resizer(SWS_LANCZOS);
  table["blackmanresize"] = Resizer(SWS_LANCZOS);
  table["bicubicresize"] = Resizer(SWS_BICUBIC);
  table["bilinearresize"] = Resizer(SWS_BILINEAR);
  table["gaussresize"] = Resizer(SWS_GAUSS);
  table["pointresize"] = Resizer(SWS_POINT);
  table["converttoyv12"] = Converter(AV_PIX_FMT_YUV420P);
  table["converttoyv16"] = Converter(AV_PIX_FMT_YUV422P);
  table["converttoyv24"] = Converter(AV_PIX_FMT_YUV444P);
  table["converttoyuy2"] = Converter(AV_PIX_FMT_YUYV422);
  table["converttoy8"] = Converter(AV_PIX_FMT_GRAY8);
  table["converttorgb24"] = Converter(AV_PIX_FMT_BGR24);
  table["converttorgb32"] = Converter(AV_PIX_FMT_BGRA);
  table["converttorgb"] = Converter(AV_PIX_FMT_BGRA);
  table["crop"] = {"clip:c left:i top:i ?width:i ?height:i ?align:b", [](Call& call) -> Value {
                     VideoOf(call, 0);
                     return MakeCrop(call, call.Clip(0), call.Int(1, 0), call.Int(2, 0), call.Int(3, 0), call.Int(4, 0));
                   }};
  table["trim"] = {"clip:c first_frame:i last_frame:i ?pad_audio:b", Trim};
  table["assumefps"] = {"clip:c fps:. ?denominator:i ?sync_audio:b", AssumeFps};
  table["resampleaudio"] = {"clip:c new_rate_numerator:i ?new_rate_denominator:i", ResampleAudio};
  table["audiodub"] = {"video_clip:c audio_clip:c", AudioDub};
  table["killaudio"] = {"clip:c", KillAudio};
  table["alignedsplice"] = Splice(true);
  table["unalignedsplice"] = Splice(false);
  table["blankclip"] = {"?length:i ?width:i ?height:i ?pixel_type:s ?fps:f ?fps_denominator:i ?audio_rate:i "
                        "?channels:i ?color:i",
                        MakeBlankClip};
  table["writefilestart"] = {"clip:c filename:s expression:s* ?append:b", WriteFileStart};
}

}  // namespace avs
