// SuperEQ: the sound through an 18-band graphic equalizer, the gains in
// decibels from the arguments or a preset file of one integer a line. The
// equalizing is libavfilter's superequalizer, the same FIR design over the
// same bands; its output comes 4095 samples late, which is taken back here.
#include "tools/engine/filter.h"
#include "tools/engine/functions/audio_graph.h"
#include "tools/engine/functions/common.h"
#include "tools/engine/functions/equalizer_preset.h"
#include "tools/engine/functions/families.h"


#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <sstream>
#include <vector>

namespace avs {

namespace {

// superequalizer's delay, and the length of its windows.
constexpr int64_t kDelay = 4095;
// Samples fed before a read that does not follow the last one, so that the
// filter's windows hold what they would after a read from the start.
constexpr int64_t kSettle = 4 * kDelay;
// The largest gain the filter takes: 20 times, some 26 dB.
constexpr double kMaxGainDb = 26.0;


class EqualizedClip : public AudioFilter {
 public:
  EqualizedClip(const Call& call, const ClipPtr& source, const EqualizerGains& gains)
      : AudioFilter(source->info(), call.origin, {source}), gains_(gains) {}

  std::unique_ptr<AudioStream> OpenAudio(Reading& reading) const override {
    std::string bands;
    for (int i = 0; i < kEqualizerBands; ++i) {
      char band[48];
      std::snprintf(band, sizeof band, "%s%db=%.17g", i ? ":" : "", i + 1,
                    std::pow(10.0, gains_[static_cast<std::size_t>(i)] / 20.0));
      bands += band;
    }
    // Fed in whole windows from some time before a read (from the first
    // sample when that is near), so that the filter's windows hold what
    // they would after a read from the start; its first output plays
    // kDelay samples before the first sample fed.
    return FilteredSound(*this, reading, {{"superequalizer", bands}}, static_cast<int>(kDelay), [](int64_t start) {
      const int64_t input = std::max<int64_t>(0, (start - kSettle) / kDelay * kDelay);
      return AudioFeedStart{input, input - kDelay};
    });
  }

 private:
  EqualizerGains gains_;
};

// The preset file at `path`, a regular file of a few lines.
EqualizerGains PresetGains(const Call& call, const std::string& path) {
  const std::string text = ReadSmallFile(call, path, 64 * 1024, " for a preset");
  std::string problem;
  const std::optional<EqualizerGains> gains = ParseEqualizerPreset(text, problem);
  if (!gains) call.Fail(path + ", " + problem);
  return *gains;
}

// SuperEQ(clip, filename) or SuperEQ(clip, band1, ..., band18) in decibels;
// bands left out stay at 0 dB.
Value SuperEQ(Call& call) {
  const ClipPtr clip = call.Clip(0);
  if (!clip->info().hasAudio) call.Fail("the clip has no sound");
  EqualizerGains gains{};
  if (!call.rest.empty() && call.rest[0].isString()) {
    if (call.rest.size() > 1) call.Fail("takes a preset file or the bands' gains, not both");
    gains = PresetGains(call, call.Path(call.rest[0].asString()));
  } else {
    if (call.rest.size() > static_cast<std::size_t>(kEqualizerBands)) call.Fail("has 18 bands, not " + std::to_string(call.rest.size()));
    for (std::size_t i = 0; i < call.rest.size(); ++i) {
      if (!call.rest[i].isNumber()) call.Fail("band" + std::to_string(i + 1) + " must be a number of decibels");
      gains[i] = call.rest[i].asFloat();
    }
  }
  for (std::size_t i = 0; i < gains.size(); ++i)
    if (!(gains[i] <= kMaxGainDb))
      call.Fail("band" + std::to_string(i + 1) + " may rise by at most 26 dB, not " + Value(gains[i]).toText());
  if (std::all_of(gains.begin(), gains.end(), [](double g) { return g == 0; })) return clip;
  return std::make_shared<EqualizedClip>(call, clip, gains);
}

}  // namespace

std::optional<EqualizerGains> ParseEqualizerPreset(const std::string& text, std::string& problem) {
  EqualizerGains gains{};
  std::istringstream lines(text);
  std::string line;
  int band = 0, number = 0;
  while (std::getline(lines, line)) {
    ++number;
    if (line.find_first_not_of(" \t\r") == std::string::npos) continue;
    std::istringstream words(line);
    long long value = 0;
    std::string rest;
    if (!(words >> value)) {
      problem = "line " + std::to_string(number) + ": not a whole number of decibels";
      return std::nullopt;
    }
    if (words >> rest) {
      problem = "line " + std::to_string(number) + ": one number a line";
      return std::nullopt;
    }
    if (band == kEqualizerBands) {
      problem = "line " + std::to_string(number) + ": more than 18 bands";
      return std::nullopt;
    }
    gains[static_cast<std::size_t>(band++)] = static_cast<double>(value);
  }
  return gains;
}

void RegisterEqualizerFunction(FunctionTable& table) {
  table["supereq"] = {"clip:c bands:.*", SuperEQ};
}

}  // namespace avs
