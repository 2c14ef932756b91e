// Average: the weighted sum of several clips' pixels, clip1 * weight1 +
// clip2 * weight2 + ..., as libavfilter's mix computes it.
#include "tools/engine/functions/common.h"
#include "tools/engine/graph_clip.h"
#include "tools/engine/plugins/plugin_args.h"
#include "tools/engine/plugins/plugins.h"

namespace avs {

namespace {

Value Average(Call& call) {
  std::vector<Value> args{call.args[0], call.args[1]};
  args.insert(args.end(), call.rest.begin(), call.rest.end());
  if (args.size() % 2) call.Fail("takes pairs of a clip and its weight; the last weight is missing");
  std::vector<ClipPtr> clips;
  std::string weights;
  for (std::size_t i = 0; i < args.size(); i += 2) {
    const std::string which = std::to_string(i / 2 + 1);
    if (!args[i].isClip()) call.Fail("argument " + std::to_string(i + 1) + " must be clip " + which);
    if (!args[i + 1].isNumber()) call.Fail("argument " + std::to_string(i + 2) + " must be the weight of clip " + which);
    clips.push_back(args[i].asClip());
    weights += (weights.empty() ? "" : " ") + OptionNumber(args[i + 1].asFloat());
  }
  const ClipInfo& first = VideoOf(call, 0);
  for (std::size_t i = 1; i < clips.size(); ++i) {
    const ClipInfo& other = clips[i]->info();
    if (!other.hasVideo || other.width != first.width || other.height != first.height ||
        other.pixelFormat != first.pixelFormat)
      call.Fail("clip " + std::to_string(i + 1) + " differs from clip 1 in size or pixel type");
  }
  if (clips.size() == 1) call.Fail("needs at least two clips");
  std::string graph;
  for (std::size_t i = 0; i < clips.size(); ++i) graph += "[in" + std::to_string(i) + "]";
  // scale=1: the weights are taken as they are, not divided by their sum.
  graph += "mix=inputs=" + std::to_string(clips.size()) + ":weights='" + weights + "':scale=1[out]";
  return MakeGraphClip(first, call.origin, std::move(clips), graph);
}

}  // namespace

void RegisterAveragePlugin(FunctionTable& table) { table["average"] = {"clip:c weight:f more:.*", Average}; }

}  // namespace avs
