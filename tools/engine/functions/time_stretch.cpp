// TimeStretch: the sound's tempo, pitch and playback rate changed
// independently. The tempo is changed by libavfilter's atempo (the pitch
// stays); the playback rate by playing the samples at another rate and
// resampling back (both change); a pitch change is a tempo change undone
// by a rate change.
#include "tools/engine/filter.h"
#include "tools/engine/functions/audio_graph.h"
#include "tools/engine/functions/common.h"
#include "tools/engine/functions/families.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

namespace avs {

namespace {

// The input's sound played `factor` times as fast at the same pitch, in
// the input's sample type (worked in floats). Reads in order from where it
// last stopped; a read elsewhere starts the filter again a little before
// the matching input sample, so the samples there may differ slightly from
// those of a read from the start.
class TempoClip : public AudioFilter {
 public:
  TempoClip(ClipInfo info, std::string origin, ClipPtr source, double factor)
      : AudioFilter(info, std::move(origin), {std::move(source)}), factor_(factor) {}

  std::unique_ptr<AudioStream> OpenAudio(Reading& reading) const override {
    // atempo takes factors from 0.5 to 100 at a time; slower ones are made
    // in several steps.
    std::vector<AudioFilterStep> steps;
    double factor = factor_;
    do {
      const double step = std::clamp(factor, 0.5, 100.0);
      factor /= step;
      char tempo[64];
      std::snprintf(tempo, sizeof tempo, "tempo=%.17g", step);
      steps.push_back({"atempo", tempo});
    } while (std::fabs(factor - 1) > 1e-12);
    // A read starts at the input sample that plays at its first output
    // sample, less a second for the filter to settle.
    const int64_t settle = input(0).info().sampleRate;
    return FilteredSound(*this, reading, std::move(steps), 4096, [this, settle](int64_t start) {
      const int64_t under = static_cast<int64_t>(std::floor(static_cast<double>(start) * factor_));
      const int64_t input = std::max<int64_t>(0, under - settle);
      return AudioFeedStart{input, static_cast<int64_t>(std::llround(static_cast<double>(input) / factor_))};
    });
  }

 private:
  double factor_;
};

// A percentage given as a float, or as a fraction by its _n and _d
// parameters (`n` the index of the _n one).
double Percent(const Call& call, std::size_t plain, std::size_t n, const char* name) {
  double value = call.Float(plain, 100.0);
  if (call.args[n].defined() || call.args[n + 1].defined()) {
    if (call.args[plain].defined())
      call.Fail(std::string("give ") + name + " or " + name + "_n and " + name + "_d, not both");
    const int64_t numerator = call.Int(n, 1), denominator = call.Int(n + 1, 1);
    if (denominator == 0) call.Fail(std::string(name) + "_d must not be 0");
    value = 100.0 * static_cast<double>(numerator) / static_cast<double>(denominator);
  }
  if (!std::isfinite(value) || value < 1 || value > 10000)
    call.Fail(std::string(name) + " must be between 1 and 10000 (percent)");
  return value / 100;
}

Value TimeStretch(Call& call) {
  const ClipInfo& in = call.Clip(0)->info();
  if (!in.hasAudio) call.Fail("the clip has no sound");
  const double tempo = Percent(call, 1, 9, "tempo"), rate = Percent(call, 2, 11, "rate"),
               pitch = Percent(call, 3, 13, "pitch");
  // The pitch change plays the sound `pitch` times as fast and stretches
  // it back by the same factor.
  const double stretch = tempo / pitch, speed = pitch * rate;
  ClipPtr clip = call.Clip(0);
  if (std::fabs(stretch - 1) > 1e-9) {
    ClipInfo info = in;
    const double samples = std::round(static_cast<double>(in.sampleCount) / stretch);
    if (samples > static_cast<double>(kMaxSamples)) call.Fail("the stretched sound would be too long");
    info.sampleCount = static_cast<int64_t>(samples);
    clip = std::make_shared<TempoClip>(info, call.origin, clip, stretch);
  }
  if (std::fabs(speed - 1) > 1e-9) {
    const double played = std::round(in.sampleRate * speed);
    if (played < 1 || played > kMaxSampleRate) call.Fail("the playback rate is out of range");
    clip = call.interp.CallFunction("assumesamplerate", {Value(clip), Value(static_cast<int64_t>(played))}, call.origin)
               .asClip();
    clip = call.interp
               .CallFunction("resampleaudio", {Value(clip), Value(static_cast<int64_t>(in.sampleRate))}, call.origin)
               .asClip();
  }
  return clip;
}

}  // namespace

void RegisterTimeStretchFunctions(FunctionTable& table) {
  // sequence, seekwindow, overlap, quickseek and aa tune another algorithm
  // and are read without effect.
  table["timestretch"] = {
      "clip:c ?tempo:f ?rate:f ?pitch:f ?sequence:i ?seekwindow:i ?overlap:i ?quickseek:b ?aa:i "
      "?tempo_n:i ?tempo_d:i ?rate_n:i ?rate_d:i ?pitch_n:i ?pitch_d:i",
      TimeStretch};
}

}  // namespace avs
