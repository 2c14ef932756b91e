#include "tools/engine/plugins/source_plugins.h"

#include "tools/engine/pixel_format.h"
#include "tools/engine/scale.h"

extern "C" {
#include <libswscale/swscale.h>
}

#include <utility>

namespace avs {

ClipPtr WithFormatNamed(const Call& call, const ClipPtr& clip, const std::string& name, const std::string& option) {
  if (name.empty()) return clip;
  // The plugins' planar RGB is GBRP, AviSynth+'s RGBP; FFMS2 also calls Y8 Y800.
  std::string lower = Lower(name);
  for (const char* gbr : {"gbrap", "gbrp"})
    if (lower.starts_with(gbr)) lower = (lower[3] == 'a' ? "rgbap" : "rgbp") + lower.substr(std::string(gbr).size());
  if (lower == "y800") lower = "y8";
  if (PixelFormatNamed(lower) == AV_PIX_FMT_NONE)
    call.Fail(option + " \"" + name + "\" is no pixel format here (YV12 or YUV420P8, YUV420P10, YV16, YV24, Y8, Y16, YUY2, "
              "RGB24, RGB32, RGB48, GBRP16 and the like are)");
  return WithPixelType(call, clip, lower);
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
