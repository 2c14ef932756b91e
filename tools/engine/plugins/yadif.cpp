// Yadif and yadifmod2: the yadif deinterlacer, as libavfilter's yadif
// computes it; modes 1 and 3 make a frame of each field, at twice the rate.
// BWDIF shares the way a deinterlacer is run.
#include "tools/engine/functions/common.h"
#include "tools/engine/graph_clip.h"
#include "tools/engine/plugins/deinterlaced.h"
#include "tools/engine/plugins/plugin_args.h"
#include "tools/engine/plugins/plugins.h"

namespace avs {

ClipPtr Deinterlaced(const Call& call, const std::string& filter, int64_t mode, bool topFieldFirst) {
  ClipInfo info = VideoOf(call, 0);
  if (info.fieldBased) call.Fail("needs frames, not separated fields (Weave them first)");
  GraphOptions options;
  options.history = 1;  // the frame before is looked at
  if (mode % 2) {  // a frame of each field
    options.cycleOut = 2;
    info.frameCount *= 2;
    info.fps = info.fps.den % 2 ? CheckedRate(call, info.fps.num * 2, info.fps.den) : Rational{info.fps.num, info.fps.den / 2};
  }
  return MakeGraphClip(info, call.origin, {call.Clip(0)},
                       filter + "=mode=" + std::to_string(mode) + ":parity=" + (topFieldFirst ? "tff" : "bff") + ":deint=all",
                       options);
}

namespace {

Value Yadif(Call& call) {
  const int64_t mode = IntIn(call, 1, "mode", 0, 0, 3);
  return Deinterlaced(call, "yadif", mode, TopFieldFirst(call, "order", call.Int(2, -1), VideoOf(call, 0)));
}

Value Yadifmod2(Call& call) {
  const bool tff = TopFieldFirst(call, "order", call.Int(1, -1), VideoOf(call, 0));
  const int64_t mode = IntIn(call, 3, "mode", 0, 0, 3);
  // At the frame rate yadif keeps the field that comes first.
  const int64_t field = IntIn(call, 2, "field", -1, -1, 1);
  if (field != -1 && (mode == 0 || mode == 2) && (field == 1) != tff)
    call.Fail("field=" + std::to_string(field) + " keeps the field that comes second, which yadif cannot: keep field -1");
  RefuseGiven(call, 4, "edeint",
              "yadif interpolates the missing lines itself and takes no clip to draw them from; leave edeint out");
  return Deinterlaced(call, "yadif", mode, tff);
}

}  // namespace

void RegisterYadifPlugins(FunctionTable& table) {
  // planar (YUY2 taken as planar) and opt (the CPU's instructions) change
  // nothing here.
  table["yadif"] = {"clip:c ?mode:i ?order:i ?planar:b ?opt:i", Yadif};
  table["yadifmod2"] = {"clip:c ?order:i ?field:i ?mode:i ?edeint:c ?opt:i", Yadifmod2};
}

}  // namespace avs
