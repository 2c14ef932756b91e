// TimeStretch: the sound's tempo, pitch and playback rate changed
// independently. The tempo is changed by libavfilter's atempo (the pitch
// stays); the playback rate by playing the samples at another rate and
// resampling back (both change); a pitch change is a tempo change undone
// by a rate change.
#include "tools/engine/filter.h"
#include "tools/engine/functions/common.h"
#include "tools/engine/functions/families.h"
#include "tools/engine/samples.h"

extern "C" {
#include <libavfilter/avfilter.h>
#include <libavfilter/buffersink.h>
#include <libavfilter/buffersrc.h>
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
}

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

namespace avs {

namespace {

struct GraphDeleter {
  void operator()(AVFilterGraph* g) const { avfilter_graph_free(&g); }
};

// The input's sound played `factor` times as fast at the same pitch, in
// the input's sample type (worked in floats). Reads in order from where it
// last stopped; a read elsewhere starts the filter again a little before
// the matching input sample, so the samples there may differ slightly from
// those of a read from the start.
class TempoClip : public AudioFilter {
 public:
  TempoClip(ClipInfo info, std::string origin, ClipPtr source, double factor)
      : AudioFilter(info, std::move(origin), {std::move(source)}), factor_(factor) {}

  class Stream : public AudioStream {
   public:
    Stream(const TempoClip& clip, Reading& reading)
        : clip_(clip), inputs_(reading, clip), channels_(static_cast<std::size_t>(clip.info().channels)) {}

    void Read(void* dst, int64_t start, int64_t count) override {
      if (!graph_ || start != outPos_) Restart(start);
      std::vector<float> out(static_cast<std::size_t>(count) * channels_);
      std::size_t filled = 0;
      while (filled < out.size()) {
        if (pendingAt_ == pending_.size()) Pull();
        const std::size_t n = std::min(out.size() - filled, pending_.size() - pendingAt_);
        std::copy_n(pending_.begin() + static_cast<std::ptrdiff_t>(pendingAt_), n,
                    out.begin() + static_cast<std::ptrdiff_t>(filled));
        pendingAt_ += n;
        filled += n;
      }
      outPos_ += count;
      ConvertSamples(out.data(), SampleType::Float, dst, clip_.info().sampleType, out.size());
    }

   private:
    static constexpr int kChunk = 4096;

    void Build() {
      const ClipInfo& info = clip_.info();
      AVFilterGraph* graph = avfilter_graph_alloc();
      if (!graph) clip_.Fail("out of memory");
      graph_.reset(graph);
      AVChannelLayout layout{};
      av_channel_layout_default(&layout, info.channels);
      char layoutName[128] = {};
      av_channel_layout_describe(&layout, layoutName, sizeof layoutName);
      av_channel_layout_uninit(&layout);
      char args[320];
      std::snprintf(args, sizeof args, "sample_rate=%d:sample_fmt=flt:channel_layout=%s:time_base=1/%d",
                    info.sampleRate, layoutName, info.sampleRate);
      if (avfilter_graph_create_filter(&source_, avfilter_get_by_name("abuffer"), "in", args, nullptr, graph) < 0)
        clip_.Fail("cannot set up the time stretch");
      AVFilterContext* last = source_;
      // atempo takes factors from 0.5 to 100 at a time; slower ones are
      // made in several steps.
      double factor = clip_.factor_;
      int steps = 0;
      do {
        const double step = std::clamp(factor, 0.5, 100.0);
        factor /= step;
        char tempo[64];
        std::snprintf(tempo, sizeof tempo, "tempo=%.17g", step);
        AVFilterContext* next = nullptr;
        const std::string name = "tempo" + std::to_string(steps++);
        if (avfilter_graph_create_filter(&next, avfilter_get_by_name("atempo"), name.c_str(), tempo, nullptr, graph) <
                0 ||
            avfilter_link(last, 0, next, 0) < 0)
          clip_.Fail("cannot set up the time stretch");
        last = next;
      } while (std::fabs(factor - 1) > 1e-12);
      AVFilterContext* format = nullptr;
      if (avfilter_graph_create_filter(&format, avfilter_get_by_name("aformat"), "format", "sample_fmts=flt", nullptr,
                                       graph) < 0 ||
          avfilter_graph_create_filter(&sink_, avfilter_get_by_name("abuffersink"), "out", nullptr, nullptr, graph) <
              0 ||
          avfilter_link(last, 0, format, 0) < 0 || avfilter_link(format, 0, sink_, 0) < 0 ||
          avfilter_graph_config(graph, nullptr) < 0)
        clip_.Fail("cannot set up the time stretch");
    }

    // Starts at the input sample that plays at output sample `start`, less
    // a second for the filter to settle, and skips what comes before.
    void Restart(int64_t start) {
      Build();
      const int64_t under = static_cast<int64_t>(std::floor(static_cast<double>(start) * clip_.factor_));
      inPos_ = std::max<int64_t>(0, under - clip_.input(0).info().sampleRate);
      outPos_ = static_cast<int64_t>(std::llround(static_cast<double>(inPos_) / clip_.factor_));
      pending_.clear();
      pendingAt_ = 0;
      while (outPos_ < start) {
        if (pendingAt_ == pending_.size()) Pull();
        const std::size_t skip =
            std::min(static_cast<std::size_t>(start - outPos_), (pending_.size() - pendingAt_) / channels_);
        pendingAt_ += skip * channels_;
        outPos_ += static_cast<int64_t>(skip);
      }
    }

    // Feeds input (silence past its end) until the filter gives samples.
    void Pull() {
      pending_.clear();
      pendingAt_ = 0;
      const ClipInfo& in = clip_.input(0).info();
      while (pending_.empty()) {
        std::unique_ptr<AVFrame, void (*)(AVFrame*)> frame(av_frame_alloc(), [](AVFrame* f) { av_frame_free(&f); });
        if (!frame) clip_.Fail("out of memory");
        frame->format = AV_SAMPLE_FMT_FLT;
        frame->sample_rate = in.sampleRate;
        av_channel_layout_default(&frame->ch_layout, in.channels);
        frame->nb_samples = kChunk;
        frame->pts = inPos_;
        if (av_frame_get_buffer(frame.get(), 0) < 0) clip_.Fail("out of memory");
        const std::size_t n = static_cast<std::size_t>(kChunk) * channels_;
        if (in.sampleType == SampleType::Float) {
          inputs_.Samples(0, frame->data[0], inPos_, kChunk);
        } else {
          native_.resize(n * static_cast<std::size_t>(BytesPerSample(in.sampleType)));
          inputs_.Samples(0, native_.data(), inPos_, kChunk);
          ConvertSamples(native_.data(), in.sampleType, frame->data[0], SampleType::Float, n);
        }
        inPos_ += kChunk;
        if (av_buffersrc_add_frame(source_, frame.get()) < 0) clip_.Fail("the time stretch failed");
        for (;;) {
          std::unique_ptr<AVFrame, void (*)(AVFrame*)> out(av_frame_alloc(), [](AVFrame* f) { av_frame_free(&f); });
          if (!out) clip_.Fail("out of memory");
          const int rc = av_buffersink_get_frame(sink_, out.get());
          if (rc == AVERROR(EAGAIN)) break;
          if (rc < 0) clip_.Fail("the time stretch failed");
          const float* samples = reinterpret_cast<const float*>(out->data[0]);
          pending_.insert(pending_.end(), samples, samples + static_cast<std::size_t>(out->nb_samples) * channels_);
        }
      }
    }

    const TempoClip& clip_;
    Inputs inputs_;
    const std::size_t channels_;
    std::unique_ptr<AVFilterGraph, GraphDeleter> graph_;
    AVFilterContext* source_ = nullptr;
    AVFilterContext* sink_ = nullptr;
    std::vector<uint8_t> native_;
    std::vector<float> pending_;  // interleaved samples the filter gave, from pendingAt_ on
    std::size_t pendingAt_ = 0;
    int64_t inPos_ = 0, outPos_ = 0;
  };

  std::unique_ptr<AudioStream> OpenAudio(Reading& reading) const override {
    return std::make_unique<Stream>(*this, reading);
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
