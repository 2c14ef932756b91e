#include "tools/engine/scale.h"

#include "tools/engine/filter.h"
#include "tools/engine/pixel_format.h"

extern "C" {
#include <libavutil/cpu.h>
#include <libavutil/opt.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

namespace avs {

namespace {

AVPixelFormat PlainTwin(AVPixelFormat format) {
  switch (format) {
    case AV_PIX_FMT_YUVJ420P: return AV_PIX_FMT_YUV420P;
    case AV_PIX_FMT_YUVJ422P: return AV_PIX_FMT_YUV422P;
    case AV_PIX_FMT_YUVJ444P: return AV_PIX_FMT_YUV444P;
    case AV_PIX_FMT_YUVJ440P: return AV_PIX_FMT_YUV440P;
    default: return format;
  }
}

}  // namespace

bool IsFullRangeFormat(AVPixelFormat format) { return PlainTwin(format) != format; }

bool IsFullRange(const AVFrame& frame) {
  AVPixelFormat format = static_cast<AVPixelFormat>(frame.format);
  return IsFullRangeFormat(format) || (frame.color_range == AVCOL_RANGE_JPEG && !IsRgbFormat(format));
}

bool LabelFullRange(AVFrame& decoded, AVPixelFormat engine) {
  if (!IsFullRange(decoded) || PlainTwin(static_cast<AVPixelFormat>(decoded.format)) != engine) return false;
  decoded.format = engine;
  decoded.color_range = AVCOL_RANGE_JPEG;
  return true;
}

Scaler::Scaler(int width, int height, AVPixelFormat format, ScaleMethod method, Matrix matrix)
    : width_(width), height_(height), format_(format), method_(method), matrix_(matrix), pool_(width, height, format) {}

Scaler::~Scaler() { sws_freeContext(context_); }

FramePtr Scaler::Convert(const AVFrame& frame, const std::string& origin) {
  auto fail = [&origin](const std::string& message) { throw ScriptError(origin + ": " + message); };
  const AVFrame* source = &frame;
  const bool fullRangeSource = IsFullRange(frame);
  if (!context_ || source->width != sourceWidth_ || source->height != sourceHeight_ ||
      source->format != sourceFormat_ || fullRangeSource != sourceFullRange_) {
    sws_freeContext(context_);
    context_ = sws_alloc_context();
    if (!context_) fail("out of memory");
    av_opt_set_int(context_, "srcw", source->width, 0);
    av_opt_set_int(context_, "srch", source->height, 0);
    // The full-range "J" formats are their plain twins with a full range.
    AVPixelFormat sourceFormat = PlainTwin(static_cast<AVPixelFormat>(source->format));
    av_opt_set_int(context_, "src_format", sourceFormat, 0);
    av_opt_set_int(context_, "dstw", width_, 0);
    av_opt_set_int(context_, "dsth", height_, 0);
    av_opt_set_int(context_, "dst_format", format_, 0);
    av_opt_set_int(context_, "sws_flags", method_.algorithm, 0);
    av_opt_set_double(context_, "param0", method_.params[0], 0);
    av_opt_set_double(context_, "param1", method_.params[1], 0);
    av_opt_set_int(context_, "src_h_chr_pos", method_.sourceChroma[0], 0);
    av_opt_set_int(context_, "src_v_chr_pos", method_.sourceChroma[1], 0);
    av_opt_set_int(context_, "dst_h_chr_pos", method_.targetChroma[0], 0);
    av_opt_set_int(context_, "dst_v_chr_pos", method_.targetChroma[1], 0);
    av_opt_set_int(context_, "threads", av_cpu_count(), 0);
    bool hd = matrix_ == Matrix::Rec709 || matrix_ == Matrix::PC709;
    bool pcRange = matrix_ == Matrix::PC601 || matrix_ == Matrix::PC709;
    int sourceRange = IsRgbFormat(sourceFormat) || pcRange || fullRangeSource ? 1 : 0;
    int destRange = IsRgbFormat(format_) || pcRange ? 1 : 0;
    // The ranges go in before the context is built: with equal sizes and
    // formats swscale would otherwise copy the planes unchanged.
    av_opt_set_int(context_, "src_range", sourceRange, 0);
    av_opt_set_int(context_, "dst_range", destRange, 0);
    if (sws_init_context(context_, nullptr, nullptr) < 0)
      fail("cannot convert " + std::to_string(source->width) + "x" + std::to_string(source->height) + " " +
                 (av_get_pix_fmt_name(static_cast<AVPixelFormat>(source->format)) ?: "?") + " pictures");
    const int* coefficients = sws_getCoefficients(hd ? SWS_CS_ITU709 : SWS_CS_ITU601);
    sws_setColorspaceDetails(context_, coefficients, sourceRange, coefficients, destRange, 0, 1 << 16, 1 << 16);
    sourceWidth_ = source->width;
    sourceHeight_ = source->height;
    sourceFormat_ = source->format;
    sourceFullRange_ = fullRangeSource;
  }
  FramePtr out = pool_.Get();
  if (!IsRgbFormat(format_)) {
    bool hd = matrix_ == Matrix::Rec709 || matrix_ == Matrix::PC709;
    out->colorspace = hd ? AVCOL_SPC_BT709 : AVCOL_SPC_SMPTE170M;
    out->color_range = matrix_ == Matrix::PC601 || matrix_ == Matrix::PC709 ? AVCOL_RANGE_JPEG : AVCOL_RANGE_MPEG;
  }
  if (sws_scale_frame(context_, out.get(), source) < 0) fail("picture conversion failed");
  return out;
}

namespace {

class ScaledClip : public VideoFilter {
 public:
  ScaledClip(ClipInfo info, std::string origin, ClipPtr source, ScaleMethod method, Matrix matrix)
      : VideoFilter(info, std::move(origin), {std::move(source)}), method_(method), matrix_(matrix) {}

  class Stream : public VideoStream {
   public:
    Stream(const ScaledClip& clip, Reading& reading)
        : clip_(clip),
          inputs_(reading, clip),
          scaler_(clip.info().width, clip.info().height, clip.info().pixelFormat, clip.method_, clip.matrix_) {}
    FrameRef Frame(int64_t n) override { return Share(scaler_.Convert(*inputs_.Frame(0, n), clip_.origin())); }

   private:
    const ScaledClip& clip_;
    Inputs inputs_;
    Scaler scaler_;
  };

  std::unique_ptr<VideoStream> OpenVideo(Reading& reading) const override {
    return std::make_unique<Stream>(*this, reading);
  }

 private:
  ScaleMethod method_;
  Matrix matrix_;
};

// The range conversion a full-range source ends with, until a conversion
// built on it takes it over.
class LimitedRangeClip : public ScaledClip {
 public:
  explicit LimitedRangeClip(ClipPtr fullRange)
      : ScaledClip(fullRange->info(), fullRange->origin(), fullRange, SWS_BICUBIC, Matrix::Rec601) {}
};

}  // namespace

ClipPtr MakeScaledClip(ClipInfo info, std::string origin, ClipPtr source, ScaleMethod method, Matrix matrix) {
  // A PC matrix reads its input as full range already: what it reads must
  // then be limited first, as it would be without the folding.
  const bool readsLimited = matrix == Matrix::Rec601 || matrix == Matrix::Rec709;
  if (const auto* range = dynamic_cast<const LimitedRangeClip*>(source.get()); range && readsLimited)
    source = range->inputs()[0];
  return std::make_shared<ScaledClip>(info, std::move(origin), std::move(source), method, matrix);
}

ClipPtr MakeLimitedRangeClip(ClipPtr fullRange) { return std::make_shared<LimitedRangeClip>(std::move(fullRange)); }

AVPixelFormat EngineFormat(AVPixelFormat decoded) {
  const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(decoded);
  if (!desc) return AV_PIX_FMT_YUV420P;
  const bool rgb = desc->flags & (AV_PIX_FMT_FLAG_RGB | AV_PIX_FMT_FLAG_PAL);
  const bool alpha = desc->flags & AV_PIX_FMT_FLAG_ALPHA;
  AVPixelFormat eightBit = AV_PIX_FMT_YUV420P;
  if (rgb) eightBit = alpha ? AV_PIX_FMT_BGRA : AV_PIX_FMT_BGR24;
  else if (desc->nb_components <= 2) eightBit = AV_PIX_FMT_GRAY8;
  else if (decoded == AV_PIX_FMT_YUYV422) eightBit = AV_PIX_FMT_YUYV422;
  else if (desc->log2_chroma_w == 1 && desc->log2_chroma_h == 0) eightBit = AV_PIX_FMT_YUV422P;
  else if (desc->log2_chroma_w == 0 && desc->log2_chroma_h == 0) eightBit = AV_PIX_FMT_YUV444P;
  const int depth = desc->comp[0].depth;
  const bool floating = desc->flags & AV_PIX_FMT_FLAG_FLOAT;
  if (depth <= 8 && !floating) return eightBit;
  // Deeper pictures keep their depth, at the nearest the engine has (9 bits
  // as 10, packed 10-bit RGB as RGB48); YUV keeps its subsampling.
  AVPixelFormat family = eightBit;
  if (rgb && (desc->flags & AV_PIX_FMT_FLAG_PLANAR)) family = alpha ? AV_PIX_FMT_GBRAP : AV_PIX_FMT_GBRP;
  if (family == AV_PIX_FMT_YUYV422) family = AV_PIX_FMT_YUV422P;
  const int bits = floating ? 32 : depth <= 10 ? 10 : depth <= 12 ? 12 : depth <= 14 ? 14 : 16;
  for (int candidate : {bits, 16})
    if (AVPixelFormat format = AtDepth(family, candidate); format != AV_PIX_FMT_NONE) return format;
  return eightBit;
}

bool PassesAs(const AVFrame& decoded, AVPixelFormat engine) {
  return decoded.format == engine && !IsFullRange(decoded);
}

}  // namespace avs
