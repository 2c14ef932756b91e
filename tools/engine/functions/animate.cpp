// Time: Animate and ApplyRange, a filter called with arguments that change
// from frame to frame, or on a range of frames only.
#include "tools/engine/filter.h"
#include "tools/engine/functions/common.h"
#include "tools/engine/functions/families.h"

extern "C" {
#include <libavutil/mathematics.h>
}

#include <cmath>
#include <mutex>

namespace avs {

namespace {

// Animate(clip, start_frame, end_frame, "filter", start_args..., end_args...):
// frame n is frame n of filter(clip, args), the args at start_frame being
// start_args, at end_frame end_args, and in between moving in a straight
// line (ints rounded to the nearest); before start_frame they stay at
// start_args, after end_frame at end_args. Strings, bools and clips do not
// move, so each must be the same at both ends. The filter is called through
// the script's own function table, as the script's variables and functions
// stood at the call, whenever a frame needs arguments not used just before.
class AnimatedClip : public FrameFilter {
 public:
  AnimatedClip(ClipInfo info, Call& call, ClipPtr clip, std::vector<Value> from, std::vector<Value> to)
      : FrameFilter(info, call.origin, {std::move(clip)}),
        functions_(call.interp.Snapshot()),
        filter_(call.String(3, "")),
        start_(call.Int(1, 0)),
        end_(call.Int(2, 0)),
        from_(std::move(from)),
        to_(std::move(to)) {}

  // a + (b - a) * (n - start) / (end - start), rounded half away from zero,
  // exactly while b - a fits in 63 bits.
  int64_t Between(int64_t a, int64_t b, int64_t n) const {
    constexpr int64_t kHalf = int64_t{1} << 62;
    if (a > -kHalf && a < kHalf && b > -kHalf && b < kHalf)
      return a + av_rescale_rnd(b - a, n - start_, end_ - start_, AV_ROUND_NEAR_INF);
    const long double t = static_cast<long double>(n - start_) / static_cast<long double>(end_ - start_);
    return static_cast<int64_t>(std::llround(a + (static_cast<long double>(b) - a) * t));
  }

  // The arguments of frame n, the clip first.
  std::vector<Value> ArgumentsAt(int64_t n) const {
    std::vector<Value> args{inputs()[0]};
    const bool early = end_ <= start_ ? n < start_ : n <= start_;
    const bool late = end_ <= start_ ? n >= start_ : n >= end_;
    if (early || late) {
      const std::vector<Value>& fixed = early ? from_ : to_;
      args.insert(args.end(), fixed.begin(), fixed.end());
      return args;
    }
    const long double t = static_cast<long double>(n - start_) / static_cast<long double>(end_ - start_);
    for (std::size_t i = 0; i < from_.size(); ++i) {
      const Value &a = from_[i], &b = to_[i];
      if (a.isInt() && b.isInt()) {
        args.emplace_back(Between(a.asInt(), b.asInt(), n));
      } else if (a.isNumber()) {
        args.emplace_back(static_cast<double>(a.asFloat() + (b.asFloat() - static_cast<long double>(a.asFloat())) * t));
      } else {
        args.push_back(a);
      }
    }
    return args;
  }

  FrameRef MakeFrame(int64_t n, const Inputs&) const override {
    std::lock_guard lock(mutex_);
    std::vector<Value> args = ArgumentsAt(n);
    bool same = made_ && args.size() == lastArgs_.size();
    for (std::size_t i = 0; same && i < args.size(); ++i) same = args[i].data == lastArgs_[i].data;
    if (!same) {
      Value result = functions_->CallFunction(filter_, args, origin());
      if (!result.isClip()) Fail(filter_ + " gives " + result.typeName() + ", not a clip");
      const ClipInfo& i = result.asClip()->info();
      if (!i.hasVideo || i.width != info().width || i.height != info().height || i.pixelFormat != info().pixelFormat)
        Fail(filter_ + " must give pictures of one size and pixel type for every frame");
      made_ = result.asClip();
      reading_ = std::make_unique<Reading>();
      lastArgs_ = std::move(args);
    }
    return reading_->Frame(*made_, n);
  }

 private:
  std::shared_ptr<Interpreter> functions_;
  std::string filter_;
  int64_t start_, end_;
  std::vector<Value> from_, to_;
  mutable std::mutex mutex_;
  mutable ClipPtr made_;
  mutable std::unique_ptr<Reading> reading_;
  mutable std::vector<Value> lastArgs_;
};

// The clip the filter works on. Without a clip before start_frame, the
// start and end arguments may begin with it, the same clip at both ends
// (Animate(0, 99, "Crop", c, 0, 0, 64, 32, c, 316, 0, 64, 32)), and it is
// taken out of them; otherwise it is the script's last clip.
ClipPtr AnimatedSource(const Call& call, std::vector<Value>& from, std::vector<Value>& to) {
  if (call.args[0].defined()) return call.Clip(0);
  if (!from.empty() && from[0].isClip()) {
    ClipPtr clip = from[0].asClip();
    from.erase(from.begin());
    to.erase(to.begin());
    return clip;
  }
  const Value* last = call.interp.Variable("last");
  if (!last || !last->isClip())
    call.Fail("needs a clip: none was given first, none begins the arguments and none was made before");
  return last->asClip();
}

// The filter called on the clip and `args`; it must give a clip with video.
ClipPtr Filtered(Call& call, const ClipPtr& clip, const std::vector<Value>& args) {
  std::vector<Value> first{clip};
  first.insert(first.end(), args.begin(), args.end());
  Value result = call.interp.CallFunction(call.String(3, ""), first, call.origin);
  if (!result.isClip() || !result.asClip()->info().hasVideo)
    call.Fail(call.String(3, "") + " does not give a clip with video");
  return result.asClip();
}

Value Animate(Call& call) {
  if (call.rest.size() % 2) call.Fail("the start and end arguments must be as many");
  const std::size_t half = call.rest.size() / 2;
  std::vector<Value> from(call.rest.begin(), call.rest.begin() + static_cast<std::ptrdiff_t>(half));
  std::vector<Value> to(call.rest.begin() + static_cast<std::ptrdiff_t>(half), call.rest.end());
  for (std::size_t i = 0; i < half; ++i) {
    const Value &a = from[i], &b = to[i];
    const std::string which = "argument " + std::to_string(i + 1);
    if (a.isNumber() != b.isNumber() || (!a.isNumber() && a.typeName() != std::string(b.typeName())))
      call.Fail(which + " is " + a.typeName() + " at the start but " + b.typeName() + " at the end");
    if (a.isClip() && a.data != b.data)
      call.Fail(which + " is a clip, which cannot move, so it must be the same clip at both ends");
    if (!a.isNumber() && a.data != b.data) call.Fail(which + " is not a number, so it must be the same at both ends");
  }
  ClipPtr clip = AnimatedSource(call, from, to);
  if (!clip->info().hasVideo) call.Fail("the clip has no video");
  // Called once here, so that a wrong filter name or argument fails at
  // this line; its clip describes the result.
  ClipInfo info = Filtered(call, clip, from)->info();
  TakeSoundOf(info, clip->info());
  return std::make_shared<AnimatedClip>(info, call, std::move(clip), std::move(from), std::move(to));
}

// ApplyRange(clip, start_frame, end_frame, "filter", args...): frames
// start_frame to end_frame (both included) are filter(clip, args)'s, the
// others the clip's; the sound is the clip's.
class RangeClip : public FrameFilter {
 public:
  RangeClip(const Call& call, ClipPtr clip, ClipPtr filtered, int64_t first, int64_t last)
      : FrameFilter(clip->info(), call.origin, {clip, std::move(filtered)}), first_(first), last_(last) {}

  FrameRef MakeFrame(int64_t n, const Inputs& in) const override {
    return in.Frame(n >= first_ && n <= last_ ? 1 : 0, n);
  }
  bool Costly() const override { return false; }

 private:
  int64_t first_, last_;
};

Value ApplyRange(Call& call) {
  const ClipInfo& in = VideoOf(call, 0);
  const int64_t first = call.Int(1, 0), last = call.Int(2, 0);
  if (last < first)
    call.Fail("end_frame " + std::to_string(last) + " comes before start_frame " + std::to_string(first));
  for (const Value& v : call.rest)
    if (v.isClip()) call.Fail("the arguments cannot hold a clip; the clip the filter works on goes first");
  ClipPtr filtered = Filtered(call, call.Clip(0), call.rest);
  const ClipInfo& f = filtered->info();
  if (f.width != in.width || f.height != in.height || f.pixelFormat != in.pixelFormat)
    call.Fail(call.String(3, "") + " gives pictures of another size or pixel type than the clip's");
  return std::make_shared<RangeClip>(call, call.Clip(0), std::move(filtered), first, last);
}

}  // namespace

void RegisterAnimateFunctions(FunctionTable& table) {
  table["animate"] = {"?clip:c start_frame:i end_frame:i filtername:s args:.*", Animate};
  table["applyrange"] = {"clip:c start_frame:i end_frame:i filtername:s args:.*", ApplyRange};
}

}  // namespace avs
