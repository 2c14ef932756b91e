// GaussianBlur (VariableBlur): a Gaussian blur of a given variance (the
// square of its standard deviation), as libavfilter's gblur computes it.
#include "tools/engine/functions/common.h"
#include "tools/engine/graph_clip.h"
#include "tools/engine/plugins/plugin_args.h"
#include "tools/engine/plugins/plugins.h"

#include <cmath>

namespace avs {

namespace {

Value GaussianBlur(Call& call) {
  const ClipInfo& in = VideoOf(call, 0);
  const double varY = FloatIn(call, 1, "varY", 1.5, 0, 10000);
  const double varC = FloatIn(call, 2, "varC", 1.5, 0, 10000);
  const int planes = PlaneMask(call, {{"Y", call.Int(5, 3)}, {"U", call.Int(6, 2)}, {"V", call.Int(7, 2)}});
  // A variance of 0 leaves the plane as it is.
  const int lumaPlanes = varY > 0 ? planes & 1 : 0, chromaPlanes = varC > 0 ? planes & 6 : 0;
  std::string chain;
  for (const auto& [variance, mask] : {std::pair{varY, lumaPlanes}, std::pair{varC, chromaPlanes}})
    if (mask) chain += (chain.empty() ? "" : ",") + std::string("gblur=sigma=") + OptionNumber(std::sqrt(variance)) +
                       ":planes=" + std::to_string(mask);
  if (chain.empty()) return call.args[0];
  return MakeGraphClip(in, call.origin, {call.Clip(0)}, chain);
}

}  // namespace

void RegisterVariableBlurPlugin(FunctionTable& table) {
  // border and integrate (how the plugin's transform treats the edges and
  // its coefficients), gfunc, gfuncc, pcr, pcrc (its conversions of the
  // samples' range) and nthreads change nothing here: gblur filters edges by
  // its own rule.
  table["gaussianblur"] = {"clip:c ?vary:f ?varc:f ?border:i ?integrate:b ?y:i ?u:i ?v:i ?gfunc:i ?gfuncc:i ?pcr:i ?pcrc:i "
                           "?nthreads:i",
                           GaussianBlur};
}

}  // namespace avs
