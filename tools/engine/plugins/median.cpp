// Median (Median.dll): the pixel-by-pixel median of several clips
// (libavfilter's xmedian) and the median of a clip's neighbouring frames
// (tmedian).
#include "tools/engine/filter.h"
#include "tools/engine/functions/common.h"
#include "tools/engine/graph_clip.h"
#include "tools/engine/plugins/median.h"
#include "tools/engine/plugins/plugin_args.h"
#include "tools/engine/plugins/plugins.h"

namespace avs {

namespace {
// The clip with its first and last frames repeated `count` times before and
// after it, so that a window centred on any frame of the clip is full.
class Padded : public FrameFilter {
 public:
  Padded(const ClipInfo& info, std::string origin, ClipPtr clip, int64_t count)
      : FrameFilter(info, std::move(origin), {std::move(clip)}), count_(count) {}
  FrameRef MakeFrame(int64_t n, const Inputs& in) const override { return in.Frame(0, n - count_); }
  bool Costly() const override { return false; }

 private:
  int64_t count_;
};

}  // namespace

ClipPtr TemporalMedianOf(const Call& call, const ClipPtr& clip, int64_t radius, int planes) {
  ClipInfo padded = clip->info();
  padded.frameCount += 2 * radius;
  // tmedian gives a frame once its window is full: fed the padded clip from
  // frame n, its first frame is the clip's frame n.
  GraphOptions options;
  options.counted = true;
  return MakeGraphClip(clip->info(), call.origin, {std::make_shared<Padded>(padded, call.origin, clip, radius)},
                       "tmedian=radius=" + std::to_string(radius) + ":planes=" + std::to_string(planes), options);
}

namespace {

// The planes a chroma switch filters: all, or the first (luma, or G of RGB).
int ChromaPlanes(bool chroma) { return chroma ? 15 : 1; }

Value Median(Call& call) {
  std::vector<ClipPtr> clips;
  for (const Value& v : call.rest) clips.push_back(v.asClip());
  if (clips.size() < 3 || clips.size() > 25 || clips.size() % 2 == 0)
    call.Fail("takes an odd number of clips from 3 to 25, not " + std::to_string(clips.size()));
  const ClipInfo& first = clips[0]->info();
  if (!first.hasVideo) call.Fail("clip 1 has no video");
  for (std::size_t i = 1; i < clips.size(); ++i) {
    const ClipInfo& other = clips[i]->info();
    if (!other.hasVideo || other.width != first.width || other.height != first.height ||
        other.pixelFormat != first.pixelFormat)
      call.Fail("clip " + std::to_string(i + 1) + " differs from clip 1 in size or pixel type");
  }
  RefuseGiven(call, 2, "sync", "the clips are taken frame by frame as they are; line them up with Trim");
  std::string graph;
  for (std::size_t i = 0; i < clips.size(); ++i) graph += "[in" + std::to_string(i) + "]";
  graph += "xmedian=inputs=" + std::to_string(clips.size()) + ":planes=" + std::to_string(ChromaPlanes(call.Bool(1, true))) +
           "[out]";
  return MakeGraphClip(first, call.origin, std::move(clips), graph);
}

Value TemporalMedian(Call& call) {
  VideoOf(call, 0);
  return TemporalMedianOf(call, call.Clip(0), IntIn(call, 1, "radius", 1, 1, 12), ChromaPlanes(call.Bool(2, true)));
}

}  // namespace

void RegisterMedianPlugin(FunctionTable& table) {
  // samples only tunes sync, which is refused; debug draws nothing here;
  // threads and opt choose how the plugin computes.
  table["median"] = {"clips:c* ?chroma:b ?sync:i ?samples:i ?debug:b ?threads:i ?opt:i", Median};
  table["temporalmedian"] = {"clip:c ?radius:i ?chroma:b ?debug:b ?threads:i ?opt:i", TemporalMedian};
}

}  // namespace avs
