#include "tools/engine/scale.h"

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

Scaler::Scaler(int width, int height, AVPixelFormat format, int kernel, Matrix matrix)
    : width_(width), height_(height), format_(format), kernel_(kernel), matrix_(matrix), out_(AllocFrame()) {}

Scaler::~Scaler() { sws_freeContext(context_); }

const AVFrame* Scaler::Convert(const AVFrame* source, const std::string& origin) {
  auto fail = [&origin](const std::string& message) { throw ScriptError(origin + ": " + message); };
  if (!context_ || source->width != sourceWidth_ || source->height != sourceHeight_ ||
      source->format != sourceFormat_) {
    sws_freeContext(context_);
    context_ = sws_alloc_context();
    if (!context_) fail("out of memory");
    av_opt_set_int(context_, "srcw", source->width, 0);
    av_opt_set_int(context_, "srch", source->height, 0);
    // The full-range "J" formats are their plain twins with a full range.
    AVPixelFormat sourceFormat = PlainTwin(static_cast<AVPixelFormat>(source->format));
    bool fullRangeSource = sourceFormat != source->format;
    av_opt_set_int(context_, "src_format", sourceFormat, 0);
    av_opt_set_int(context_, "dstw", width_, 0);
    av_opt_set_int(context_, "dsth", height_, 0);
    av_opt_set_int(context_, "dst_format", format_, 0);
    av_opt_set_int(context_, "sws_flags", kernel_, 0);
    av_opt_set_int(context_, "threads", av_cpu_count(), 0);
    if (sws_init_context(context_, nullptr, nullptr) < 0)
      fail("cannot convert " + std::to_string(source->width) + "x" + std::to_string(source->height) + " " +
                 (av_get_pix_fmt_name(static_cast<AVPixelFormat>(source->format)) ?: "?") + " pictures");
    bool hd = matrix_ == Matrix::Rec709 || matrix_ == Matrix::PC709;
    bool pcRange = matrix_ == Matrix::PC601 || matrix_ == Matrix::PC709;
    const int* coefficients = sws_getCoefficients(hd ? SWS_CS_ITU709 : SWS_CS_ITU601);
    int sourceRange = IsRgbFormat(sourceFormat) || pcRange || fullRangeSource ? 1 : 0;
    int destRange = IsRgbFormat(format_) || pcRange ? 1 : 0;
    sws_setColorspaceDetails(context_, coefficients, sourceRange, coefficients, destRange, 0, 1 << 16, 1 << 16);
    sourceWidth_ = source->width;
    sourceHeight_ = source->height;
    sourceFormat_ = source->format;
    av_frame_unref(out_.get());
    out_->width = width_;
    out_->height = height_;
    out_->format = format_;
    if (av_frame_get_buffer(out_.get(), 0) < 0) fail("out of memory");
    if (!IsRgbFormat(format_)) {
      out_->colorspace = hd ? AVCOL_SPC_BT709 : AVCOL_SPC_SMPTE170M;
      out_->color_range = pcRange ? AVCOL_RANGE_JPEG : AVCOL_RANGE_MPEG;
    }
  }
  if (sws_scale_frame(context_, out_.get(), source) < 0) fail("picture conversion failed");
  return out_.get();
}

AVPixelFormat EngineFormat(AVPixelFormat decoded) {
  const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(decoded);
  if (!desc) return AV_PIX_FMT_YUV420P;
  if (desc->flags & (AV_PIX_FMT_FLAG_RGB | AV_PIX_FMT_FLAG_PAL))
    return desc->flags & AV_PIX_FMT_FLAG_ALPHA ? AV_PIX_FMT_BGRA : AV_PIX_FMT_BGR24;
  if (desc->nb_components == 1) return AV_PIX_FMT_GRAY8;
  switch (decoded) {
    case AV_PIX_FMT_YUYV422: return AV_PIX_FMT_YUYV422;
    case AV_PIX_FMT_YUV422P:
    case AV_PIX_FMT_YUVJ422P: return AV_PIX_FMT_YUV422P;
    case AV_PIX_FMT_YUV444P:
    case AV_PIX_FMT_YUVJ444P: return AV_PIX_FMT_YUV444P;
    default: return AV_PIX_FMT_YUV420P;
  }
}

bool PassesAs(AVPixelFormat decoded, AVPixelFormat engine) { return PlainTwin(decoded) == engine; }

}  // namespace avs
