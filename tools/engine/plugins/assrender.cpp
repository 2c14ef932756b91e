// assrender: draws a text subtitle file on the clip with libass, as
// libavfilter's subtitles filter does.
#include "tools/engine/plugins/plugins.h"
#include "tools/engine/plugins/plugin_args.h"
#include "tools/engine/plugins/subtitles.h"

namespace avs {

namespace {

// assrender's parameters in the order of its first releases, then those
// later releases added (named in scripts).
enum AssArg { kClip, kFile, kVfr, kHinting, kScale, kLineSpacing, kDar, kSar, kTop, kBottom, kLeft, kRight, kCharset,
              kDebuglevel, kFontdir, kSrtFont, kColorspace, kFrameWidth, kFrameHeight, kDefaultStorageSize };

Value AssRender(Call& call) {
  RefuseGiven(call, kVfr, "vfr", "the subtitles are timed by the clip's own constant rate");
  for (auto [index, name] : {std::pair{kScale, "scale"}, {kLineSpacing, "line_spacing"}, {kDar, "dar"}, {kSar, "sar"},
                             {kTop, "top"}, {kBottom, "bottom"}, {kLeft, "left"}, {kRight, "right"},
                             {kSrtFont, "srt_font"}, {kFrameWidth, "frame_width"}, {kFrameHeight, "frame_height"}})
    RefuseGiven(call, index, name, "libass draws the subtitles at the clip's own size and with the file's own styles");
  if (!call.Bool(kDefaultStorageSize, true))
    call.Fail("set_default_storage_size=false is not taken here: libass draws at the clip's own size");
  return WithSubtitles(call, call.String(kFile, ""), call.String(kCharset, ""), call.String(kFontdir, ""));
}

}  // namespace

void RegisterAssrenderPlugin(FunctionTable& table) {
  // hinting, debuglevel and colorspace (the matrix libass's colours are
  // converted with, taken from the file here) change nothing.
  table["assrender"] = {"clip:c file:s ?vfr:s ?hinting:i ?scale:f ?line_spacing:f ?dar:f ?sar:f ?top:i ?bottom:i ?left:i "
                        "?right:i ?charset:s ?debuglevel:i ?fontdir:s ?srt_font:s ?colorspace:s ?frame_width:i ?frame_height:i "
                        "?set_default_storage_size:b",
                        AssRender};
}

}  // namespace avs
