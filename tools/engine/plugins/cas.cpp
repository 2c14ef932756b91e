// CAS: contrast adaptive sharpening, as libavfilter's cas computes it.
#include "tools/engine/functions/common.h"
#include "tools/engine/graph_clip.h"
#include "tools/engine/plugins/plugin_args.h"
#include "tools/engine/plugins/plugins.h"

namespace avs {

namespace {

Value Cas(Call& call) {
  const ClipInfo& in = VideoOf(call, 0);
  const double sharpness = FloatIn(call, 1, "sharpness", 0.5, 0, 1);
  // RGB pictures have all their planes filtered, as in the plugin.
  const int planes = IsRgbFormat(in.pixelFormat) ? 7 : PlaneMask(call, {{"y", call.Int(2, 3)}, {"u", call.Int(3, 2)}, {"v", call.Int(4, 2)}});
  if (!planes) return call.args[0];
  return MakeGraphClip(in, call.origin, {call.Clip(0)},
                       "cas=strength=" + OptionNumber(sharpness) + ":planes=" + std::to_string(planes));
}

}  // namespace

void RegisterCasPlugin(FunctionTable& table) {
  // opt picks the plugin's CPU instructions.
  table["cas"] = {"clip:c ?sharpness:f ?y:i ?u:i ?v:i ?opt:i", Cas};
}

}  // namespace avs
