// Time: Animate, a filter whose arguments change from frame to frame.
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
  AnimatedClip(ClipInfo info, Call& call, std::vector<Value> from, std::vector<Value> to)
      : FrameFilter(info, call.origin, {call.Clip(0)}),
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

Value Animate(Call& call) {
  const ClipInfo& in = VideoOf(call, 0);
  if (call.rest.size() % 2) call.Fail("the start and end arguments must be as many");
  const std::size_t half = call.rest.size() / 2;
  std::vector<Value> from(call.rest.begin(), call.rest.begin() + static_cast<std::ptrdiff_t>(half));
  std::vector<Value> to(call.rest.begin() + static_cast<std::ptrdiff_t>(half), call.rest.end());
  for (std::size_t i = 0; i < half; ++i) {
    const Value &a = from[i], &b = to[i];
    const std::string which = "argument " + std::to_string(i + 1);
    if (a.isNumber() != b.isNumber() || (!a.isNumber() && a.typeName() != std::string(b.typeName())))
      call.Fail(which + " is " + a.typeName() + " at the start but " + b.typeName() + " at the end");
    if (!a.isNumber() && a.data != b.data) call.Fail(which + " is not a number, so it must be the same at both ends");
  }
  // Called once here, so that a wrong filter name or argument fails at
  // this line; its clip describes the result.
  std::vector<Value> first{call.Clip(0)};
  first.insert(first.end(), from.begin(), from.end());
  Value result = call.interp.CallFunction(call.String(3, ""), first, call.origin);
  if (!result.isClip() || !result.asClip()->info().hasVideo)
    call.Fail(call.String(3, "") + " does not give a clip with video");
  ClipInfo info = result.asClip()->info();
  info.hasAudio = in.hasAudio;
  info.sampleRate = in.sampleRate;
  info.channels = in.channels;
  info.sampleType = in.sampleType;
  info.sampleCount = in.sampleCount;
  return std::make_shared<AnimatedClip>(info, call, std::move(from), std::move(to));
}

}  // namespace

void RegisterAnimateFunction(FunctionTable& table) {
  table["animate"] = {"clip:c start_frame:i end_frame:i filtername:s args:.*", Animate};
}

}  // namespace avs
