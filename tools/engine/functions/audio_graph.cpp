#include "tools/engine/functions/audio_graph.h"

#include "tools/engine/samples.h"

extern "C" {
#include <libavfilter/avfilter.h>
#include <libavfilter/buffersink.h>
#include <libavfilter/buffersrc.h>
#include <libavutil/channel_layout.h>
}

#include <algorithm>
#include <cstdio>

namespace avs {

namespace {

struct GraphDeleter {
  void operator()(AVFilterGraph* g) const { avfilter_graph_free(&g); }
};
struct FrameFree {
  void operator()(AVFrame* f) const { av_frame_free(&f); }
};

class FilteredSoundStream : public AudioStream {
 public:
  FilteredSoundStream(const Clip& clip, Reading& reading, std::vector<AudioFilterStep> steps, int chunk,
                      std::function<AudioFeedStart(int64_t)> feedStart)
      : clip_(clip),
        inputs_(reading, clip),
        steps_(std::move(steps)),
        chunk_(chunk),
        feedStart_(std::move(feedStart)),
        channels_(static_cast<std::size_t>(clip.info().channels)) {}

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
    std::vector<AudioFilterStep> steps = steps_;
    steps.push_back({"aformat", "sample_fmts=flt"});
    if (avfilter_graph_create_filter(&source_, avfilter_get_by_name("abuffer"), "in", args, nullptr, graph) < 0)
      clip_.Fail("cannot set up the " + steps_.front().name + " filter");
    AVFilterContext* last = source_;
    for (std::size_t i = 0; i < steps.size(); ++i) {
      AVFilterContext* next = nullptr;
      const std::string name = "step" + std::to_string(i);
      if (avfilter_graph_create_filter(&next, avfilter_get_by_name(steps[i].name.c_str()), name.c_str(),
                                       steps[i].options.c_str(), nullptr, graph) < 0 ||
          avfilter_link(last, 0, next, 0) < 0)
        clip_.Fail("cannot set up the " + steps[i].name + " filter");
      last = next;
    }
    if (avfilter_graph_create_filter(&sink_, avfilter_get_by_name("abuffersink"), "out", nullptr, nullptr, graph) < 0 ||
        avfilter_link(last, 0, sink_, 0) < 0 || avfilter_graph_config(graph, nullptr) < 0)
      clip_.Fail("cannot set up the " + steps_.front().name + " filter");
  }

  void Restart(int64_t start) {
    Build();
    const AudioFeedStart from = feedStart_(start);
    inPos_ = from.input;
    outPos_ = from.output;
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

  // Feeds input (silence past its end) until the chain gives samples.
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
      frame->nb_samples = chunk_;
      frame->pts = inPos_;
      if (av_frame_get_buffer(frame.get(), 0) < 0) clip_.Fail("out of memory");
      const std::size_t n = static_cast<std::size_t>(chunk_) * channels_;
      if (in.sampleType == SampleType::Float) {
        inputs_.Samples(0, frame->data[0], inPos_, chunk_);
      } else {
        native_.resize(n * static_cast<std::size_t>(BytesPerSample(in.sampleType)));
        inputs_.Samples(0, native_.data(), inPos_, chunk_);
        ConvertSamples(native_.data(), in.sampleType, frame->data[0], SampleType::Float, n);
      }
      inPos_ += chunk_;
      if (av_buffersrc_add_frame(source_, frame.get()) < 0) clip_.Fail("the " + steps_.front().name + " filter failed");
      for (;;) {
        std::unique_ptr<AVFrame, FrameFree> out(av_frame_alloc());
        if (!out) clip_.Fail("out of memory");
        const int rc = av_buffersink_get_frame(sink_, out.get());
        if (rc == AVERROR(EAGAIN)) break;
        if (rc < 0) clip_.Fail("the " + steps_.front().name + " filter failed");
        const float* samples = reinterpret_cast<const float*>(out->data[0]);
        pending_.insert(pending_.end(), samples, samples + static_cast<std::size_t>(out->nb_samples) * channels_);
      }
    }
  }

  const Clip& clip_;
  Inputs inputs_;
  const std::vector<AudioFilterStep> steps_;
  const int chunk_;
  const std::function<AudioFeedStart(int64_t)> feedStart_;
  const std::size_t channels_;
  std::unique_ptr<AVFilterGraph, GraphDeleter> graph_;
  AVFilterContext* source_ = nullptr;
  AVFilterContext* sink_ = nullptr;
  std::vector<uint8_t> native_;
  std::vector<float> pending_;  // interleaved samples the chain gave, from pendingAt_ on
  std::size_t pendingAt_ = 0;
  int64_t inPos_ = 0, outPos_ = 0;
};

}  // namespace

std::unique_ptr<AudioStream> FilteredSound(const Clip& clip, Reading& reading, std::vector<AudioFilterStep> steps,
                                           int chunk, std::function<AudioFeedStart(int64_t start)> feedStart) {
  return std::make_unique<FilteredSoundStream>(clip, reading, std::move(steps), chunk, std::move(feedStart));
}

}  // namespace avs
