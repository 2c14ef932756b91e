// BWDIF: the bwdif deinterlacer (yadif's motion adaptation with w3fdif's and
// cubic interpolation), as libavfilter's bwdif computes it.
#include "tools/engine/functions/common.h"
#include "tools/engine/plugins/deinterlaced.h"
#include "tools/engine/plugins/plugin_args.h"
#include "tools/engine/plugins/plugins.h"

namespace avs {

namespace {

// field: -1 the clip's field order at the same rate; 0 and 1 keep the
// bottom or top field; 2 and 3 give both at twice the rate, bottom or top
// first.
Value Bwdif(Call& call) {
  const int64_t field = IntIn(call, 1, "field", -1, -1, 3);
  RefuseGiven(call, 2, "edeint", "bwdif interpolates the missing lines itself and takes no clip to draw them from");
  const bool tff = field == -1 ? VideoOf(call, 0).topFieldFirst : field % 2 == 1;
  return Deinterlaced(call, "bwdif", field >= 2 ? 1 : 0, tff);
}

}  // namespace

void RegisterBwdifPlugin(FunctionTable& table) {
  // opt and thr (the plugin's CPU instructions and threads) change nothing here.
  table["bwdif"] = {"clip:c ?field:i ?edeint:c ?opt:i ?thr:i", Bwdif};
}

}  // namespace avs
