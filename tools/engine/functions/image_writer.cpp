// ImageWriter: each frame of a range written as an image file when it is
// read, by FFmpeg's image encoders (png, bmp, jpeg, tiff, ppm/pgm/pbm, tga,
// pcx, sgi) or as its raw bytes. The picture passes on unchanged.
#include "tools/engine/filter.h"
#include "tools/engine/functions/common.h"
#include "tools/engine/functions/families.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/imgutils.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}


#include <cctype>
#include <mutex>

namespace avs {

namespace {

struct ImageType {
  const char* names;  // the type's extensions, separated by spaces
  AVCodecID codec;    // AV_CODEC_ID_NONE: the frame's raw bytes
};

constexpr ImageType kTypes[] = {
    {"png", AV_CODEC_ID_PNG},       {"bmp dib ebmp", AV_CODEC_ID_BMP}, {"jpg jpe jpeg", AV_CODEC_ID_MJPEG},
    {"tif tiff", AV_CODEC_ID_TIFF}, {"ppm", AV_CODEC_ID_PPM},          {"pgm", AV_CODEC_ID_PGM},
    {"pbm", AV_CODEC_ID_PBM},       {"tga", AV_CODEC_ID_TARGA},        {"pcx", AV_CODEC_ID_PCX},
    {"sgi bw rgb rgba", AV_CODEC_ID_SGI}, {"raw", AV_CODEC_ID_NONE},
};

const ImageType* FindType(const std::string& name) {
  for (const ImageType& type : kTypes) {
    std::string names = std::string(" ") + type.names + " ";
    if (names.find(" " + name + " ") != std::string::npos) return &type;
  }
  return nullptr;
}

// The file name of frame n: the name's one printf integer conversion
// filled in, or the number in six digits and the type's extension after it.
std::string FileName(const std::string& name, const std::string& type, int64_t n) {
  const std::size_t percent = name.find('%');
  if (percent == std::string::npos) {
    char number[32];
    std::snprintf(number, sizeof number, "%06lld", static_cast<long long>(n));
    return name + number + "." + type;
  }
  std::size_t end = percent + 1;
  while (end < name.size() && (std::isdigit(static_cast<unsigned char>(name[end])) || name[end] == '-')) ++end;
  const std::string spec = name.substr(percent, end - percent) + "lld";
  char number[64];
  std::snprintf(number, sizeof number, spec.c_str(), static_cast<long long>(n));
  return name.substr(0, percent) + number + name.substr(end + 1);
}

// The name's conversions: none, or one %d (with 0 and a width) and no
// other '%', so that the name is a safe printf format.
bool IsPattern(const std::string& name) {
  const std::size_t percent = name.find('%');
  if (percent == std::string::npos) return true;
  std::size_t end = percent + 1;
  while (end < name.size() && std::isdigit(static_cast<unsigned char>(name[end]))) ++end;
  return end - percent <= 4 && end < name.size() && (name[end] == 'd' || name[end] == 'i') &&
         name.find('%', end) == std::string::npos;
}

class ImageWriterClip : public FrameFilter {
 public:
  ImageWriterClip(const Call& call, std::string name, std::string type, const ImageType& kind, int64_t first,
                  int64_t last)
      : FrameFilter(VideoOf(call, 0), call.origin, {call.Clip(0)}), name_(std::move(name)), type_(std::move(type)),
        kind_(kind), first_(first), last_(last) {
    if (kind_.codec == AV_CODEC_ID_NONE) return;
    const AVCodec* codec = avcodec_find_encoder(kind_.codec);
    if (!codec) call.Fail("this FFmpeg cannot write " + type_ + " images");
    target_ = Target(codec, info().pixelFormat);
    if (target_ == AV_PIX_FMT_NONE)
      call.Fail(std::string("cannot write ") + PixelTypeName(info().pixelFormat) + " pictures as " + type_);
  }

  FrameRef MakeFrame(int64_t n, const Inputs& in) const override {
    FrameRef frame = in.Frame(0, n);
    if (n >= first_ && n <= last_) Write(n, *frame);
    return frame;
  }
  bool Costly() const override { return false; }

 private:
  // The format the encoder takes that the picture becomes without loss of
  // anything it holds: the same, RGB in another order, or grey as grey.
  static AVPixelFormat Target(const AVCodec* codec, AVPixelFormat from) {
    const AVPixelFormat rgb[] = {AV_PIX_FMT_BGR24, AV_PIX_FMT_RGB24};
    const AVPixelFormat rgba[] = {AV_PIX_FMT_BGRA, AV_PIX_FMT_RGBA, AV_PIX_FMT_BGR24, AV_PIX_FMT_RGB24};
    const AVPixelFormat grey[] = {AV_PIX_FMT_GRAY8, AV_PIX_FMT_YUVJ420P, AV_PIX_FMT_YUVJ444P};
    std::vector<AVPixelFormat> wanted;
    if (from == AV_PIX_FMT_BGR24) wanted.assign(std::begin(rgb), std::end(rgb));
    else if (from == AV_PIX_FMT_BGRA) wanted.assign(std::begin(rgba), std::end(rgba));
    else if (from == AV_PIX_FMT_GRAY8) wanted.assign(std::begin(grey), std::end(grey));
    // JPEG keeps RGB as full-range 4:2:0 YUV, as image files do.
    if (codec->id == AV_CODEC_ID_MJPEG && IsRgbFormat(from)) wanted.push_back(AV_PIX_FMT_YUVJ420P);
    for (AVPixelFormat want : wanted)
      for (const AVPixelFormat* f = codec->pix_fmts; f && *f != AV_PIX_FMT_NONE; ++f)
        if (*f == want) return want;
    return AV_PIX_FMT_NONE;
  }

  void Write(int64_t n, const AVFrame& frame) const {
    const std::string path = FileName(name_, type_, n);
    const std::string bytes = kind_.codec == AV_CODEC_ID_NONE ? RawBytes(frame) : Encoded(frame);
    WriteToFile(path, bytes, false, origin() + ": ImageWriter");
  }

  std::string RawBytes(const AVFrame& frame) const {
    const int size = av_image_get_buffer_size(info().pixelFormat, info().width, info().height, 1);
    std::string bytes(static_cast<std::size_t>(size), '\0');
    av_image_copy_to_buffer(reinterpret_cast<uint8_t*>(bytes.data()), size, frame.data, frame.linesize,
                            info().pixelFormat, info().width, info().height, 1);
    return bytes;
  }

  std::string Encoded(const AVFrame& frame) const {
    std::lock_guard lock(mutex_);
    const AVCodec* codec = avcodec_find_encoder(kind_.codec);
    std::unique_ptr<AVCodecContext, void (*)(AVCodecContext*)> context(avcodec_alloc_context3(codec), [](AVCodecContext* c) {
      avcodec_free_context(&c);
    });
    if (!context) Fail("out of memory");
    context->width = info().width;
    context->height = info().height;
    context->pix_fmt = target_;
    context->time_base = AVRational{1, 25};
    context->color_range = AVCOL_RANGE_JPEG;
    if (kind_.codec == AV_CODEC_ID_MJPEG) {
      // Near the best quality, as the writer of these files is asked for.
      context->flags |= AV_CODEC_FLAG_QSCALE;
      context->global_quality = FF_QP2LAMBDA * 2;
    }
    if (avcodec_open2(context.get(), codec, nullptr) < 0) Fail("cannot start the " + type_ + " encoder");
    FramePtr picture = Converted(frame);
    picture->pts = 0;
    picture->quality = context->global_quality;
    std::string bytes;
    AVPacket* packet = av_packet_alloc();
    if (!packet) Fail("out of memory");
    int status = avcodec_send_frame(context.get(), picture.get());
    if (status >= 0) status = avcodec_send_frame(context.get(), nullptr);
    while (status >= 0 && avcodec_receive_packet(context.get(), packet) >= 0) {
      bytes.append(reinterpret_cast<const char*>(packet->data), static_cast<std::size_t>(packet->size));
      av_packet_unref(packet);
    }
    av_packet_free(&packet);
    if (bytes.empty()) Fail("the " + type_ + " encoder gave nothing");
    return bytes;
  }

  FramePtr Converted(const AVFrame& frame) const {
    FramePtr out = NewPicture(info().width, info().height, target_);
    if (target_ == info().pixelFormat) {
      av_image_copy(out->data, out->linesize, const_cast<const uint8_t**>(frame.data), frame.linesize, target_,
                    info().width, info().height);
      return out;
    }
    SwsContext* sws = sws_getContext(info().width, info().height, info().pixelFormat, info().width, info().height,
                                     target_, SWS_POINT | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INT, nullptr, nullptr, nullptr);
    if (!sws) Fail("cannot convert the picture for " + type_);
    sws_scale(sws, frame.data, frame.linesize, 0, info().height, out->data, out->linesize);
    sws_freeContext(sws);
    return out;
  }

  std::string name_, type_;
  const ImageType& kind_;
  int64_t first_, last_;
  AVPixelFormat target_ = AV_PIX_FMT_NONE;
  mutable std::mutex mutex_;
};

// ImageWriter(clip, file = "", start = 0, end = 0, type = "ebmp", info):
// an end of 0 is the last frame, a negative one a count.
Value ImageWriter(Call& call) {
  const ClipInfo& in = VideoOf(call, 0);
  const std::string type = Lower(call.String(4, "ebmp"));
  const ImageType* kind = FindType(type);
  if (!kind) call.Fail("unknown type \"" + type + "\" (png, bmp, ebmp, jpg, tif, ppm, pgm, pbm, tga, pcx, sgi or raw)");
  if (kind->codec != AV_CODEC_ID_NONE && !IsRgbFormat(in.pixelFormat) && in.pixelFormat != AV_PIX_FMT_GRAY8)
    call.Fail(std::string("writes RGB and Y8 pictures as ") + type + ", not " + PixelTypeName(in.pixelFormat) +
              " (ConvertToRGB first, or type \"raw\")");
  const std::string name = call.String(1, "");
  if (!IsPattern(name)) call.Fail("the file name may hold one %d (with a width) and no other %");
  const int64_t first = call.Int(2, 0);
  int64_t last = call.Int(3, 0);
  if (first < 0) call.Fail("start cannot be negative");
  if (last == 0) last = in.frameCount - 1;
  else if (last < 0) last = first - last - 1;
  return std::make_shared<ImageWriterClip>(call, call.Path(name), type, *kind, first, last);
}

}  // namespace

void RegisterImageWriterFunction(FunctionTable& table) {
  // info, the writing's progress drawn on the frames, changes nothing here.
  table["imagewriter"] = {"clip:c ?file:s ?start:i ?end:i ?type:s ?info:b", ImageWriter};
}

}  // namespace avs
