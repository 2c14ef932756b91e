// hqdn3d: the spatial and temporal denoiser, as libavfilter's hqdn3d
// computes it. Its temporal part carries every earlier frame's result on, so
// frames read in order are those of one run from the start; a frame asked
// for out of order starts the filter `restart` frames before it, as the
// plugin does.
#include "tools/engine/functions/common.h"
#include "tools/engine/graph_clip.h"
#include "tools/engine/plugins/plugin_args.h"
#include "tools/engine/plugins/plugins.h"

namespace avs {

namespace {

Value Hqdn3d(Call& call) {
  const ClipInfo& in = VideoOf(call, 0);
  // The strengths left out follow from those given, as in the plugin.
  const double ls = FloatIn(call, 1, "ls", 4.0, 0, 255);
  const double cs = FloatIn(call, 2, "cs", 3.0 * ls / 4.0, 0, 255);
  const double lt = FloatIn(call, 3, "lt", 6.0 * ls / 4.0, 0, 255);
  const double ct = FloatIn(call, 4, "ct", ls > 0 ? lt * cs / ls : 4.5, 0, 255);
  GraphOptions options;
  options.history = static_cast<int>(IntIn(call, 5, "restart", 7, 0, 1000));
  return MakeGraphClip(in, call.origin, {call.Clip(0)},
                       "hqdn3d=luma_spatial=" + OptionNumber(ls) + ":chroma_spatial=" + OptionNumber(cs) +
                           ":luma_tmp=" + OptionNumber(lt) + ":chroma_tmp=" + OptionNumber(ct),
                       options);
}

}  // namespace

void RegisterHqdn3dPlugin(FunctionTable& table) {
  table["hqdn3d"] = {"clip:c ?ls:f ?cs:f ?lt:f ?ct:f ?restart:i", Hqdn3d};
}

}  // namespace avs
