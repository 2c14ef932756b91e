// SuperEQ: the sound through an 18-band graphic equalizer, the gains in
// decibels from the arguments or a preset file of one integer a line. The
// equalizing is libavfilter's superequalizer, the same FIR design over the
// same bands; its output comes 4095 samples late, which is taken back here.
#include "tools/engine/filter.h"
#include "tools/engine/functions/common.h"
#include "tools/engine/functions/families.h"
#include "tools/engine/samples.h"

extern "C" {
#include <libavfilter/avfilter.h>
#include <libavfilter/buffersink.h>
#include <libavfilter/buffersrc.h>
#include <libavutil/channel_layout.h>
}

#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <vector>

namespace avs {

namespace {

constexpr int kBands = 18;
// superequalizer's delay, and the length of its windows.
constexpr int64_t kDelay = 4095;
// Samples fed before a read that does not follow the last one, so that the
// filter's windows hold what they would after a read from the start.
constexpr int64_t kSettle = 4 * kDelay;
// The largest gain the filter takes: 20 times, some 26 dB.
constexpr double kMaxGainDb = 26.0;

using Gains = std::array<double, kBands>;  // decibels

struct GraphDeleter {
  void operator()(AVFilterGraph* g) const { avfilter_graph_free(&g); }
};
struct FrameFree {
  void operator()(AVFrame* f) const { av_frame_free(&f); }
};

class EqualizedClip : public AudioFilter {
 public:
  EqualizedClip(const Call& call, const ClipPtr& source, const Gains& gains)
      : AudioFilter(source->info(), call.origin, {source}), gains_(gains) {}

  std::unique_ptr<AudioStream> OpenAudio(Reading& reading) const override {
    return std::make_unique<Stream>(*this, reading);
  }

 private:
  class Stream : public AudioStream {
   public:
    Stream(const EqualizedClip& clip, Reading& reading)
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
      std::string bands;
      for (int i = 0; i < kBands; ++i) {
        char band[48];
        std::snprintf(band, sizeof band, "%s%db=%.17g", i ? ":" : "", i + 1,
                      std::pow(10.0, clip_.gains_[static_cast<std::size_t>(i)] / 20.0));
        bands += band;
      }
      AVFilterContext *equalizer = nullptr, *format = nullptr;
      if (avfilter_graph_create_filter(&source_, avfilter_get_by_name("abuffer"), "in", args, nullptr, graph) < 0 ||
          avfilter_graph_create_filter(&equalizer, avfilter_get_by_name("superequalizer"), "eq", bands.c_str(), nullptr,
                                       graph) < 0 ||
          avfilter_graph_create_filter(&format, avfilter_get_by_name("aformat"), "format", "sample_fmts=flt", nullptr,
                                       graph) < 0 ||
          avfilter_graph_create_filter(&sink_, avfilter_get_by_name("abuffersink"), "out", nullptr, nullptr, graph) <
              0 ||
          avfilter_link(source_, 0, equalizer, 0) < 0 || avfilter_link(equalizer, 0, format, 0) < 0 ||
          avfilter_link(format, 0, sink_, 0) < 0 || avfilter_graph_config(graph, nullptr) < 0)
        clip_.Fail("cannot set up the equalizer");
    }

    // Feeds from a whole window some time before `start` (from the first
    // sample when that is near), and skips the filter's output up to the
    // sample that plays at `start`.
    void Restart(int64_t start) {
      Build();
      inPos_ = std::max<int64_t>(0, (start - kSettle) / kDelay * kDelay);
      outPos_ = inPos_ - kDelay;  // the filter's first output plays here
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
        std::unique_ptr<AVFrame, FrameFree> frame(av_frame_alloc());
        if (!frame) clip_.Fail("out of memory");
        frame->format = AV_SAMPLE_FMT_FLT;
        frame->sample_rate = in.sampleRate;
        av_channel_layout_default(&frame->ch_layout, in.channels);
        frame->nb_samples = static_cast<int>(kDelay);
        frame->pts = inPos_;
        if (av_frame_get_buffer(frame.get(), 0) < 0) clip_.Fail("out of memory");
        const std::size_t n = static_cast<std::size_t>(kDelay) * channels_;
        if (in.sampleType == SampleType::Float) {
          inputs_.Samples(0, frame->data[0], inPos_, kDelay);
        } else {
          native_.resize(n * static_cast<std::size_t>(BytesPerSample(in.sampleType)));
          inputs_.Samples(0, native_.data(), inPos_, kDelay);
          ConvertSamples(native_.data(), in.sampleType, frame->data[0], SampleType::Float, n);
        }
        inPos_ += kDelay;
        if (av_buffersrc_add_frame(source_, frame.get()) < 0) clip_.Fail("the equalizer failed");
        for (;;) {
          std::unique_ptr<AVFrame, FrameFree> out(av_frame_alloc());
          if (!out) clip_.Fail("out of memory");
          const int rc = av_buffersink_get_frame(sink_, out.get());
          if (rc == AVERROR(EAGAIN)) break;
          if (rc < 0) clip_.Fail("the equalizer failed");
          const float* samples = reinterpret_cast<const float*>(out->data[0]);
          pending_.insert(pending_.end(), samples, samples + static_cast<std::size_t>(out->nb_samples) * channels_);
        }
      }
    }

    const EqualizedClip& clip_;
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

  Gains gains_;
};

// A preset file: one integer (decibels) a line for the bands in order,
// blank lines left out.
Gains PresetGains(const Call& call, const std::string& path) {
  struct stat status{};
  if (::stat(path.c_str(), &status) != 0) call.Fail("cannot open " + path);
  if (!S_ISREG(status.st_mode)) call.Fail(path + " is not a regular file");
  if (status.st_size > 64 * 1024) call.Fail(path + " is too large for a preset");
  std::ifstream file(path);
  if (!file) call.Fail("cannot open " + path);
  Gains gains{};
  std::string line;
  int band = 0, number = 0;
  while (std::getline(file, line)) {
    ++number;
    std::istringstream words(line);
    long long value = 0;
    std::string rest;
    if (!(words >> value)) {
      if (line.find_first_not_of(" \t\r") == std::string::npos) continue;
      call.Fail(path + ", line " + std::to_string(number) + ": not a whole number of decibels");
    }
    if (words >> rest) call.Fail(path + ", line " + std::to_string(number) + ": one number a line");
    if (band == kBands) call.Fail(path + " holds more than 18 bands");
    gains[static_cast<std::size_t>(band++)] = static_cast<double>(value);
  }
  return gains;
}

// SuperEQ(clip, filename) or SuperEQ(clip, band1, ..., band18) in decibels;
// bands left out stay at 0 dB.
Value SuperEQ(Call& call) {
  const ClipPtr clip = call.Clip(0);
  if (!clip->info().hasAudio) call.Fail("the clip has no sound");
  Gains gains{};
  if (!call.rest.empty() && call.rest[0].isString()) {
    if (call.rest.size() > 1) call.Fail("takes a preset file or the bands' gains, not both");
    gains = PresetGains(call, call.Path(call.rest[0].asString()));
  } else {
    if (call.rest.size() > kBands) call.Fail("has 18 bands, not " + std::to_string(call.rest.size()));
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

void RegisterEqualizerFunction(FunctionTable& table) {
  table["supereq"] = {"clip:c bands:.*", SuperEQ};
}

}  // namespace avs
