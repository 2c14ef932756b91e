#include "tools/engine/clip.h"

extern "C" {
#include <libavutil/pixdesc.h>
}

#include <algorithm>
#include <cstring>

namespace avs {

FramePtr AllocFrame() {
  FramePtr frame(av_frame_alloc());
  if (!frame) throw ScriptError("out of memory");
  return frame;
}

void Clip::Fail(const std::string& message) const { throw ScriptError(origin_ + ": " + message); }

bool IsRgbFormat(AVPixelFormat format) {
  const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(format);
  return desc && (desc->flags & AV_PIX_FMT_FLAG_RGB);
}

const char* PixelTypeName(AVPixelFormat format) {
  switch (format) {
    case AV_PIX_FMT_YUV420P: return "YV12";
    case AV_PIX_FMT_BGR24: return "RGB24";
    case AV_PIX_FMT_BGRA: return "RGB32";
    case AV_PIX_FMT_YUYV422: return "YUY2";
    case AV_PIX_FMT_YUV422P: return "YV16";
    case AV_PIX_FMT_YUV444P: return "YV24";
    case AV_PIX_FMT_GRAY8: return "Y8";
    default: return "unknown";
  }
}

namespace {

class ExactFrames : public VideoStream {
 public:
  ExactFrames(std::unique_ptr<VideoStream> source, int64_t count, const Clip& owner)
      : source_(std::move(source)), count_(count), owner_(owner), last_(AllocFrame()) {}

  const AVFrame* Next() override {
    if (delivered_ >= count_) return nullptr;
    ++delivered_;
    if (source_) {
      if (const AVFrame* frame = source_->Next()) {
        // Holding a reference (not a copy) keeps the frame for repeating
        // should the source run short.
        av_frame_unref(last_.get());
        if (av_frame_ref(last_.get(), frame) < 0) owner_.Fail("out of memory");
        return last_.get();
      }
      source_.reset();
    }
    if (!last_->buf[0]) owner_.Fail("no frame could be decoded");
    return last_.get();
  }

 private:
  std::unique_ptr<VideoStream> source_;
  int64_t count_;
  int64_t delivered_ = 0;
  const Clip& owner_;
  FramePtr last_;
};

class ExactSamples : public AudioStream {
 public:
  ExactSamples(std::unique_ptr<AudioStream> source, int64_t count, int channels)
      : source_(std::move(source)), left_(count), channels_(channels) {}

  std::size_t Read(int16_t* dst, std::size_t maxSamples) override {
    std::size_t want = static_cast<std::size_t>(std::min<int64_t>(left_, static_cast<int64_t>(maxSamples)));
    std::size_t got = 0;
    while (source_ && got < want) {
      std::size_t n = source_->Read(dst + got * channels_, want - got);
      if (n == 0) source_.reset();
      got += n;
    }
    std::memset(dst + got * channels_, 0, (want - got) * channels_ * sizeof(int16_t));
    left_ -= static_cast<int64_t>(want);
    return want;
  }

 private:
  std::unique_ptr<AudioStream> source_;
  int64_t left_;
  int channels_;
};

}  // namespace

std::unique_ptr<VideoStream> ExactFrameCount(std::unique_ptr<VideoStream> source, int64_t count,
                                             const Clip& owner) {
  return std::make_unique<ExactFrames>(std::move(source), count, owner);
}

std::unique_ptr<AudioStream> ExactSampleCount(std::unique_ptr<AudioStream> source, int64_t count,
                                              int channels) {
  return std::make_unique<ExactSamples>(std::move(source), count, channels);
}

}  // namespace avs
