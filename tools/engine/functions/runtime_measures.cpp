// Runtime measures: numbers about the frame a runtime script is run for
// (current_frame, plus an offset), for ScriptClip, ConditionalFilter,
// WriteFile... The mean of a channel (AverageLuma...), its mean difference
// from another clip's or from a neighbouring frame (LumaDifference,
// YDifferenceFromPrevious...), and its least, greatest and middle values
// (YPlaneMin...), with a share of outlying samples left out.
#include "tools/engine/functions/channels.h"
#include "tools/engine/functions/common.h"
#include "tools/engine/functions/families.h"
#include "tools/engine/reading.h"

#include <array>
#include <cmath>

namespace avs {

namespace {

using K = ChannelKind;

const char* Name(K kind) {
  static const char* const kNames[] = {"Y", "U", "V", "R", "G", "B", "alpha"};
  return kNames[static_cast<int>(kind)];
}

// Where channel `kind` lies in clip i's frames; fails when it has none.
Channel Measured(const Call& call, std::size_t i, K kind) {
  const ClipInfo& info = VideoOf(call, i);
  RequireEightBit(call, info);
  for (const Channel& channel : ChannelsOf(info.pixelFormat, info.width, info.height))
    if (channel.kind == kind) return channel;
  call.Fail(std::string("a ") + PixelTypeName(info.pixelFormat) + " clip has no " + Name(kind) + " channel");
}

// Frame current_frame + offset of clip i.
FrameRef FrameAt(const Call& call, std::size_t i, int64_t offset, Reading& reading) {
  const Value* current = call.interp.Variable("current_frame");
  if (!current || !current->isInt())
    call.Fail("can only be used inside ScriptClip, FrameEvaluate, ConditionalFilter, ConditionalSelect and WriteFile");
  return reading.Frame(*call.Clip(i), current->asInt() + offset);
}

// How many samples of each value the channel holds.
std::array<int64_t, 256> Histogram(const Channel& channel, const AVFrame& frame) {
  std::array<int64_t, 256> counts{};
  for (int y = 0; y < channel.height; ++y) {
    const uint8_t* row = channel.Row(frame, y);
    for (int x = 0; x < channel.width; ++x) ++counts[row[x * channel.step]];
  }
  return counts;
}

// AverageLuma(clip, offset) and the like: the channel's mean.
Function Average(K kind) {
  return {"clip:c ?offset:i", [kind](Call& call) -> Value {
            const Channel channel = Measured(call, 0, kind);
            Reading reading;
            const std::array<int64_t, 256> counts = Histogram(channel, *FrameAt(call, 0, call.Int(1, 0), reading));
            double sum = 0;
            for (int v = 0; v < 256; ++v) sum += static_cast<double>(v) * static_cast<double>(counts[v]);
            return Value(sum / (static_cast<double>(channel.width) * channel.height));
          }};
}

// LumaDifference(clip1, clip2) and the like: the mean absolute difference
// of the channels of the two clips' frames; RGBDifference averages R, G, B.
Function Difference(std::vector<K> kinds) {
  return {"clip1:c clip2:c", [kinds](Call& call) -> Value {
            Reading reading;
            const FrameRef a = FrameAt(call, 0, 0, reading), b = FrameAt(call, 1, 0, reading);
            double total = 0;
            for (K kind : kinds) {
              const Channel channel = Measured(call, 0, kind), other = Measured(call, 1, kind);
              if (channel.width != other.width || channel.height != other.height)
                call.Fail("the clips must have the same size");
              total += MeanDifference(channel, *a, *b);
            }
            return Value(total / static_cast<double>(kinds.size()));
          }};
}

// YDifferenceFromPrevious(clip) and YDifferenceToNext(clip, offset = 1):
// the same against another frame of the clip.
Function TimeDifference(std::vector<K> kinds, bool next) {
  return {next ? "clip:c ?offset:i" : "clip:c", [kinds, next](Call& call) -> Value {
            Reading reading;
            const FrameRef a = FrameAt(call, 0, 0, reading);
            const FrameRef b = FrameAt(call, 0, next ? call.Int(1, 1) : -1, reading);
            double total = 0;
            for (K kind : kinds) total += MeanDifference(Measured(call, 0, kind), *a, *b);
            return Value(total / static_cast<double>(kinds.size()));
          }};
}

enum class Statistic { Min, Max, Median, MinMaxDifference };

// YPlaneMin(clip, threshold, offset) and the like: the least (greatest)
// value once `threshold` percent of the samples, the lowest (highest), are
// left out; the median; the difference of the greatest and the least.
Function Extreme(K kind, Statistic statistic) {
  const bool thresholded = statistic != Statistic::Median;
  return {thresholded ? "clip:c ?threshold:f ?offset:i" : "clip:c ?offset:i",
          [kind, statistic, thresholded](Call& call) -> Value {
            const Channel channel = Measured(call, 0, kind);
            const double threshold = thresholded ? call.Float(1, 0) : 50;
            if (!(threshold >= 0 && threshold <= 100)) call.Fail("threshold must be from 0 to 100");
            Reading reading;
            const std::array<int64_t, 256> counts =
                Histogram(channel, *FrameAt(call, 0, call.Int(thresholded ? 2 : 1, 0), reading));
            const double total = static_cast<double>(channel.width) * channel.height;
            // The first value from below (above) past which more than the
            // threshold's share of the samples lie.
            const auto from = [&](bool below) {
              const double allowed = statistic == Statistic::Median ? total / 2 : total * threshold / 100;
              double seen = 0;
              for (int i = 0; i < 256; ++i) {
                const int v = below ? i : 255 - i;
                seen += static_cast<double>(counts[static_cast<std::size_t>(v)]);
                if (seen > allowed) return v;
              }
              return below ? 255 : 0;
            };
            switch (statistic) {
              case Statistic::Min: return Value(from(true));
              case Statistic::Max: return Value(from(false));
              case Statistic::Median: return Value(from(true));
              case Statistic::MinMaxDifference: return Value(from(false) - from(true));
            }
            return Value();
          }};
}

}  // namespace

void RegisterRuntimeMeasures(FunctionTable& table) {
  table["averageluma"] = Average(K::Y);
  table["averagechromau"] = Average(K::U);
  table["averagechromav"] = Average(K::V);
  table["averager"] = Average(K::R);
  table["averageg"] = Average(K::G);
  table["averageb"] = Average(K::B);
  table["lumadifference"] = Difference({K::Y});
  table["chromaudifference"] = Difference({K::U});
  table["chromavdifference"] = Difference({K::V});
  table["rgbdifference"] = Difference({K::R, K::G, K::B});
  table["rdifference"] = Difference({K::R});
  table["gdifference"] = Difference({K::G});
  table["bdifference"] = Difference({K::B});
  const std::pair<const char*, std::vector<K>> kChannels[] = {
      {"y", {K::Y}}, {"u", {K::U}}, {"v", {K::V}}, {"rgb", {K::R, K::G, K::B}}, {"r", {K::R}}, {"g", {K::G}}, {"b", {K::B}}};
  for (const auto& [prefix, kinds] : kChannels) {
    table[std::string(prefix) + "differencefromprevious"] = TimeDifference(kinds, false);
    table[std::string(prefix) + "differencetonext"] = TimeDifference(kinds, true);
    if (kinds.size() > 1) continue;
    table[std::string(prefix) + "planemin"] = Extreme(kinds[0], Statistic::Min);
    table[std::string(prefix) + "planemax"] = Extreme(kinds[0], Statistic::Max);
    table[std::string(prefix) + "planemedian"] = Extreme(kinds[0], Statistic::Median);
    table[std::string(prefix) + "planeminmaxdifference"] = Extreme(kinds[0], Statistic::MinMaxDifference);
  }
}

}  // namespace avs
