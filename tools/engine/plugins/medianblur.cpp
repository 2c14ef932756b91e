// MedianBlur (MedianBlur2): the median of a (2r+1)x(2r+1) square around each
// sample, a radius for each plane, as libavfilter's median computes it.
#include "tools/engine/functions/common.h"
#include "tools/engine/graph_clip.h"
#include "tools/engine/plugins/plugin_args.h"
#include "tools/engine/plugins/plugins.h"

#include <map>

namespace avs {

namespace {

Value MedianBlur(Call& call) {
  const ClipInfo& in = VideoOf(call, 0);
  // Radius 0 keeps a plane as it is.
  const int64_t radii[3] = {IntIn(call, 1, "radiusy", 2, 0, 127), IntIn(call, 2, "radiusu", 2, 0, 127),
                            IntIn(call, 3, "radiusv", 2, 0, 127)};
  // One median filter for each radius, on the planes that have it.
  std::map<int64_t, int> planesByRadius;
  for (int plane = 0; plane < 3; ++plane)
    if (radii[plane] > 0) planesByRadius[radii[plane]] |= 1 << plane;
  if (planesByRadius.empty()) return call.args[0];
  std::string chain;
  for (const auto& [radius, planes] : planesByRadius)
    chain += (chain.empty() ? "" : ",") + std::string("median=radius=") + std::to_string(radius) +
             ":planes=" + std::to_string(planes);
  return MakeGraphClip(in, call.origin, {call.Clip(0)}, chain);
}

}  // namespace

void RegisterMedianBlurPlugin(FunctionTable& table) {
  table["medianblur"] = {"clip:c ?radiusy:i ?radiusu:i ?radiusv:i", MedianBlur};
}

}  // namespace avs
