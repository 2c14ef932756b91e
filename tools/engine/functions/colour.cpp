// Colour: pixel types and the conversions between them (through swscale,
// or libavfilter's field-aware scale for interlaced 4:2:0), bit depth, and
// Greyscale and Invert. The adjustments are in colour_adjust.cpp.
#include "tools/engine/functions/bit_depth.h"
#include "tools/engine/functions/channels.h"
#include "tools/engine/functions/common.h"
#include "tools/engine/functions/families.h"
#include "tools/engine/graph_clip.h"
#include "tools/engine/pixel_format.h"
#include "tools/engine/scale.h"

extern "C" {
#include <libavutil/imgutils.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <cmath>
#include <cstring>

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

// 4:2:0 at any depth, with or without alpha.
bool FourTwoZero(AVPixelFormat format) {
  return !IsRgbFormat(format) && av_pix_fmt_desc_get(format)->log2_chroma_h > 0;
}

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

bool IsGrey(AVPixelFormat format) { return AtDepth(format, 8) == AV_PIX_FMT_GRAY8; }

// The luma of planar YUV pictures as grey ones of the same depth, their
// samples shared.
class LumaClip : public FrameFilter {
 public:
  LumaClip(const ClipInfo& info, std::string origin, ClipPtr source)
      : FrameFilter(info, std::move(origin), {std::move(source)}) {}
  FrameRef MakeFrame(int64_t n, const Inputs& in) const override {
    FramePtr out = Reference(*in.Frame(0, n));
    out->format = info().pixelFormat;
    for (int plane = 1; plane < AV_NUM_DATA_POINTERS; ++plane) {
      out->data[plane] = nullptr;
      out->linesize[plane] = 0;
    }
    return Share(std::move(out));
  }
  bool Costly() const override { return false; }
};

// Grey pictures as YUV 4:4:4 of the same depth, chroma neutral.
class NeutralChromaClip : public PictureFilter {
 public:
  NeutralChromaClip(const ClipInfo& info, std::string origin, ClipPtr source)
      : PictureFilter(info, std::move(origin), {std::move(source)}) {}
  FrameRef MakeFrame(int64_t n, const Inputs& in) const override {
    const FrameRef source = in.Frame(0, n);
    FramePtr out = NewFrame(*source);
    const int size = BytesPerComponent(info().pixelFormat), width = info().width;
    av_image_copy_plane(out->data[0], out->linesize[0], source->data[0], source->linesize[0], width * size,
                        info().height);
    const int middle = 1 << (BitsPerComponent(info().pixelFormat) - 1);
    for (int plane = 1; plane < 3; ++plane)
      for (int y = 0; y < info().height; ++y) {
        uint8_t* row = out->data[plane] + static_cast<std::ptrdiff_t>(y) * out->linesize[plane];
        if (size == 1) std::memset(row, middle, static_cast<std::size_t>(width));
        else std::fill_n(reinterpret_cast<uint16_t*>(row), width, static_cast<uint16_t>(middle));
      }
    return Share(std::move(out));
  }
};

ClipPtr ConvertTo(const Call& call, const ClipPtr& source, AVPixelFormat target, const Conversion& how) {
  const ClipInfo& in = source->info();
  if (in.pixelFormat == target) return source;
  CheckSize(call, in.width, in.height, target);
  // Only the depth changes: the samples are scaled as ConvertBits scales them.
  if (AtDepth(in.pixelFormat, BitsPerComponent(target)) == target)
    return MakeDepthClip(call.origin, source, PlainDepthChange(in.pixelFormat, target));
  // Grey goes to and from YUV by its luma alone: swscale would stretch deep
  // grey to full range, and take 8-bit grey for full range on the way to
  // RGB. Float grey, which has no YUV twin, goes by 16 bits.
  if (IsGrey(in.pixelFormat)) {
    const int bits = std::min(BitsPerComponent(in.pixelFormat), 16);
    ClipInfo yuv = in;
    yuv.pixelFormat = AtDepth(AV_PIX_FMT_YUV444P, bits);
    const ClipPtr grey = ConvertTo(call, source, AtDepth(in.pixelFormat, bits), how);
    return ConvertTo(call, std::make_shared<NeutralChromaClip>(yuv, call.origin, grey), target, how);
  }
  if (IsGrey(target)) {
    const bool planarYuv = !IsRgbFormat(in.pixelFormat) && IsPlanar(in.pixelFormat);
    const int bits = std::min(BitsPerComponent(target), 16);
    const ClipPtr yuv = planarYuv ? source : ConvertTo(call, source, AtDepth(AV_PIX_FMT_YUV444P, bits), how);
    ClipInfo grey = yuv->info();
    grey.pixelFormat = AtDepth(AV_PIX_FMT_GRAY8, BitsPerComponent(grey.pixelFormat));
    return ConvertTo(call, std::make_shared<LumaClip>(grey, call.origin, yuv), target, how);
  }
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

// What a ConvertTo function makes: a colour family (its 8-bit member; NONE
// for ConvertToRGB's choice), at the source's depth unless `bits` says
// otherwise or the family has one depth only (RGB24, RGB64, YUY2).
struct Target {
  AVPixelFormat family;
  int fixedBits = 0;
  bool alpha = false;   // the A names: ConvertToYUVA420, ConvertToPlanarRGBA
  bool legacy = false;  // the 8-bit names (ConvertToYV12, ConvertToY8): a planar alpha is dropped
};

// The family with an alpha plane, where it has one.
AVPixelFormat WithAlpha(AVPixelFormat family) {
  switch (family) {
    case AV_PIX_FMT_YUV420P: return AV_PIX_FMT_YUVA420P;
    case AV_PIX_FMT_YUV422P: return AV_PIX_FMT_YUVA422P;
    case AV_PIX_FMT_YUV444P: return AV_PIX_FMT_YUVA444P;
    case AV_PIX_FMT_GBRP: return AV_PIX_FMT_GBRAP;
    default: return family;
  }
}

// The format a conversion of `in` makes: ConvertToRGB keeps packed RGB,
// packs planar RGB at its depth, and makes RGB32 of 8-bit and RGB64 of
// 16-bit YUV.
AVPixelFormat TargetFormat(const Call& call, const Target& target, AVPixelFormat in, const Value& bitsArg) {
  const int sourceBits = BitsPerComponent(in);
  int bits = target.fixedBits ? target.fixedBits : sourceBits;
  if (bitsArg.defined()) {
    const int64_t wanted = bitsArg.asInt();
    if (wanted != 8 && wanted != 10 && wanted != 12 && wanted != 14 && wanted != 16 && wanted != 32)
      call.Fail("bits must be 8, 10, 12, 14, 16 or 32");
    if (target.fixedBits && wanted != target.fixedBits)
      call.Fail("bits must be " + std::to_string(target.fixedBits) + " for this format");
    bits = static_cast<int>(wanted);
  }
  AVPixelFormat family = target.family;
  if (family == AV_PIX_FMT_NONE) {
    const bool planarRgb = IsRgbFormat(in) && IsPlanar(in);
    if (IsRgbFormat(in) && !planarRgb && !bitsArg.defined()) return in;
    if (bits != 8 && bits != 16)
      call.Fail(DepthName(in) + " pictures are not supported: packed RGB has 8 or 16 bits; use ConvertToRGB64, "
                "ConvertToPlanarRGB or bits=8");
    family = planarRgb && !HasAlpha(in) ? AV_PIX_FMT_BGR24 : AV_PIX_FMT_BGRA;
    if (IsRgbFormat(in) && !planarRgb) family = HasAlpha(in) ? AV_PIX_FMT_BGRA : AV_PIX_FMT_BGR24;
  } else if (target.alpha || (!target.legacy && HasAlpha(in) && IsPlanar(in))) {
    family = WithAlpha(family);
  }
  const AVPixelFormat format = AtDepth(family, bits);
  if (format == AV_PIX_FMT_NONE) {
    if (bits == 32 && !IsRgbFormat(family) && family != AV_PIX_FMT_GRAY8)
      call.Fail("32-bit float YUV pictures are not supported; Y and planar RGB pictures can be float");
    call.Fail(std::to_string(bits) + "-bit " + PixelTypeName(family) + " pictures are not supported");
  }
  return format;
}

// A ConvertTo function. The functions of AviSynth's older names take
// `interlaced` before `matrix`, the newer ones after.
Function Converter(Target target, Order order, bool outPlacement, bool depthOptions = true) {
  std::string params = "clip:c ";
  if (order == Order::MatrixOnly) params += "?matrix:s";
  else {
    params += order == Order::InterlacedFirst ? "?interlaced:b ?matrix:s " : "?matrix:s ?interlaced:b ";
    params += "?ChromaInPlacement:s ?chromaresample:s ";
    if (outPlacement) params += "?ChromaOutPlacement:s ";
    params += "?param1:f ?param2:f ?param3:f";
  }
  if (depthOptions) params += " ?bits:i ?quality:b";
  return {params, [target, params](Call& call) -> Value {
            const ClipInfo& in = VideoOf(call, 0);
            static const Value kNone;
            auto arg = [&](const char* name) -> const Value& {
              const int i = ParamIndex(params, name);
              return i < 0 ? kNone : call.args[static_cast<std::size_t>(i)];
            };
            const AVPixelFormat to = TargetFormat(call, target, in.pixelFormat, arg("bits"));
            Conversion how;
            how.matrix = ParseMatrix(call, arg("matrix"));
            how.method = ChromaMethod(call, arg("chromaresample"), arg("param1"), arg("param2"));
            if (arg("quality").defined() && arg("quality").asBool()) how.method.algorithm |= SWS_ACCURATE_RND;
            how.interlaced = arg("interlaced").defined() && arg("interlaced").asBool();
            Place(call, arg("chromainplacement"), in.pixelFormat, how.method.sourceChroma);
            Place(call, arg("chromaoutplacement"), to, how.method.targetChroma);
            return ConvertTo(call, call.Clip(0), to, how);
          }};
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
    if (AtDepth(in.pixelFormat, 8) == AV_PIX_FMT_GRAY8) return call.Clip(0);
    const double middle = std::ldexp(1.0, BitsPerComponent(in.pixelFormat) - 1);
    SampleMaps maps;
    maps[static_cast<int>(K::U)] = maps[static_cast<int>(K::V)] = [middle](double) { return middle; };
    return MakeSampleMapClip(call.origin, call.Clip(0), maps);
  }
  const std::string matrix = Lower(call.String(1, "Rec601"));
  std::array<double, 3> weights;
  if (matrix == "rec601") weights = {0.299, 0.587, 0.114};
  else if (matrix == "rec709") weights = {0.2126, 0.7152, 0.0722};
  else if (matrix == "rec2020") weights = {0.2627, 0.6780, 0.0593};
  else if (matrix == "average") weights = {1.0 / 3, 1.0 / 3, 1.0 / 3};
  else call.Fail("unknown matrix \"" + call.String(1, "") + "\" (Rec601, Rec709, Rec2020 or Average)");
  if (in.pixelFormat == AV_PIX_FMT_BGR24 || in.pixelFormat == AV_PIX_FMT_BGRA)
    return std::make_shared<GreyRgbClip>(call.origin, call.Clip(0), weights);
  // Planar and deeper RGB: libavfilter's channel mixer.
  std::string graph = "colorchannelmixer=";
  for (char to : {'r', 'g', 'b'})
    for (int from = 0; from < 3; ++from)
      graph += std::string(1, to) + "rgb"[from] + "=" + Value(weights[static_cast<std::size_t>(from)]).toText() + ":";
  graph.pop_back();
  return MakeGraphClip(in, call.origin, {call.Clip(0)}, graph);
}

// Invert: the largest sample minus v (1 - v in float), except planar
// chroma, which turns about its neutral middle (2^bits - v, 0 becoming the
// largest).
Value Invert(Call& call) {
  const ClipInfo& in = VideoOf(call, 0);
  const std::string chosen = Lower(call.String(1, IsRgbFormat(in.pixelFormat) ? "RGBA" : "YUVA"));
  const bool planarChroma = in.pixelFormat != AV_PIX_FMT_YUYV422;
  const int bits = BitsPerComponent(in.pixelFormat);
  const double largest = IsFloatFormat(in.pixelFormat) ? 1 : std::ldexp(1.0, bits) - 1;
  const std::pair<char, K> letters[] = {{'y', K::Y}, {'u', K::U}, {'v', K::V}, {'r', K::R},
                                        {'g', K::G}, {'b', K::B}, {'a', K::A}};
  SampleMaps maps;
  for (auto [letter, kind] : letters) {
    if (chosen.find(letter) == std::string::npos) continue;
    if ((kind == K::U || kind == K::V) && planarChroma)
      maps[static_cast<int>(kind)] = [largest](double v) { return std::min(largest + 1 - v, largest); };
    else
      maps[static_cast<int>(kind)] = [largest](double v) { return largest - v; };
  }
  return MakeSampleMapClip(call.origin, call.Clip(0), maps);
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
  const Order older = Order::InterlacedFirst, newer = Order::MatrixFirst, matrixOnly = Order::MatrixOnly;
  const Target yuv420{AV_PIX_FMT_YUV420P}, yuv422{AV_PIX_FMT_YUV422P}, yuv444{AV_PIX_FMT_YUV444P};
  const Target y{AV_PIX_FMT_GRAY8}, planarRgb{AV_PIX_FMT_GBRP};
  auto legacy = [](Target t) {
    t.legacy = true;
    return t;
  };
  auto alpha = [](Target t) {
    t.alpha = true;
    return t;
  };
  table["converttoyv12"] = Converter(legacy(yuv420), older, true);
  table["converttoyv16"] = Converter(legacy(yuv422), older, true);
  table["converttoyv24"] = Converter(legacy(yuv444), older, false);
  table["converttoyuy2"] = Converter({AV_PIX_FMT_YUYV422, 8}, older, false);
  table["converttoyuv420"] = Converter(yuv420, newer, true);
  table["converttoyuv422"] = Converter(yuv422, newer, true);
  table["converttoyuv444"] = Converter(yuv444, newer, false);
  table["converttoyuva420"] = Converter(alpha(yuv420), newer, true);
  table["converttoyuva422"] = Converter(alpha(yuv422), newer, true);
  table["converttoyuva444"] = Converter(alpha(yuv444), newer, false);
  table["converttorgb"] = Converter({AV_PIX_FMT_NONE}, newer, false);
  table["converttorgb24"] = Converter({AV_PIX_FMT_BGR24, 8}, newer, false);
  table["converttorgb32"] = Converter({AV_PIX_FMT_BGRA, 8}, newer, false);
  table["converttorgb48"] = Converter({AV_PIX_FMT_BGR24, 16}, newer, false);
  table["converttorgb64"] = Converter({AV_PIX_FMT_BGRA, 16}, newer, false);
  table["converttoplanarrgb"] = Converter(planarRgb, newer, false);
  table["converttoplanarrgba"] = Converter(alpha(planarRgb), newer, false);
  table["converttoy8"] = Converter(legacy(y), matrixOnly, false);
  table["converttoy"] = Converter(y, matrixOnly, false);
  table["convertbacktoyuy2"] = Converter({AV_PIX_FMT_YUYV422, 8}, matrixOnly, false, false);
  table["greyscale"] = table["grayscale"] = {"clip:c ?matrix:s", Greyscale};
  table["invert"] = {"clip:c ?channels:s", Invert};
}

}  // namespace avs
