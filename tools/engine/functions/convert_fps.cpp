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

// ConvertFPS(rate [, denominator] [, zone, vbi]): the integers after a
// float, preset or clip rate are zone and vbi.
Value ConvertFps(Call& call) {
  const ClipInfo& in = VideoOf(call, 0);
  const bool fraction = call.args[1].isInt();
  Value zone = call.args[5];
  if (call.args[fraction ? 3 : 2].defined()) zone = call.args[fraction ? 3 : 2];
  if (!fraction && call.args[4].defined()) call.Fail("unexpected integer after vbi");
  if (zone.defined() && zone.asInt() >= 0)
    call.Fail("only the blend mode (zone < 0) is available; the switch mode for interlaced output is not");
  const Rational fps = RateArgument(call, 1, fraction ? 2 : call.args.size());
  const int64_t up = fps.num * in.fps.den, down = fps.den * in.fps.num;
  // Blending only the two frames around each new one, a rate below two
  // thirds of the clip's would pass over whole frames.
  if (static_cast<Wide>(up) * 3 < static_cast<Wide>(down) * 2)
    call.Fail("the blend mode needs a new rate of at least two thirds of the clip's");
  const int64_t count = std::max<int64_t>(1, av_rescale_rnd(in.frameCount, up, down, AV_ROUND_NEAR_INF));
  if (count > kMaxFrames) call.Fail("the clip would have too many frames at that rate");
  ClipInfo info = in;
  info.fps = fps;
  info.frameCount = count;
  return std::make_shared<BlendedRate>(info, call.origin, call.Clip(0), up, down);
}

}  // namespace

void RegisterConvertFpsFunction(FunctionTable& table) {
  table["convertfps"] = {"clip:c new_rate:. ?p2:i ?p3:i ?p4:i ?zone:i ?vbi:i", ConvertFps};
}

}  // namespace avs
