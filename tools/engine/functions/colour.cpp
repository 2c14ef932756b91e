// Colour: pixel types and the conversions between them (through swscale,
// or libavfilter's field-aware scale for interlaced 4:2:0), bit depth, and
// Greyscale and Invert. The adjustments are in colour_adjust.cpp.
#include "tools/engine/functions/channels.h"
#include "tools/engine/functions/common.h"
#include "tools/engine/functions/families.h"
#include "tools/engine/graph_clip.h"
#include "tools/engine/scale.h"

extern "C" {
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <cmath>

namespace avs {

namespace {

using K = ChannelKind;

Matrix ParseMatrix(const Call& call, const Value& value) {
  if (!value.defined()) return Matrix::Rec601;
  const std::string name = Lower(value.asString());
  if (name == "rec601") return Matrix::Rec601;
  if (name == "rec709") return Matrix::Rec709;
  if (name == "pc.601" || name == "pc601") return Matrix::PC601;
  if (name == "pc.709" || name == "pc709") return Matrix::PC709;
  call.Fail("unknown matrix \"" + value.asString() + "\" (Rec601, Rec709, PC.601 or PC.709)");
}

bool FourTwoZero(AVPixelFormat format) { return format == AV_PIX_FMT_YUV420P; }

bool Subsampled(AVPixelFormat format) {
  const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(format);
  return !IsRgbFormat(format) && desc->nb_components > 1 && (desc->log2_chroma_w > 0 || desc->log2_chroma_h > 0);
}

struct ChromaResampler {
  const char* name;  // AviSynth's, and libavfilter's flag after the colon
  int algorithm;
};
constexpr ChromaResampler kChromaResamplers[] = {
    {"point", SWS_POINT},       {"bilinear", SWS_BILINEAR}, {"bicubic", SWS_BICUBIC}, {"lanczos", SWS_LANCZOS},
    {"lanczos4", SWS_LANCZOS},  {"blackman", SWS_LANCZOS},  {"spline16", SWS_SPLINE}, {"spline36", SWS_SPLINE},
    {"spline64", SWS_SPLINE},   {"gauss", SWS_GAUSS},       {"sinc", SWS_SINC},
};

const char* GraphFlag(int algorithm) {
  switch (algorithm) {
    case SWS_POINT: return "neighbor";
    case SWS_BILINEAR: return "bilinear";
    case SWS_LANCZOS: return "lanczos";
    case SWS_SPLINE: return "spline";
    case SWS_GAUSS: return "gauss";
    case SWS_SINC: return "sinc";
    default: return "bicubic";
  }
}

// chromaresample with its param1 and param2 (bicubic's b and c, the taps,
// gauss's p), as AviSynth's resizers of the same names default them.
ScaleMethod ChromaMethod(const Call& call, const Value& name, const Value& param1, const Value& param2) {
  const std::string chosen = name.defined() ? Lower(name.asString()) : "bicubic";
  for (const ChromaResampler& r : kChromaResamplers) {
    if (chosen != r.name) continue;
    ScaleMethod method(r.algorithm);
    auto param = [&](const Value& v, double fallback) {
      const double value = v.defined() ? v.asFloat() : fallback;
      if (!std::isfinite(value) || std::fabs(value) > 1000) call.Fail("param1 and param2 must be moderate numbers");
      return value;
    };
    if (chosen == "bicubic") {
      method.params[0] = param(param1, 1.0 / 3);
      method.params[1] = param(param2, 1.0 / 3);
    } else if (chosen == "lanczos" || chosen == "blackman" || chosen == "lanczos4") {
      method.params[0] = std::clamp(std::trunc(param(param1, chosen == "lanczos" ? 3 : 4)), 1.0, 100.0);
      if (chosen == "lanczos4") method.params[0] = 4;
    } else if (chosen == "gauss") {
      method.params[0] = std::clamp(param(param1, 30), 0.1, 100.0) / 10;
    }
    return method;
  }
  call.Fail("unknown chromaresample \"" + name.asString() + "\"");
}

// Chroma placement as swscale's chroma position in 1/256 of a luma sample,
// horizontally and vertically.
std::array<int, 2> ParsePlacement(const Call& call, const Value& value) {
  const std::string name = Lower(value.asString());
  if (name == "mpeg2" || name == "left" || name == "auto") return {0, 128};
  if (name == "mpeg1" || name == "center" || name == "jpeg") return {128, 128};
  if (name == "top_left") return {0, 0};
  call.Fail("unknown chroma placement \"" + value.asString() + "\" (MPEG2, MPEG1 or top_left)");
}

// The chroma position of a subsampled format: the placement named, or
// MPEG2's (swscale would guess MPEG1's).
void Place(const Call& call, const Value& placement, AVPixelFormat format, int* position) {
  if (!Subsampled(format)) return;
  const auto p = ParsePlacement(call, placement.defined() ? placement : Value("MPEG2"));
  std::copy(p.begin(), p.end(), position);
}

struct Conversion {
  Matrix matrix = Matrix::Rec601;
  ScaleMethod method{SWS_BICUBIC};
  bool interlaced = false;
};

const char* RangeName(bool full) { return full ? "pc" : "tv"; }

ClipPtr ConvertTo(const Call& call, const ClipPtr& source, AVPixelFormat target, const Conversion& how) {
  const ClipInfo& in = source->info();
  if (in.pixelFormat == target) return source;
  CheckSize(call, in.width, in.height, target);
  ClipInfo info = in;
  info.pixelFormat = target;
  if (!how.interlaced || (!FourTwoZero(in.pixelFormat) && !FourTwoZero(target)))
    return MakeScaledClip(info, call.origin, source, how.method, how.matrix);
  // Interlaced 4:2:0 keeps the chroma of each field apart.
  if (in.height % 4) call.Fail("interlaced YV12 needs a height that is a multiple of 4");
  const bool hd = how.matrix == Matrix::Rec709 || how.matrix == Matrix::PC709;
  const bool pc = how.matrix == Matrix::PC601 || how.matrix == Matrix::PC709;
  std::string graph = std::string("scale=interl=1:flags=") + GraphFlag(how.method.algorithm) +
                      ":in_color_matrix=" + (hd ? "bt709" : "bt601") + ":out_color_matrix=" + (hd ? "bt709" : "bt601") +
                      ":in_range=" + RangeName(pc || IsRgbFormat(in.pixelFormat)) +
                      ":out_range=" + RangeName(pc || IsRgbFormat(target));
  const ScaleMethod defaults(how.method.algorithm);
  for (int i = 0; i < 2; ++i)
    if (how.method.params[i] != defaults.params[i]) graph += ":param" + std::to_string(i) + "=" + Value(how.method.params[i]).toText();
  if (how.method.sourceChroma[0] != ScaleMethod::kSwscaleDefault)
    graph += ":in_h_chr_pos=" + std::to_string(how.method.sourceChroma[0]);
  if (how.method.targetChroma[0] != ScaleMethod::kSwscaleDefault)
    graph += ":out_h_chr_pos=" + std::to_string(how.method.targetChroma[0]);
  return MakeGraphClip(info, call.origin, {source}, graph);
}

enum class Order { InterlacedFirst, MatrixFirst, MatrixOnly };

// The index of the parameter named `name` in a params string, or -1.
int ParamIndex(const std::string& params, const std::string& name) {
  int index = 0;
  for (std::size_t at = 0; at < params.size(); ++index) {
    std::size_t end = params.find(' ', at);
    if (end == std::string::npos) end = params.size();
    std::string word = params.substr(at, end - at);
    if (!word.empty() && word[0] == '?') word.erase(0, 1);
    if (Lower(word.substr(0, word.find(':'))) == name) return index;
    at = end + 1;
  }
  return -1;
}

// A ConvertTo function; `target` AV_PIX_FMT_NONE is ConvertToRGB's choice
// (RGB24 stays, anything else becomes RGB32). The functions of AviSynth's
// older names take `interlaced` before `matrix`, the newer ones after.
Function Converter(AVPixelFormat target, Order order, bool outPlacement) {
  std::string params = "clip:c ";
  if (order == Order::MatrixOnly) params += "?matrix:s";
  else {
    params += order == Order::InterlacedFirst ? "?interlaced:b ?matrix:s " : "?matrix:s ?interlaced:b ";
    params += "?ChromaInPlacement:s ?chromaresample:s ";
    if (outPlacement) params += "?ChromaOutPlacement:s ";
    params += "?param1:f ?param2:f ?param3:f";
  }
  return {params, [target, params](Call& call) -> Value {
            const ClipInfo& in = VideoOf(call, 0);
            static const Value kNone;
            auto arg = [&](const char* name) -> const Value& {
              const int i = ParamIndex(params, name);
              return i < 0 ? kNone : call.args[static_cast<std::size_t>(i)];
            };
            const AVPixelFormat to =
                target != AV_PIX_FMT_NONE ? target : in.pixelFormat == AV_PIX_FMT_BGR24 ? AV_PIX_FMT_BGR24 : AV_PIX_FMT_BGRA;
            Conversion how;
            how.matrix = ParseMatrix(call, arg("matrix"));
            how.method = ChromaMethod(call, arg("chromaresample"), arg("param1"), arg("param2"));
            how.interlaced = arg("interlaced").defined() && arg("interlaced").asBool();
            Place(call, arg("chromainplacement"), in.pixelFormat, how.method.sourceChroma);
            Place(call, arg("chromaoutplacement"), to, how.method.targetChroma);
            return ConvertTo(call, call.Clip(0), to, how);
          }};
}

// ConvertBits for 8-bit pictures: the depth stays, and fulls / fulld
// convert between full and limited range.
Value ConvertBits(Call& call) {
  const ClipInfo& in = VideoOf(call, 0);
  if (call.Int(1, 8) != 8) call.Fail("only 8-bit pictures are supported: bits must be 8");
  const int64_t dither = call.Int(3, -1);
  if (dither < -1 || dither > 1) call.Fail("dither must be -1, 0 or 1");
  if (dither != -1 && call.Int(4, 8) < 8) call.Fail("dithering to fewer than 8 bits is not supported");
  const bool rgb = IsRgbFormat(in.pixelFormat);
  const bool fullSource = call.Bool(5, rgb), fullTarget = call.Bool(6, fullSource);
  if (fullSource == fullTarget) return call.Clip(0);
  // Luma (and RGB) 0..255 <-> 16..235; chroma 128 +/- 127 <-> 128 +/- 112.
  const Table levels = MakeTable([&](int v) { return fullSource ? v * 219.0 / 255 + 16 : (v - 16) * 255.0 / 219; });
  const Table chroma =
      MakeTable([&](int v) { return fullSource ? (v - 128) * 112.0 / 127 + 128 : (v - 128) * 127.0 / 112 + 128; });
  ChannelTables tables;
  if (rgb) tables[K::R] = tables[K::G] = tables[K::B] = levels;
  else {
    tables[K::Y] = levels;
    tables[K::U] = tables[K::V] = chroma;
  }
  return MakeTableClip(call.origin, call.Clip(0), tables);
}

// Greyscale of RGB: each pixel's luma, by the matrix's weights in full
// range, in all three channels.
class GreyRgbClip : public PictureFilter {
 public:
  GreyRgbClip(std::string origin, ClipPtr source, std::array<double, 3> weights)
      : PictureFilter(source->info(), std::move(origin), {source}) {
    for (int i = 0; i < 3; ++i) weights_[i] = static_cast<int32_t>(std::lround(weights[i] * 65536));
    weights_[1] = 65536 - weights_[0] - weights_[2];
  }
  FrameRef MakeFrame(int64_t n, const Inputs& in) const override {
    const FrameRef source = in.Frame(0, n);
    FramePtr out = NewFrame(*source);
    const int step = info().pixelFormat == AV_PIX_FMT_BGRA ? 4 : 3;
    for (int y = 0; y < info().height; ++y) {
      const uint8_t* from = source->data[0] + static_cast<std::ptrdiff_t>(y) * source->linesize[0];
      uint8_t* to = out->data[0] + static_cast<std::ptrdiff_t>(y) * out->linesize[0];
      for (int x = 0; x < info().width; ++x, from += step, to += step) {
        const auto grey =
            static_cast<uint8_t>((weights_[2] * from[0] + weights_[1] * from[1] + weights_[0] * from[2] + 32768) >> 16);
        to[0] = to[1] = to[2] = grey;
        if (step == 4) to[3] = from[3];
      }
    }
    return Share(std::move(out));
  }

 private:
  int32_t weights_[3];  // red, green, blue
};

Value Greyscale(Call& call) {
  const ClipInfo& in = VideoOf(call, 0);
  if (!IsRgbFormat(in.pixelFormat)) {
    if (call.args[1].defined()) call.Fail("matrix applies only to RGB clips");
    if (in.pixelFormat == AV_PIX_FMT_GRAY8) return call.Clip(0);
    ChannelTables tables;
    tables[K::U] = tables[K::V] = MakeTable([](int) { return 128.0; });
    return MakeTableClip(call.origin, call.Clip(0), tables);
  }
  const std::string matrix = Lower(call.String(1, "Rec601"));
  std::array<double, 3> weights;
  if (matrix == "rec601") weights = {0.299, 0.587, 0.114};
  else if (matrix == "rec709") weights = {0.2126, 0.7152, 0.0722};
  else if (matrix == "rec2020") weights = {0.2627, 0.6780, 0.0593};
  else if (matrix == "average") weights = {1.0 / 3, 1.0 / 3, 1.0 / 3};
  else call.Fail("unknown matrix \"" + call.String(1, "") + "\" (Rec601, Rec709, Rec2020 or Average)");
  return std::make_shared<GreyRgbClip>(call.origin, call.Clip(0), weights);
}

// Invert: 255 - v, except planar chroma, which turns about its neutral 128
// (256 - v, 0 becoming 255).
Value Invert(Call& call) {
  const ClipInfo& in = VideoOf(call, 0);
  const std::string chosen = Lower(call.String(1, IsRgbFormat(in.pixelFormat) ? "RGBA" : "YUVA"));
  const bool planarChroma = in.pixelFormat != AV_PIX_FMT_YUYV422;
  const Table flip = MakeTable([](int v) { return 255 - v; });
  const Table turn = MakeTable([](int v) { return std::min(256 - v, 255); });
  const std::pair<char, K> letters[] = {{'y', K::Y}, {'u', K::U}, {'v', K::V}, {'r', K::R},
                                        {'g', K::G}, {'b', K::B}, {'a', K::A}};
  ChannelTables tables;
  for (auto [letter, kind] : letters)
    if (chosen.find(letter) != std::string::npos)
      tables[kind] = (kind == K::U || kind == K::V) && planarChroma ? turn : flip;
  return MakeTableClip(call.origin, call.Clip(0), tables);
}

}  // namespace

ClipPtr WithPixelType(const Call& call, const ClipPtr& clip, const std::string& pixelType) {
  std::string name = Lower(pixelType);
  if (name == "auto" || name == "full" || !clip->info().hasVideo) return clip;
  const AVPixelFormat target = ParsePixelType(call, pixelType);
  Conversion how;
  how.method = ChromaMethod(call, Value(), Value(), Value());
  Place(call, Value(), clip->info().pixelFormat, how.method.sourceChroma);
  Place(call, Value(), target, how.method.targetChroma);
  return ConvertTo(call, clip, target, how);
}

void RegisterColourFunctions(FunctionTable& table) {
  table["converttoyv12"] = Converter(AV_PIX_FMT_YUV420P, Order::InterlacedFirst, true);
  table["converttoyv16"] = Converter(AV_PIX_FMT_YUV422P, Order::InterlacedFirst, true);
  table["converttoyv24"] = Converter(AV_PIX_FMT_YUV444P, Order::InterlacedFirst, false);
  table["converttoyuy2"] = Converter(AV_PIX_FMT_YUYV422, Order::InterlacedFirst, false);
  table["converttoyuv420"] = Converter(AV_PIX_FMT_YUV420P, Order::MatrixFirst, true);
  table["converttoyuv422"] = Converter(AV_PIX_FMT_YUV422P, Order::MatrixFirst, true);
  table["converttoyuv444"] = Converter(AV_PIX_FMT_YUV444P, Order::MatrixFirst, false);
  table["converttorgb"] = Converter(AV_PIX_FMT_NONE, Order::MatrixFirst, false);
  table["converttorgb24"] = Converter(AV_PIX_FMT_BGR24, Order::MatrixFirst, false);
  table["converttorgb32"] = Converter(AV_PIX_FMT_BGRA, Order::MatrixFirst, false);
  table["converttoy8"] = Converter(AV_PIX_FMT_GRAY8, Order::MatrixOnly, false);
  table["converttoy"] = Converter(AV_PIX_FMT_GRAY8, Order::MatrixOnly, false);
  table["convertbacktoyuy2"] = Converter(AV_PIX_FMT_YUYV422, Order::MatrixOnly, false);
  table["convertbits"] = {"clip:c ?bits:i ?truerange:b ?dither:i ?dither_bits:i ?fulls:b ?fulld:b", ConvertBits};
  table["greyscale"] = table["grayscale"] = {"clip:c ?matrix:s", Greyscale};
  table["invert"] = {"clip:c ?channels:s", Invert};
}

}  // namespace avs
