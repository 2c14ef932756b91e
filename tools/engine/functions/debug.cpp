// Debug filters: views made to look at clips (ShowFiveVersions, Histogram
// through libavfilter's waveform, histogram and vectorscope), and
// filters that only steer how AviSynth reads its clips (Echo, Preroll),
// which here show their first clip as it is. The network filters have no
// place in these tools and say so.
#include "tools/engine/filter.h"
#include "tools/engine/functions/common.h"
#include "tools/engine/functions/families.h"
#include "tools/engine/graph_clip.h"

extern "C" {
#include <libavutil/pixdesc.h>
}

namespace avs {

namespace {

// ShowFiveVersions(clip1, ..., clip5): clips 1 to 3 side by side above clips
// 4 and 5, these staggered by half a picture, on black.
Value ShowFiveVersions(Call& call) {
  const ClipInfo& first = VideoOf(call, 0);
  std::vector<Value> clips;
  for (std::size_t i = 0; i < 5; ++i) {
    const ClipInfo& info = VideoOf(call, i);
    if (info.width != first.width || info.height != first.height || info.pixelFormat != first.pixelFormat)
      call.Fail("the five clips must have the same size and pixel type");
    clips.push_back(call.args[i]);
  }
  const int64_t half = first.width / 2;
  if (half % (1 << av_pix_fmt_desc_get(first.pixelFormat)->log2_chroma_w))
    call.Fail(std::string(PixelTypeName(first.pixelFormat)) + " needs a width that is a multiple of 4 here");
  Interpreter& interp = call.interp;
  const Value top = interp.CallFunction("StackHorizontal", {clips[0], clips[1], clips[2]}, call.origin);
  const Value pair = interp.CallFunction("StackHorizontal", {clips[3], clips[4]}, call.origin);
  const Value bottom = interp.CallFunction("AddBorders", {pair, Value(half), Value(0), Value(first.width - half), Value(0)},
                                           call.origin);
  return interp.CallFunction("StackVertical", {top, bottom}, call.origin);
}

// Echo(clip1, clip2, ...): every clip's frame n is made, clip1's shown.
class EchoClip : public FrameFilter {
 public:
  EchoClip(const Call& call, std::vector<ClipPtr> clips) : FrameFilter(VideoOf(call, 0), call.origin, std::move(clips)) {}
  FrameRef MakeFrame(int64_t n, const Inputs& in) const override {
    for (std::size_t i = 1; i < inputs().size(); ++i)
      if (input(i).info().hasVideo) in.Frame(i, n);
    return in.Frame(0, n);
  }
  bool Costly() const override { return false; }
};

Value Echo(Call& call) {
  VideoOf(call, 0);
  std::vector<ClipPtr> clips{call.Clip(0)};
  for (const Value& v : call.rest) clips.push_back(v.asClip());
  return std::make_shared<EchoClip>(call, std::move(clips));
}

// Histogram(mode, factor, bits, keepsource, markers, ...): a panel 256
// samples wide right of the picture (or alone without keepsource), as tall
// as the picture: "classic", each row's luma values (libavfilter's row
// waveform); "levels", the channels' histograms one above another
// (histogram, scaled to fit); "color" and "color2", the chroma's vectorscope in the panel's
// top 256 rows (vectorscope's color and color2). "luma" shows the picture's
// luma with each level 16 apart, folded back at the ends, in grey.
Value Histogram(Call& call) {
  const ClipInfo& in = VideoOf(call, 0);
  const std::string mode = Lower(call.String(1, "classic"));
  if (call.Float(2, 100) != 100) call.Fail("factor is not supported");
  if (call.Int(3, 8) != 8) call.Fail("only bits=8 is supported");
  const bool keep = call.Bool(4, true), markers = call.Bool(5, true);
  const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(in.pixelFormat);
  const bool planarYuv = !IsRgbFormat(in.pixelFormat) && (desc->flags & AV_PIX_FMT_FLAG_PLANAR) && desc->nb_components == 3;
  RequireEightBit(call, in);
  if (mode == "luma") {
    if (!planarYuv) call.Fail("mode \"luma\" needs a planar YUV clip");
    return MakeGraphClip(in, call.origin, {call.Clip(0)},
                         "lutyuv=y='if(bitand(val*16\\,256)\\,255-bitand(val*16\\,255)\\,bitand(val*16\\,255))':u=128:v=128");
  }
  std::string panel;
  if (mode == "classic") panel = std::string("waveform=mode=row:components=1:display=overlay:intensity=0.1:graticule=") +
                                 (markers ? "green:flags=numbers" : "none");
  else if (mode == "levels")
    // Three graphs with their 12-row scales, stretched to the picture's
    // height when the filter cannot make them that short.
    panel = "histogram=display_mode=stack:level_height=" + std::to_string(std::max(50, in.height / 3 - 12)) +
            ",scale=256:" + std::to_string(in.height) + ":flags=neighbor";
  else if (mode == "color" || mode == "color2") panel = "vectorscope=mode=" + mode;
  else if (mode == "audiolevels" || mode == "stereo" || mode == "stereoy8" || mode == "stereooverlay")
    call.Fail("mode \"" + mode + "\" (a view of the sound) is not supported");
  else call.Fail("unknown mode \"" + mode + "\" (classic, levels, color, color2 or luma)");
  if (!planarYuv && mode != "levels") call.Fail("mode \"" + mode + "\" needs a planar YUV clip");
  const std::string height = std::to_string(in.height);
  panel += ",crop=256:'min(ih," + height + ")':0:0,pad=256:" + height + ":0:0:black,format=" +
           av_get_pix_fmt_name(in.pixelFormat);
  ClipInfo info = in;
  info.width = keep ? in.width + 256 : 256;
  CheckSize(call, info.width, info.height, info.pixelFormat);
  const std::string graph = keep ? "[in0]split[a][b];[b]" + panel + "[p];[a][p]hstack=inputs=2[out]" : "[in0]" + panel + "[out]";
  return MakeGraphClip(info, call.origin, {call.Clip(0)}, graph);
}

Value Refused(Call& call) { call.Fail("serving and reading clips over the network is not supported"); }

}  // namespace

void RegisterDebugFunctions(FunctionTable& table) {
  table["showfiveversions"] = {"clip1:c clip2:c clip3:c clip4:c clip5:c", ShowFiveVersions};
  table["echo"] = {"clip:c clips:c+", Echo};
  // Frames and sound are read in any order here without warming up first.
  table["preroll"] = {"clip:c ?video:i ?audio:f", [](Call& call) -> Value { return call.Clip(0); }};
  table["histogram"] = {"clip:c ?mode:s ?factor:f ?bits:i ?keepsource:b ?markers:b ?matrix:s ?graticule:s ?targets:b "
                        "?axes:b ?iq:b ?iq_lines:b ?circle:b",
                        Histogram};
  table["tcpserver"] = {"clip:c ?port:i", Refused};
  table["tcpsource"] = {"hostname:s ?port:i ?compression:s", Refused};
}

}  // namespace avs
