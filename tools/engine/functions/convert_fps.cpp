// Time: ConvertFPS, a new frame rate of the same running time whose frames
// are made from the source frames around their time instead of dropped or
// repeated ones.
#include "tools/engine/filter.h"
#include "tools/engine/functions/blend.h"
#include "tools/engine/functions/common.h"
#include "tools/engine/functions/families.h"

extern "C" {
#include <libavutil/mathematics.h>
}

#include <algorithm>
#include <vector>

namespace avs {

namespace {

__extension__ using Wide = __int128;

// ConvertFPS in its blend mode: output frame n, at time n / rate, lies
// between input frames k and k + 1 and is both blended in proportion to how
// near it is to each. The sound is unchanged.
class BlendedRate : public FrameFilter {
 public:
  BlendedRate(ClipInfo info, std::string origin, ClipPtr input, int64_t up, int64_t down)
      : FrameFilter(info, std::move(origin), {std::move(input)}), up_(up), down_(down) {}

  FrameRef MakeFrame(int64_t n, const Inputs& in) const override {
    // The input position n * down / up as k + r / up; n < 2^31 and down <
    // 2^62, so the product needs 128 bits.
    const Wide p = static_cast<Wide>(n) * down_;
    const int64_t k = static_cast<int64_t>(p / up_), r = static_cast<int64_t>(p % up_);
    const int64_t w = static_cast<int64_t>(static_cast<Wide>(r) * kWholeWeight / up_);
    if (w == 0 || k + 1 >= in.Info(0).frameCount) return in.Frame(0, k);
    return Blend(*in.Frame(0, k), *in.Frame(0, k + 1), w, info());
  }

 private:
  int64_t up_, down_;
};

// ConvertFPS in its switch mode, for pictures shown on a screen that scans
// each frame from the top down: output frame n is scanned during [n, n + 1)
// / rate, first its `vbi` blank lines, then its rows, each row in the same
// time. A row shows the source frame on screen at the time it is scanned,
// so the frames switch where a source frame begins, usually within an
// output frame; the switch line moves down from frame to frame. The `zone`
// rows from the switch line down blend the frame before into the new one,
// (d + 1) / (zone + 1) of it d rows below the switch line, so that a zone
// of 0 switches outright. The new frame only blends in from its start,
// where a converter showing frames as they come could first have it.
class SwitchedRate : public FrameFilter {
 public:
  SwitchedRate(ClipInfo info, std::string origin, ClipPtr input, int64_t up, int64_t down, int64_t zone, int64_t vbi)
      : FrameFilter(info, std::move(origin), {std::move(input)}),
        up_(up),
        down_(down),
        zone_(zone),
        vbi_(vbi),
        lines_(info.height + vbi) {}

  // Scan lines are counted from output frame 0's first blank line; line g
  // is scanned at g / (lines * rate), while source frame g * down / (lines
  // * up) is on screen; the products fit in 128 bits.
  int64_t SourceAt(Wide g) const { return static_cast<int64_t>(g * down_ / (static_cast<Wide>(lines_) * up_)); }
  // The first scan line at which source frame k is on screen.
  Wide FirstLineOf(int64_t k) const {
    const Wide start = static_cast<Wide>(k) * lines_ * up_;
    return (start + down_ - 1) / down_;
  }

  FrameRef MakeFrame(int64_t n, const Inputs& in) const override {
    const int64_t last = in.Info(0).frameCount - 1;
    // The source frames the rows show, in the order they first appear;
    // down the rows they only grow, so a frame is sought from the end.
    std::vector<int64_t> sources;
    auto index = [&](int64_t k) {
      k = std::min(k, last);
      auto it = std::find(sources.rbegin(), sources.rend(), k);
      if (it != sources.rend()) return static_cast<int>(sources.rend() - it - 1);
      sources.push_back(k);
      return static_cast<int>(sources.size() - 1);
    };
    std::vector<RowMix> rows(static_cast<std::size_t>(info().height));
    for (int y = 0; y < info().height; ++y) {
      const Wide g = static_cast<Wide>(n) * lines_ + vbi_ + y;
      const int64_t k = SourceAt(g);
      const int64_t below = static_cast<int64_t>(g - FirstLineOf(k));
      RowMix& row = rows[static_cast<std::size_t>(y)];
      if (k > 0 && below < zone_)
        row = {index(k - 1), index(k), BlendWeight(below + 1, zone_)};
      else
        row = {index(k), index(k), 0};
    }
    if (sources.size() == 1) return in.Frame(0, sources[0]);
    std::vector<FrameRef> held;
    std::vector<const AVFrame*> frames;
    for (int64_t k : sources) {
      held.push_back(in.Frame(0, k));
      frames.push_back(held.back().get());
    }
    return MixRows(frames, rows, info());
  }

 private:
  int64_t up_, down_, zone_, vbi_, lines_;
};

// The switch mode's checks: the zone lies within the picture and within
// the rows a source frame lasts, so that one zone ends before the next
// switch; every source frame lasts at least one row, so that none is passed
// over.
ClipPtr SwitchMode(const Call& call, const ClipInfo& info, int64_t up, int64_t down, int64_t zone, int64_t vbi) {
  const int64_t height = info.height;
  if (zone < 0) call.Fail("zone must be 0 or more (0 switches without blending)");
  if (zone > height)
    call.Fail("zone, " + std::to_string(zone) + " lines, is taller than the picture's " + std::to_string(height));
  if (vbi < 0 || vbi > height)
    call.Fail("vbi must be between 0 and the picture's height, " + std::to_string(height) + " lines");
  const int64_t lines = height + vbi;
  const Wide rowsPerSource = static_cast<Wide>(lines) * up / down;
  if (rowsPerSource < 1)
    call.Fail("the switch mode needs every source frame to last at least one line, a new rate of at least 1/" +
              std::to_string(lines) + " of the clip's");
  if (zone > rowsPerSource)
    call.Fail("zone, " + std::to_string(zone) + " lines, is longer than the " +
              std::to_string(static_cast<int64_t>(rowsPerSource)) + " lines a source frame lasts at the new rate");
  return std::make_shared<SwitchedRate>(info, call.origin, call.Clip(0), up, down, zone, vbi);
}

// ConvertFPS(rate [, denominator] [, zone, vbi]): the integers after a
// float, preset or clip rate are zone and vbi; a zone, named or not,
// chooses the switch mode, and without one vbi is passed over.
Value ConvertFps(Call& call) {
  const ClipInfo& in = VideoOf(call, 0);
  const bool fraction = call.args[1].isInt();
  const std::size_t zoneAt = fraction ? 3 : 2;
  if (!fraction && call.args[4].defined()) call.Fail("unexpected integer after vbi");
  const auto given = [&](std::size_t positional, std::size_t named, const std::string& name) {
    if (call.args[positional].defined() && call.args[named].defined()) call.Fail(name + " is given twice");
    return call.args[positional].defined() ? call.args[positional] : call.args[named];
  };
  const Value zone = given(zoneAt, 5, "zone"), vbi = given(zoneAt + 1, 6, "vbi");
  const Rational fps = RateArgument(call, 1, fraction ? 2 : call.args.size());
  const int64_t up = fps.num * in.fps.den, down = fps.den * in.fps.num;
  // Blending only the two frames around each new one, a rate below two
  // thirds of the clip's would pass over whole frames.
  if (!zone.defined() && static_cast<Wide>(up) * 3 < static_cast<Wide>(down) * 2)
    call.Fail("the blend mode needs a new rate of at least two thirds of the clip's");
  const int64_t count = std::max<int64_t>(1, av_rescale_rnd(in.frameCount, up, down, AV_ROUND_NEAR_INF));
  if (count > kMaxFrames) call.Fail("the clip would have too many frames at that rate");
  ClipInfo info = in;
  info.fps = fps;
  info.frameCount = count;
  if (zone.defined()) return SwitchMode(call, info, up, down, zone.asInt(), vbi.defined() ? vbi.asInt() : 0);
  return std::make_shared<BlendedRate>(info, call.origin, call.Clip(0), up, down);
}

}  // namespace

void RegisterConvertFpsFunction(FunctionTable& table) {
  table["convertfps"] = {"clip:c new_rate:. ?p2:i ?p3:i ?p4:i ?zone:i ?vbi:i", ConvertFps};
}

}  // namespace avs
