// RgTools (and the older RemoveGrain): RemoveGrain's spatial 3x3 modes 0 to
// 24 a plane, as libavfilter's removegrain computes them, and Clense, the
// temporal median of three frames, as tmedian computes it.
#include "tools/engine/functions/common.h"
#include "tools/engine/graph_clip.h"
#include "tools/engine/plugins/median.h"
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

// Clense: the median of each pixel's values in the frames before and after
// and its own, the clip's first and last frames kept as they are (the
// median of a, a, b is a).
Value Clense(Call& call) {
  VideoOf(call, 0);
  RefuseGiven(call, 1, "previous", "the frames before and after are the clip's own");
  RefuseGiven(call, 2, "next", "the frames before and after are the clip's own");
  if (call.Bool(4, false)) call.Fail("reduceflicker=true is not taken here: each frame's median is of the input's frames");
  return TemporalMedianOf(call, call.Clip(0), 1, call.Bool(3, false) ? 1 : 15);
}

}  // namespace

void RegisterRemoveGrainPlugin(FunctionTable& table) {
  // grey filters the luma only and keeps the chroma; planar and cache change
  // nothing here.
  table["clense"] = {"clip:c ?previous:c ?next:c ?grey:b ?reduceflicker:b ?planar:b ?cache:i", Clense};
  // planar (YUY2 taken as planar) and opt (the CPU's instructions) change
  // nothing here.
  table["removegrain"] = {"clip:c ?mode:i ?modeu:i ?modev:i ?planar:b ?opt:i", RemoveGrain};
}

}  // namespace avs
