// DSS2 (avss): a file's picture as DirectShow's graph would give it, here
// as libavformat and libavcodec decode it. fps converts the frame rate by
// dropping and repeating frames, flipv and fliph flip the picture and
// pixel_type converts it; the graph's own settings (cache, seekthr,
// preroll, subsm, lavs, lavd, lavf_path, dvs_path, timeout) change nothing.
#include "tools/engine/plugins/plugins.h"
#include "tools/engine/plugins/source_plugins.h"

namespace avs {

namespace {

enum Dss2Arg { kFile, kFps, kCache, kSeekThreshold, kPreroll, kSubtitles, kLavSplitter, kLavVideo, kLavPath, kVsFilterPath,
               kFlipVertical, kFlipHorizontal, kTimeout, kPixelType };

Value Dss2(Call& call) {
  ClipPtr clip = OpenSourceFile(call, {call.Path(call.String(kFile, "")), true, false, true, false});
  if (call.args[kFps].defined()) clip = WithChangedRate(call, clip, FloatRate(call, call.Float(kFps, 0)));
  if (call.Bool(kFlipVertical, false)) clip = call.interp.CallFunction("FlipVertical", {clip}, call.origin).asClip();
  if (call.Bool(kFlipHorizontal, false)) clip = call.interp.CallFunction("FlipHorizontal", {clip}, call.origin).asClip();
  return WithPixelType(call, clip, call.String(kPixelType, "AUTO"));
}

}  // namespace

void RegisterDss2Plugin(FunctionTable& table) {
  table["dss2"] = {"filename:s ?fps:f ?cache:i ?seekthr:i ?preroll:i ?subsm:i ?lavs:s ?lavd:s ?lavf_path:s ?dvs_path:s "
                   "?flipv:b ?fliph:b ?timeout:i ?pixel_type:s",
                   Dss2};
}

}  // namespace avs
