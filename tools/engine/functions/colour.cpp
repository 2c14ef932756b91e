// Colour: pixel types and the conversions between them.
#include "tools/engine/functions/common.h"
#include "tools/engine/functions/families.h"
#include "tools/engine/scale.h"

extern "C" {
#include <libswscale/swscale.h>
}

namespace avs {

namespace {

Matrix ParseMatrix(const Call& call, std::size_t i) {
  std::string name = Lower(call.String(i, "Rec601"));
  if (name == "rec601") return Matrix::Rec601;
  if (name == "rec709") return Matrix::Rec709;
  if (name == "pc.601" || name == "pc601") return Matrix::PC601;
  if (name == "pc.709" || name == "pc709") return Matrix::PC709;
  call.Fail("unknown matrix \"" + call.String(i, "") + "\" (Rec601, Rec709, PC.601 or PC.709)");
}

ClipPtr ConvertTo(const Call& call, const ClipPtr& source, AVPixelFormat target, Matrix matrix) {
  const ClipInfo& in = source->info();
  if (in.pixelFormat == target) return source;
  CheckSize(call, in.width, in.height, target);
  ClipInfo info = in;
  info.pixelFormat = target;
  return MakeScaledClip(info, call.origin, source, SWS_BICUBIC, matrix);
}

Function Converter(AVPixelFormat target) {
  return {"clip:c ?interlaced:b ?matrix:s", [target](Call& call) -> Value {
            VideoOf(call, 0);
            Matrix matrix = ParseMatrix(call, 2);
            if (call.Bool(1, false)) call.Fail("interlaced conversion is not supported");
            return ConvertTo(call, call.Clip(0), target, matrix);
          }};
}

}  // namespace

ClipPtr WithPixelType(const Call& call, const ClipPtr& clip, const std::string& pixelType) {
  std::string name = Lower(pixelType);
  if (name == "auto" || name == "full" || !clip->info().hasVideo) return clip;
  return ConvertTo(call, clip, ParsePixelType(call, pixelType), Matrix::Rec601);
}

void RegisterColourFunctions(FunctionTable& table) {
  table["converttoyv12"] = Converter(AV_PIX_FMT_YUV420P);
  table["converttoyv16"] = Converter(AV_PIX_FMT_YUV422P);
  table["converttoyv24"] = Converter(AV_PIX_FMT_YUV444P);
  table["converttoyuy2"] = Converter(AV_PIX_FMT_YUYV422);
  table["converttoy8"] = Converter(AV_PIX_FMT_GRAY8);
  table["converttorgb24"] = Converter(AV_PIX_FMT_BGR24);
  table["converttorgb32"] = Converter(AV_PIX_FMT_BGRA);
  table["converttorgb"] = Converter(AV_PIX_FMT_BGRA);
}

}  // namespace avs
