#include "tools/engine/pixel_format.h"

#include "tools/engine/script.h"

extern "C" {
#include <libavutil/pixdesc.h>
}

#include <sstream>

namespace avs {

namespace {

enum class Family { Yuv420, Yuv422, Yuv444, Y, Yuva420, Yuva422, Yuva444, Yuy2, Rgb, Rgba, Rgbp, Rgbap };

struct FormatEntry {
  AVPixelFormat format;
  Family family;
  int bits;
  const char* name;     // what PixelType gives
  const char* aliases;  // other names it is known by, separated by spaces
};

// The one list of the engine's formats.
constexpr FormatEntry kFormats[] = {
    {AV_PIX_FMT_YUV420P, Family::Yuv420, 8, "YV12", "YUV420 YUV420P8 I420 IYUV"},
    {AV_PIX_FMT_YUV420P10LE, Family::Yuv420, 10, "YUV420P10", ""},
    {AV_PIX_FMT_YUV420P12LE, Family::Yuv420, 12, "YUV420P12", ""},
    {AV_PIX_FMT_YUV420P14LE, Family::Yuv420, 14, "YUV420P14", ""},
    {AV_PIX_FMT_YUV420P16LE, Family::Yuv420, 16, "YUV420P16", ""},
    {AV_PIX_FMT_YUV422P, Family::Yuv422, 8, "YV16", "YUV422 YUV422P8"},
    {AV_PIX_FMT_YUV422P10LE, Family::Yuv422, 10, "YUV422P10", ""},
    {AV_PIX_FMT_YUV422P12LE, Family::Yuv422, 12, "YUV422P12", ""},
    {AV_PIX_FMT_YUV422P14LE, Family::Yuv422, 14, "YUV422P14", ""},
    {AV_PIX_FMT_YUV422P16LE, Family::Yuv422, 16, "YUV422P16", ""},
    {AV_PIX_FMT_YUV444P, Family::Yuv444, 8, "YV24", "YUV444 YUV444P8"},
    {AV_PIX_FMT_YUV444P10LE, Family::Yuv444, 10, "YUV444P10", ""},
    {AV_PIX_FMT_YUV444P12LE, Family::Yuv444, 12, "YUV444P12", ""},
    {AV_PIX_FMT_YUV444P14LE, Family::Yuv444, 14, "YUV444P14", ""},
    {AV_PIX_FMT_YUV444P16LE, Family::Yuv444, 16, "YUV444P16", ""},
    {AV_PIX_FMT_GRAY8, Family::Y, 8, "Y8", "GREY8 GRAY8"},
    {AV_PIX_FMT_GRAY10LE, Family::Y, 10, "Y10", ""},
    {AV_PIX_FMT_GRAY12LE, Family::Y, 12, "Y12", ""},
    {AV_PIX_FMT_GRAY14LE, Family::Y, 14, "Y14", ""},
    {AV_PIX_FMT_GRAY16LE, Family::Y, 16, "Y16", ""},
    {AV_PIX_FMT_GRAYF32LE, Family::Y, 32, "Y32", ""},
    {AV_PIX_FMT_YUVA420P, Family::Yuva420, 8, "YUVA420", "YUVA420P8"},
    {AV_PIX_FMT_YUVA420P10LE, Family::Yuva420, 10, "YUVA420P10", ""},
    {AV_PIX_FMT_YUVA420P16LE, Family::Yuva420, 16, "YUVA420P16", ""},
    {AV_PIX_FMT_YUVA422P, Family::Yuva422, 8, "YUVA422", "YUVA422P8"},
    {AV_PIX_FMT_YUVA422P10LE, Family::Yuva422, 10, "YUVA422P10", ""},
    {AV_PIX_FMT_YUVA422P12LE, Family::Yuva422, 12, "YUVA422P12", ""},
    {AV_PIX_FMT_YUVA422P16LE, Family::Yuva422, 16, "YUVA422P16", ""},
    {AV_PIX_FMT_YUVA444P, Family::Yuva444, 8, "YUVA444", "YUVA444P8"},
    {AV_PIX_FMT_YUVA444P10LE, Family::Yuva444, 10, "YUVA444P10", ""},
    {AV_PIX_FMT_YUVA444P12LE, Family::Yuva444, 12, "YUVA444P12", ""},
    {AV_PIX_FMT_YUVA444P16LE, Family::Yuva444, 16, "YUVA444P16", ""},
    {AV_PIX_FMT_YUYV422, Family::Yuy2, 8, "YUY2", ""},
    {AV_PIX_FMT_BGR24, Family::Rgb, 8, "RGB24", ""},
    {AV_PIX_FMT_BGR48LE, Family::Rgb, 16, "RGB48", ""},
    {AV_PIX_FMT_BGRA, Family::Rgba, 8, "RGB32", ""},
    {AV_PIX_FMT_BGRA64LE, Family::Rgba, 16, "RGB64", ""},
    {AV_PIX_FMT_GBRP, Family::Rgbp, 8, "RGBP", "RGBP8"},
    {AV_PIX_FMT_GBRP10LE, Family::Rgbp, 10, "RGBP10", ""},
    {AV_PIX_FMT_GBRP12LE, Family::Rgbp, 12, "RGBP12", ""},
    {AV_PIX_FMT_GBRP14LE, Family::Rgbp, 14, "RGBP14", ""},
    {AV_PIX_FMT_GBRP16LE, Family::Rgbp, 16, "RGBP16", ""},
    {AV_PIX_FMT_GBRPF32LE, Family::Rgbp, 32, "RGBPS", ""},
    {AV_PIX_FMT_GBRAP, Family::Rgbap, 8, "RGBAP", "RGBAP8"},
    {AV_PIX_FMT_GBRAP10LE, Family::Rgbap, 10, "RGBAP10", ""},
    {AV_PIX_FMT_GBRAP12LE, Family::Rgbap, 12, "RGBAP12", ""},
    {AV_PIX_FMT_GBRAP16LE, Family::Rgbap, 16, "RGBAP16", ""},
    {AV_PIX_FMT_GBRAPF32LE, Family::Rgbap, 32, "RGBAPS", ""},
};

const FormatEntry* Find(AVPixelFormat format) {
  for (const FormatEntry& entry : kFormats)
    if (entry.format == format) return &entry;
  return nullptr;
}

}  // namespace

bool IsEngineFormat(AVPixelFormat format) { return Find(format) != nullptr; }

const std::vector<AVPixelFormat>& EngineFormats() {
  static const std::vector<AVPixelFormat> formats = [] {
    std::vector<AVPixelFormat> all;
    for (const FormatEntry& entry : kFormats) all.push_back(entry.format);
    return all;
  }();
  return formats;
}

const char* PixelTypeName(AVPixelFormat format) {
  const FormatEntry* entry = Find(format);
  return entry ? entry->name : "unknown";
}

AVPixelFormat PixelFormatNamed(const std::string& name) {
  const std::string wanted = Lower(name);
  for (const FormatEntry& entry : kFormats) {
    if (Lower(entry.name) == wanted) return entry.format;
    std::istringstream aliases(entry.aliases);
    for (std::string alias; aliases >> alias;)
      if (Lower(alias) == wanted) return entry.format;
  }
  return AV_PIX_FMT_NONE;
}

int BitsPerComponent(AVPixelFormat format) {
  if (const FormatEntry* entry = Find(format)) return entry->bits;
  const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(format);
  return desc ? desc->comp[0].depth : 8;
}

bool IsFloatFormat(AVPixelFormat format) { return BitsPerComponent(format) == 32; }

int BytesPerComponent(AVPixelFormat format) {
  const int bits = BitsPerComponent(format);
  return bits <= 8 ? 1 : bits <= 16 ? 2 : 4;
}

std::string DepthName(AVPixelFormat format) {
  return IsFloatFormat(format) ? "32-bit float" : std::to_string(BitsPerComponent(format)) + "-bit";
}

AVPixelFormat AtDepth(AVPixelFormat format, int bits) {
  const FormatEntry* from = Find(format);
  if (!from) return AV_PIX_FMT_NONE;
  for (const FormatEntry& entry : kFormats)
    if (entry.family == from->family && entry.bits == bits) return entry.format;
  return AV_PIX_FMT_NONE;
}

bool HasAlpha(AVPixelFormat format) {
  const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(format);
  return desc && (desc->flags & AV_PIX_FMT_FLAG_ALPHA);
}

bool IsPlanar(AVPixelFormat format) {
  const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(format);
  return desc && ((desc->flags & AV_PIX_FMT_FLAG_PLANAR) || desc->nb_components == 1);
}

}  // namespace avs
