// DGDecode: MPEG2Source serves the MPEG-2 video that a DGIndex project
// (.d2v) indexes: the project's files one after the other, decoded by
// libavcodec, with its pulldown flags honoured as its field operation asks
// and its field order. LumaYV12 adjusts the luma through libavfilter's lutyuv.
#include "tools/engine/functions/channels.h"
#include "tools/engine/functions/common.h"
#include "tools/engine/graph_clip.h"
#include "tools/engine/media.h"
#include "tools/engine/pixel_format.h"
#include "tools/engine/plugins/d2v_project.h"
#include "tools/engine/plugins/plugin_args.h"
#include "tools/engine/plugins/plugins.h"

extern "C" {
#include <libavutil/imgutils.h>
#include <libavutil/pixdesc.h>
}

#include <algorithm>
#include <cstring>
#include <numeric>

namespace avs {

namespace {

// Frames woven from the fields of coded pictures: output frame n shows the
// top field of picture top[n] and the bottom field of picture bottom[n].
class PulldownClip : public PictureFilter {
 public:
  PulldownClip(const ClipInfo& info, std::string origin, ClipPtr pictures, std::vector<std::pair<int64_t, int64_t>> fields)
      : PictureFilter(info, std::move(origin), {std::move(pictures)}), fields_(std::move(fields)) {}

  FrameRef MakeFrame(int64_t n, const Inputs& in) const override {
    const auto [top, bottom] = fields_[static_cast<std::size_t>(n)];
    const FrameRef a = in.Frame(0, top);
    if (top == bottom) return a;
    const FrameRef b = in.Frame(0, bottom);
    FramePtr out = NewFrame(*a);
    const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(info().pixelFormat);
    for (int plane = 0; plane < 4 && out->data[plane]; ++plane) {
      const int rows = plane == 1 || plane == 2 ? AV_CEIL_RSHIFT(info().height, desc->log2_chroma_h) : info().height;
      const int bytes = av_image_get_linesize(info().pixelFormat, info().width, plane);
      for (int row = 0; row < rows; ++row) {
        const AVFrame& from = row % 2 ? *b : *a;
        std::memcpy(out->data[plane] + row * out->linesize[plane], from.data[plane] + row * from.linesize[plane],
                    static_cast<std::size_t>(bytes));
      }
    }
    return Share(std::move(out));
  }

 private:
  std::vector<std::pair<int64_t, int64_t>> fields_;
};

// The frames that honouring the pictures' pulldown flags gives: each picture
// gives its two fields, its first field again when it repeats it, and the
// fields pair up into frames in the order they come.
std::vector<std::pair<int64_t, int64_t>> PulledDown(const std::vector<unsigned>& pictures) {
  std::vector<std::pair<int64_t, bool>> fields;  // picture, top field
  for (std::size_t i = 0; i < pictures.size(); ++i) {
    const bool tff = pictures[i] & kD2vTopFieldFirst;
    const auto picture = static_cast<int64_t>(i);
    fields.push_back({picture, tff});
    fields.push_back({picture, !tff});
    if (pictures[i] & kD2vRepeatFirstField) fields.push_back({picture, tff});
  }
  std::vector<std::pair<int64_t, int64_t>> frames;
  for (std::size_t i = 0; i + 1 < fields.size(); i += 2) {
    const auto& [first, firstTop] = fields[i];
    const auto& [second, secondTop] = fields[i + 1];
    frames.push_back(firstTop ? std::pair{first, second} : std::pair{second, first});
  }
  return frames;
}

// MPEG2Source's parameters, in their documented order.
enum Mpeg2SourceArg { kD2vFile, kCpu, kIdct, kIpp, kModerateH, kModerateV, kShowQ, kFastMC, kCpu2, kInfo, kUpConv, kI420, kIcc };

Value Mpeg2Source(Call& call) {
  const std::string path = call.Path(call.String(kD2vFile, ""));
  const D2vProject project = ProjectOf(call, path);
  std::vector<ClipPtr> parts;
  for (const std::string& file : project.files) {
    MediaRequest request{file, true, false, true, false};
    parts.push_back(OpenMedia(request, call.origin));
  }
  ClipPtr coded = parts.size() == 1 ? parts[0] : SpliceClips(call, parts, false);
  ClipInfo info = coded->info();
  const auto pictures = static_cast<int64_t>(project.pictures.size());
  if (info.frameCount != pictures)
    call.Fail(path + " lists " + std::to_string(pictures) + " pictures where its files hold " +
              std::to_string(info.frameCount));
  info.topFieldFirst = project.pictures.front() & kD2vTopFieldFirst;
  info.fieldBased = false;
  // Forced film takes the coded pictures as film at four fifths of the rate.
  const Rational rate = project.fieldOperation == D2vProject::kForcedFilm ? Rational{project.rate.num * 4, project.rate.den * 5} : project.rate;
  const int64_t common = std::gcd(rate.num, rate.den);
  info.fps = CheckedRate(call, rate.num / common, rate.den / common);
  const auto frames = PulledDown(project.pictures);
  const bool repeats = std::any_of(frames.begin(), frames.end(), [](const auto& f) { return f.first != f.second; });
  ClipPtr served;
  if (project.fieldOperation != D2vProject::kHonourPulldown || !repeats) {
    served = std::make_shared<Rewired>(info, call.origin, coded, coded);
  } else {
    info.frameCount = static_cast<int64_t>(frames.size());
    served = std::make_shared<PulldownClip>(info, call.origin, coded, frames);
  }
  // upConv asks for 4:2:2 (YUY2) or RGB24 pictures instead of the stream's;
  // older DGDecode takes true for YUY2.
  const Value& upConvArg = call.args[kUpConv];
  if (upConvArg.defined() && !upConvArg.isBool() && !upConvArg.isInt())
    call.Fail(std::string("upConv must be an int or a bool, not ") + upConvArg.typeName());
  const int64_t upConv = upConvArg.isBool() ? (upConvArg.asBool() ? 1 : 0) : IntIn(call, kUpConv, "upConv", 0, 0, 2);
  return upConv == 0 ? served : WithPixelType(call, served, upConv == 1 ? "YUY2" : "RGB24");
}

// LumaYV12: y * lumgain + lumoff on the luma, kept within 0..255 (not
// within the 16..235 of limited range), rounded to the nearest; deeper
// pictures take the offset and the bounds at their depth.
Value LumaYV12(Call& call) {
  const ClipInfo& in = VideoOf(call, 0);
  if (IsRgbFormat(in.pixelFormat)) call.Fail("needs YUV pictures");
  const double offset = FloatIn(call, 1, "lumoff", 0, -255, 255), gain = FloatIn(call, 2, "lumgain", 1, 0, 2);
  // Float luma runs from 0 to 1, an 8-bit level being 1/255 of it.
  const bool isFloat = IsFloatFormat(in.pixelFormat);
  const int bits = BitsPerComponent(in.pixelFormat);
  const double scaledOffset = isFloat ? offset / 255 : std::ldexp(offset, bits - 8) + 0.5;
  const std::string highest = isFloat ? "1" : std::to_string((1 << bits) - 1);
  return MakeGraphClip(in, call.origin, {call.Clip(0)},
                       "lutyuv=y='clip(val*" + OptionNumber(gain) + "+" + OptionNumber(scaledOffset) + ",0," + highest + ")'");
}

}  // namespace

void RegisterDgdecodePlugin(FunctionTable& table) {
  table["lumayv12"] = {"clip:c ?lumoff:i ?lumgain:f", LumaYV12};
  // cpu and cpu2 (deblocking and deringing), idct, iPP, moderate_h,
  // moderate_v, showQ, fastMC, info, i420 and iCC change nothing here:
  // libavcodec decodes with its own exact IDCT and nothing more.
  table["mpeg2source"] = {"d2v:s ?cpu:i ?idct:i ?ipp:b ?moderate_h:i ?moderate_v:i ?showq:b ?fastmc:b ?cpu2:s ?info:i "
                          "?upconv:. ?i420:b ?icc:b",
                          Mpeg2Source};
  table["dgdecode_mpeg2source"] = table["mpeg2source"];
}

}  // namespace avs
