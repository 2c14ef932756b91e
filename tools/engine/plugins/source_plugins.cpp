#include "tools/engine/plugins/source_plugins.h"

#include "tools/engine/scale.h"

extern "C" {
#include <libswscale/swscale.h>
}

#include <utility>

namespace avs {

ClipPtr WithFormatNamed(const Call& call, const ClipPtr& clip, const std::string& name, const std::string& option) {
  if (name.empty()) return clip;
  static const std::pair<const char*, AVPixelFormat> kNames[] = {
      {"yv12", AV_PIX_FMT_YUV420P},   {"yuv420p8", AV_PIX_FMT_YUV420P}, {"i420", AV_PIX_FMT_YUV420P},
      {"yv16", AV_PIX_FMT_YUV422P},   {"yuv422p8", AV_PIX_FMT_YUV422P}, {"yv24", AV_PIX_FMT_YUV444P},
      {"yuv444p8", AV_PIX_FMT_YUV444P}, {"y8", AV_PIX_FMT_GRAY8},       {"y800", AV_PIX_FMT_GRAY8},
      {"gray8", AV_PIX_FMT_GRAY8},    {"yuy2", AV_PIX_FMT_YUYV422},    {"rgb24", AV_PIX_FMT_BGR24},
      {"rgb32", AV_PIX_FMT_BGRA}};
  const std::string lower = Lower(name);
  for (const auto& [known, format] : kNames)
    if (lower == known) return WithPixelType(call, clip, PixelTypeName(format));
  call.Fail(option + " \"" + name + "\" is no pixel type here (YV12 or YUV420P8, YV16, YV24, Y8, YUY2, RGB24, RGB32 are)");
}

ClipPtr WithSizeNamed(const Call& call, const ClipPtr& clip, int64_t width, int64_t height, const std::string& resizer) {
  static const std::pair<const char*, int> kResizers[] = {
      {"fast_bilinear", SWS_FAST_BILINEAR}, {"bilinear", SWS_BILINEAR}, {"bicubic", SWS_BICUBIC}, {"x", SWS_X},
      {"point", SWS_POINT},  {"area", SWS_AREA},      {"bicublin", SWS_BICUBLIN}, {"gauss", SWS_GAUSS},
      {"sinc", SWS_SINC},    {"lanczos", SWS_LANCZOS}, {"spline", SWS_SPLINE}};
  int algorithm = -1;
  for (const auto& [known, flag] : kResizers)
    if (Lower(resizer) == known) algorithm = flag;
  if (algorithm < 0)
    call.Fail("unknown resizer \"" + resizer +
              "\" (FAST_BILINEAR, BILINEAR, BICUBIC, X, POINT, AREA, BICUBLIN, GAUSS, SINC, LANCZOS or SPLINE)");
  ClipInfo info = clip->info();
  if (!info.hasVideo || ((width <= 0 || width == info.width) && (height <= 0 || height == info.height))) return clip;
  if (width <= 0) width = info.width;
  if (height <= 0) height = info.height;
  CheckSize(call, width, height, info.pixelFormat);
  info.width = static_cast<int>(width);
  info.height = static_cast<int>(height);
  return MakeScaledClip(info, call.origin, clip, algorithm, Matrix::Rec601);
}

ClipPtr WithConstantRate(const Call& call, const ClipPtr& clip, int64_t num, int64_t den) {
  if (num <= 0 || !clip->info().hasVideo) return clip;
  return WithChangedRate(call, clip, CheckedRate(call, num, den));
}

}  // namespace avs
