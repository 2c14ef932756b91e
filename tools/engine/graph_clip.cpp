#include "tools/engine/graph_clip.h"

#include "tools/engine/input.h"
#include "tools/engine/pixel_format.h"

extern "C" {
#include <libavfilter/avfilter.h>
#include <libavfilter/buffersink.h>
#include <libavfilter/buffersrc.h>
#include <libavutil/mathematics.h>
#include <libavutil/opt.h>
#include <libavutil/pixdesc.h>
}

#include <algorithm>
#include <deque>
#include <string_view>
#include <utility>

namespace avs {

namespace {

struct GraphDeleter {
  void operator()(AVFilterGraph* g) const { avfilter_graph_free(&g); }
};
using GraphPtr = std::unique_ptr<AVFilterGraph, GraphDeleter>;

struct InOutDeleter {
  void operator()(AVFilterInOut* io) const { avfilter_inout_free(&io); }
};
using InOutPtr = std::unique_ptr<AVFilterInOut, InOutDeleter>;

// One built graph: a buffer source per input, one sink.
struct Graph {
  GraphPtr graph;
  std::vector<AVFilterContext*> sources;
  AVFilterContext* sink = nullptr;
};

class GraphClip : public VideoFilter {
 public:
  GraphClip(ClipInfo info, std::string origin, std::vector<ClipPtr> inputs, std::string description,
            GraphOptions options)
      : VideoFilter(info, std::move(origin), std::move(inputs)), description_(std::move(description)), options_(options) {
    const ClipInfo& in = input(0).info();
    if (Spanned() && (in.width != info.width || in.height != info.height || in.pixelFormat != info.pixelFormat))
      Fail("the filter \"" + description_ + "\" changes the picture, so it cannot leave frames as they are");
    if (Counted() && (Spanned() || options_.cycleIn < 1 || options_.cycleOut < 1))
      Fail("the filter \"" + description_ + "\" cannot work on a span of frames in cycles");
    Build();  // fails here, at the script's line, when the graph is wrong
  }

  std::unique_ptr<VideoStream> OpenVideo(Reading& reading) const override;

  // A new graph, configured for the inputs' pictures.
  Graph Build() const {
    auto fail = [this](const std::string& what, int rc) {
      Fail("the filter \"" + description_ + "\" " + what + (rc < 0 ? ": " + ErrorText(rc) : ""));
    };
    Graph g;
    g.graph.reset(avfilter_graph_alloc());
    if (!g.graph) Fail("out of memory");
    // Frames are fed at input 0's rate, which a cycled filter changes.
    const Rational rate = input(0).info().fps;
    const AVRational timeBase{static_cast<int>(rate.den), static_cast<int>(rate.num)};
    AVFilterInOut* outputs = nullptr;  // the graph description's open inputs
    for (std::size_t i = 0; i < inputs().size(); ++i) {
      const ClipInfo& in = input(i).info();
      std::string args = "video_size=" + std::to_string(in.width) + "x" + std::to_string(in.height) +
                         ":pix_fmt=" + av_get_pix_fmt_name(in.pixelFormat) + ":time_base=" + std::to_string(timeBase.num) +
                         "/" + std::to_string(timeBase.den) + ":frame_rate=" + std::to_string(timeBase.den) + "/" +
                         std::to_string(timeBase.num) + ":pixel_aspect=1/1";
      AVFilterContext* source = nullptr;
      std::string name = "in" + std::to_string(i);
      int rc = avfilter_graph_create_filter(&source, avfilter_get_by_name("buffer"), name.c_str(), args.c_str(), nullptr,
                                            g.graph.get());
      if (rc < 0) fail("cannot take input " + std::to_string(i), rc);
      g.sources.push_back(source);
      AVFilterInOut* link = avfilter_inout_alloc();
      if (!link) Fail("out of memory");
      link->name = av_strdup(name.c_str());
      link->filter_ctx = source;
      link->pad_idx = 0;
      link->next = outputs;
      outputs = link;
    }
    InOutPtr openOutputs(outputs);
    int rc = avfilter_graph_create_filter(&g.sink, avfilter_get_by_name("buffersink"), "out", nullptr, nullptr,
                                          g.graph.get());
    if (rc < 0) fail("cannot give its frames", rc);
    const AVPixelFormat formats[] = {info().pixelFormat, AV_PIX_FMT_NONE};
    rc = av_opt_set_int_list(g.sink, "pix_fmts", formats, AV_PIX_FMT_NONE, AV_OPT_SEARCH_CHILDREN);
    if (rc < 0) fail("cannot give its frames", rc);
    InOutPtr openInputs(avfilter_inout_alloc());
    if (!openInputs) Fail("out of memory");
    openInputs->name = av_strdup("out");
    openInputs->filter_ctx = g.sink;
    openInputs->pad_idx = 0;
    openInputs->next = nullptr;
    // A bare chain works on the single input.
    const std::string text =
        description_.find('[') == std::string::npos ? "[in0]" + description_ + "[out]" : description_;
    AVFilterInOut* inputsLeft = openInputs.release();
    AVFilterInOut* outputsLeft = openOutputs.release();
    rc = avfilter_graph_parse_ptr(g.graph.get(), text.c_str(), &inputsLeft, &outputsLeft, nullptr);
    InOutPtr unusedInputs(inputsLeft), unusedOutputs(outputsLeft);
    if (rc < 0) fail("cannot be used", rc);
    if (unusedInputs || unusedOutputs) fail("leaves an input or its output unconnected", 0);
    rc = avfilter_graph_config(g.graph.get(), nullptr);
    if (rc < 0) fail("cannot work on these pictures", rc);
    RefuseLostDepth(*g.graph);
    if (av_buffersink_get_w(g.sink) != info().width || av_buffersink_get_h(g.sink) != info().height)
      fail("gives " + std::to_string(av_buffersink_get_w(g.sink)) + "x" + std::to_string(av_buffersink_get_h(g.sink)) +
               " pictures where " + std::to_string(info().width) + "x" + std::to_string(info().height) + " are due",
           0);
    return g;
  }

  // libavfilter converts pictures a filter cannot take into a format it can;
  // a conversion to fewer bits than the clip's would lose what a deeper
  // picture holds, and swscale stretches deeper grey to full range on the
  // way, so the filter is refused instead.
  void RefuseLostDepth(const AVFilterGraph& graph) const {
    const int depth = av_pix_fmt_desc_get(info().pixelFormat)->comp[0].depth;
    auto deepGrey = [](int format) {
      const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(static_cast<AVPixelFormat>(format));
      return desc->nb_components <= 2 && desc->comp[0].depth > 8;
    };
    for (unsigned i = 0; i < graph.nb_filters; ++i) {
      const AVFilterContext* filter = graph.filters[i];
      if (std::string_view(filter->name).substr(0, 10) != "auto_scale" || filter->nb_outputs < 1) continue;
      const int from = filter->inputs[0]->format, to = filter->outputs[0]->format;
      if (av_pix_fmt_desc_get(static_cast<AVPixelFormat>(to))->comp[0].depth < depth || deepGrey(from) || deepGrey(to))
        Fail("the filter \"" + description_ + "\" cannot take " + DepthName(info().pixelFormat) + " pictures");
    }
  }

  bool drawsOnInput() const { return options_.drawsOnInput; }
  bool Cycled() const { return options_.cycleIn != 1 || options_.cycleOut != 1; }
  bool Counted() const { return Cycled() || options_.counted; }
  // One frame of the clip.
  AVRational TimeBase() const { return {static_cast<int>(info().fps.den), static_cast<int>(info().fps.num)}; }
  bool Works(int64_t n) const { return n >= options_.first && n <= options_.last; }
  // The cycle output frame n belongs to (the frame itself without cycles).
  int64_t CycleOf(int64_t n) const { return n / options_.cycleOut; }
  // Whether a graph whose next frame is `next` reaches frame n soon enough
  // to be fed on rather than started over.
  bool Near(int64_t next, int64_t n) const { return n >= next && CycleOf(n) - CycleOf(next) <= options_.history + 1; }
  // Where feeding starts for frame n: `history` frames (or cycles) before
  // it, within the span; and the number of the first frame that gives.
  int64_t FirstCycleFed(int64_t n) const {
    return std::max({int64_t{0}, options_.first, CycleOf(n) - options_.history});
  }
  int64_t FirstFed(int64_t n) const { return FirstCycleFed(n) * options_.cycleIn; }
  int64_t FirstOut(int64_t n) const { return FirstCycleFed(n) * options_.cycleOut; }
  // The first frame not fed: the span's or the clip's end, or input 0's.
  int64_t FedEnd() const {
    return Counted() ? input(0).info().frameCount : std::min(options_.last, info().frameCount - 1) + 1;
  }

 private:
  bool Spanned() const { return options_.first > 0 || options_.last < info().frameCount - 1; }

  std::string description_;
  GraphOptions options_;
};

// Feeds the graph in order and keeps its state while frames are asked for in
// order; any other request starts a new graph a little before the frame.
class GraphStream : public VideoStream {
 public:
  GraphStream(const GraphClip& clip, Reading& reading) : clip_(clip), inputs_(reading, clip) {}

  // A released frame is made again by starting the graph over.
  void Release(const FrameRef& frame) override { std::erase(ready_, frame); }

  FrameRef Frame(int64_t n) override {
    if (!clip_.Works(n)) return inputs_.Frame(0, n);
    for (const FrameRef& kept : ready_)
      if (kept->pts == n) return kept;
    if (!graph_.graph || !clip_.Near(nextOut_, n)) Restart(n);
    FramePtr out = AllocFrame();
    for (;;) {
      int rc = av_buffersink_get_frame(graph_.sink, out.get());
      if (rc >= 0) {
        // A counted filter's frames are numbered by their order, the others'
        // by their time (which a filter may give in a time base of its own:
        // yadif's is half the frames').
        out->pts = clip_.Counted() ? nextOut_ : av_rescale_q(out->pts, av_buffersink_get_time_base(graph_.sink), clip_.TimeBase());
        FrameRef frame = Share(std::exchange(out, AllocFrame()));
        nextOut_ = frame->pts + 1;
        if (frame->pts < n) continue;
        ready_.push_back(frame);
        if (ready_.size() > 2) ready_.pop_front();
        // A filter that gave no frame n gives its next one.
        return frame;
      }
      if (rc != AVERROR(EAGAIN)) clip_.Fail("the filter gave no frame " + std::to_string(n));
      Feed();
    }
  }

 private:
  void Restart(int64_t n) {
    graph_ = clip_.Build();
    ready_.clear();
    nextIn_ = clip_.FirstFed(n);
    nextOut_ = clip_.FirstOut(n);
  }

  // The inputs' next frames, or their end.
  void Feed() {
    if (nextIn_ >= clip_.FedEnd()) {
      for (AVFilterContext* source : graph_.sources)
        if (int rc = av_buffersrc_close(source, nextIn_, 0); rc < 0) clip_.Fail("the filter failed: " + ErrorText(rc));
      nextIn_ = INT64_MAX;
      return;
    }
    if (nextIn_ == INT64_MAX) clip_.Fail("the filter gave fewer frames than it was fed");
    for (std::size_t i = 0; i < graph_.sources.size(); ++i) {
      FramePtr frame = i == 0 && clip_.drawsOnInput() ? inputs_.FrameToDrawOn(0, nextIn_)
                                                      : Reference(*inputs_.Frame(i, nextIn_));
      frame->pts = nextIn_;
      if (int rc = av_buffersrc_add_frame_flags(graph_.sources[i], frame.get(), 0); rc < 0)
        clip_.Fail("the filter failed: " + ErrorText(rc));
    }
    ++nextIn_;
  }

  const GraphClip& clip_;
  Inputs inputs_;
  Graph graph_;
  std::deque<FrameRef> ready_;
  int64_t nextIn_ = 0, nextOut_ = 0;
};

std::unique_ptr<VideoStream> GraphClip::OpenVideo(Reading& reading) const {
  return std::make_unique<GraphStream>(*this, reading);
}

}  // namespace

ClipPtr MakeGraphClip(ClipInfo info, std::string origin, std::vector<ClipPtr> inputs, std::string description,
                      GraphOptions options) {
  return std::make_shared<GraphClip>(info, std::move(origin), std::move(inputs), std::move(description), options);
}

}  // namespace avs
