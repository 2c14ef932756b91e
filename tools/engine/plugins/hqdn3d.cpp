// hqdn3d: the spatial and temporal denoiser, as libavfilter's hqdn3d
// computes it. Its temporal part carries every earlier frame's result on, so
// frames read in order are those of one run from the start; a frame asked
// for out of order starts the filter `restart` frames before it, as the
// plugin does.
#include "tools/engine/functions/common.h"
#include "tools/engine/graph_clip.h"
#include "tools/engine/plugins/plugin_args.h"
#include "tools/engine/plugins/plugins.h"

extern "C" {
#include <libavutil/pixdesc.h>
}

#include <algorithm>

namespace avs {

namespace {

Value Hqdn3d(Call& call) {
  const ClipInfo& in = VideoOf(call, 0);
  // The strengths left out follow from those given, as in the plugin.
  const double ls = FloatIn(call, 1, "ls", 4.0, 0, 255);
  const double cs = FloatIn(call, 2, "cs", 3.0 * ls / 4.0, 0, 255);
  const double lt = FloatIn(call, 3, "lt", 6.0 * ls / 4.0, 0, 255);
  const double ct = FloatIn(call, 4, "ct", ls > 0 ? lt * cs / ls : 0, 0, 255);
  GraphOptions options;
  options.history = static_cast<int>(IntIn(call, 5, "restart", std::max(2, static_cast<int>(1 + std::max(lt, ct))), 0, 1000));
  const int planes = PlaneMask(call, {{"y", call.Int(6, 3)}, {"u", call.Int(7, 3)}, {"v", call.Int(8, 3)}});
  if (!planes) return call.args[0];
  const std::string filter = "hqdn3d=luma_spatial=" + OptionNumber(ls) + ":chroma_spatial=" + OptionNumber(cs) +
                             ":luma_tmp=" + OptionNumber(lt) + ":chroma_tmp=" + OptionNumber(ct);
  if (planes == 7) return MakeGraphClip(in, call.origin, {call.Clip(0)}, filter, options);
  // hqdn3d filters every plane: the planes kept come back from the input.
  const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(in.pixelFormat);
  if (!(desc->flags & AV_PIX_FMT_FLAG_PLANAR) || (desc->flags & AV_PIX_FMT_FLAG_RGB) || desc->nb_components < 3)
    call.Fail("keeps planes of planar YUV pictures only");
  std::string map = "0x";
  for (int plane = 0; plane < 3; ++plane) map += (planes >> plane & 1 ? "0" : "1") + std::to_string(plane);
  return MakeGraphClip(in, call.origin, {call.Clip(0)},
                       "[in0]split[a][b];[a]" + filter + "[f];[f][b]mergeplanes=" + map + ":" +
                           av_get_pix_fmt_name(in.pixelFormat) + "[out]",
                       options);
}

}  // namespace

void RegisterHqdn3dPlugin(FunctionTable& table) {
  // mt (the plugin's planes in parallel) changes nothing here.
  table["hqdn3d"] = {"clip:c ?ls:f ?cs:f ?lt:f ?ct:f ?restart:i ?y:i ?u:i ?v:i ?mt:b", Hqdn3d};
}

}  // namespace avs
