// RemoveGrain (RemoveGrain, RgTools): one of 25 spatial 3x3 modes a plane,
// as libavfilter's removegrain computes them.
#include "tools/engine/functions/common.h"
#include "tools/engine/graph_clip.h"
#include "tools/engine/plugins/plugin_args.h"
#include "tools/engine/plugins/plugins.h"

namespace avs {

namespace {

Value RemoveGrain(Call& call) {
  const ClipInfo& in = VideoOf(call, 0);
  // -1 leaves a plane untouched in the plugin (its content undefined), 0
  // copies it; both keep the input's plane here.
  const int64_t y = IntIn(call, 1, "mode", 2, -1, 24);
  const int64_t u = IntIn(call, 2, "modeU", y, -1, 24);
  const int64_t v = IntIn(call, 3, "modeV", u, -1, 24);
  auto mode = [](int64_t m) { return std::to_string(std::max<int64_t>(m, 0)); };
  if (y <= 0 && u <= 0 && v <= 0) return call.args[0];
  return MakeGraphClip(in, call.origin, {call.Clip(0)},
                       "removegrain=m0=" + mode(y) + ":m1=" + mode(u) + ":m2=" + mode(v) + ":m3=0");
}

}  // namespace

void RegisterRemoveGrainPlugin(FunctionTable& table) {
  // planar (YUY2 taken as planar) and opt (the CPU's instructions) change
  // nothing here.
  table["removegrain"] = {"clip:c ?mode:i ?modeu:i ?modev:i ?planar:b ?opt:i", RemoveGrain};
}

}  // namespace avs
