// Compare: how far a filtered clip's samples lie from an original's, frame
// by frame and over the frames read, on the picture (drawtext reads the
// figures from each frame's metadata) or in a log file.
#include "tools/engine/filter.h"
#include "tools/engine/functions/common.h"
#include "tools/engine/functions/families.h"
#include "tools/engine/functions/text_layout.h"
#include "tools/engine/graph_clip.h"

extern "C" {
#include <libavutil/dict.h>
#include <libavutil/pixdesc.h>
}

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <mutex>
#include <set>

namespace avs {

namespace {

// The PSNR of pictures without a difference, and the ceiling of any.
constexpr double kPsnrCeiling = 100.0;
// The metadata entry that carries a frame's figures to drawtext.
constexpr const char* kMetadataKey = "compare";

// The figures of one frame: over all compared samples, the filtered one
// less the original one.
struct FrameFigures {
  double meanAbsolute = 0, mean = 0, psnr = kPsnrCeiling;
  int64_t maxPositive = 0, maxNegative = 0;
  long double squares = 0;
  int64_t samples = 0;
};

double Psnr(long double squares, int64_t samples, int peak) {
  if (squares <= 0 || samples <= 0) return kPsnrCeiling;
  const long double mse = squares / static_cast<long double>(samples);
  const double psnr = static_cast<double>(10.0L * std::log10(static_cast<long double>(peak) * peak / mse));
  return std::min(psnr, kPsnrCeiling);
}

// Running minimum, sum and maximum of a figure.
struct Range {
  double min = std::numeric_limits<double>::infinity(), max = -std::numeric_limits<double>::infinity(), sum = 0;
  void Add(double value) {
    min = std::min(min, value);
    max = std::max(max, value);
    sum += value;
  }
};

// The components `channels` names ("" for all but alpha), as indexes of the
// format's descriptor: R G B A in RGB formats, Y U V A in the others.
std::vector<int> ComponentsOf(const Call& call, const AVPixFmtDescriptor& desc, const std::string& channels,
                              std::string& named) {
  const bool rgb = (desc.flags & AV_PIX_FMT_FLAG_RGB) != 0;
  const bool alpha = (desc.flags & AV_PIX_FMT_FLAG_ALPHA) != 0;
  const std::string letters = desc.nb_components <= 2 ? (alpha ? "YA" : "Y") : rgb ? (alpha ? "RGBA" : "RGB")
                                                                                  : (alpha ? "YUVA" : "YUV");
  std::string wanted;
  for (char c : channels) {
    const char upper = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (letters.find(upper) == std::string::npos)
      call.Fail(std::string("the channel ") + c + " is not one of this picture's channels " + letters);
    if (wanted.find(upper) == std::string::npos) wanted += upper;
  }
  if (wanted.empty()) wanted = letters.substr(0, letters.find('A'));
  std::vector<int> components;
  for (char c : wanted) {
    const std::size_t at = letters.find(c);
    // A grey picture with alpha keeps it as its second component.
    components.push_back(c == 'A' ? desc.nb_components - 1 : static_cast<int>(at));
  }
  named = wanted;
  return components;
}

class Comparison : public VideoFilter {
 public:
  Comparison(const Call& call, const ClipPtr& filtered, const ClipPtr& original, const std::string& channels,
             std::string logPath, bool graph)
      : VideoFilter(filtered->info(), call.origin, {filtered, original}),
        desc_(av_pix_fmt_desc_get(filtered->info().pixelFormat)),
        logPath_(std::move(logPath)),
        graph_(graph && logPath_.empty()) {
    if (!desc_ || (desc_->flags & (AV_PIX_FMT_FLAG_PAL | AV_PIX_FMT_FLAG_BITSTREAM)))
      call.Fail("cannot compare pictures of this pixel type");
    if (desc_->flags & AV_PIX_FMT_FLAG_FLOAT) call.Fail("float pictures cannot be compared");
    components_ = ComponentsOf(call, *desc_, channels, channelNames_);
    peak_ = (1 << desc_->comp[0].depth) - 1;
    columns_.assign(static_cast<std::size_t>(info().width), std::numeric_limits<double>::quiet_NaN());
    if (!logPath_.empty()) {
      Log("Compare: channels " + channelNames_ + ", the filtered clip less the original\n" +
              "frame  mean_abs_dev  mean_dev  max_pos_dev  max_neg_dev  psnr_db\n",
          false);
    }
  }

  ~Comparison() override {
    if (logPath_.empty()) return;
    // Nothing can report a failure this late: a summary that cannot be
    // written is left out.
    try {
      Log(Summary(), true);
    } catch (const ScriptError&) {
    }
  }

  const Clip& PictureOf() const override { return *this; }
  std::unique_ptr<VideoStream> OpenVideo(Reading& reading) const override {
    return FramesFrom([this, in = Inputs(reading, *this)](int64_t n) { return MakeFrame(n, in); }, true);
  }

  // The figures of two pictures of this clip's size and format.
  FrameFigures Measure(const AVFrame& filtered, const AVFrame& original) const {
    FrameFigures f;
    long double absolute = 0, signedSum = 0;
    std::vector<uint32_t> a(static_cast<std::size_t>(info().width)), b(a.size());
    bool any = false;
    for (int c : components_) {
      const bool chroma = (c == 1 || c == 2) && !(desc_->flags & AV_PIX_FMT_FLAG_RGB);
      const int w = chroma ? AV_CEIL_RSHIFT(info().width, desc_->log2_chroma_w) : info().width;
      const int h = chroma ? AV_CEIL_RSHIFT(info().height, desc_->log2_chroma_h) : info().height;
      for (int y = 0; y < h; ++y) {
        av_read_image_line2(a.data(), const_cast<const uint8_t**>(filtered.data), filtered.linesize, desc_, 0, y, c, w, 0, 4);
        av_read_image_line2(b.data(), const_cast<const uint8_t**>(original.data), original.linesize, desc_, 0, y, c, w, 0, 4);
        int64_t rowAbs = 0, rowSum = 0, rowSq = 0;
        for (int x = 0; x < w; ++x) {
          const int64_t d = static_cast<int64_t>(a[x]) - static_cast<int64_t>(b[x]);
          rowAbs += d < 0 ? -d : d;
          rowSum += d;
          rowSq += d * d;
          if (!any || d > f.maxPositive) f.maxPositive = d;
          if (!any || d < f.maxNegative) f.maxNegative = d;
          any = true;
        }
        absolute += rowAbs;
        signedSum += rowSum;
        f.squares += rowSq;
        f.samples += w;
      }
    }
    if (f.samples > 0) {
      f.meanAbsolute = static_cast<double>(absolute / f.samples);
      f.mean = static_cast<double>(signedSum / f.samples);
    }
    f.psnr = Psnr(f.squares, f.samples, peak_);
    return f;
  }

 private:
  FrameRef MakeFrame(int64_t n, const Inputs& in) const {
    FramePtr out = graph_ ? in.FrameToDrawOn(0, n) : Reference(*in.Frame(0, n));
    const FrameRef original = in.Frame(1, n);
    const FrameFigures f = Measure(*out, *original);
    std::string text;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (seen_.insert(n).second) Count(n, f);
      if (!logPath_.empty()) return Share(std::move(out));
      text = Display(n, f);
      if (graph_) DrawGraph(*out);
    }
    if (av_dict_set(&out->metadata, kMetadataKey, text.c_str(), 0) < 0) Fail("out of memory");
    return Share(std::move(out));
  }

  // A frame's figures join the running ones, once for each frame.
  void Count(int64_t n, const FrameFigures& f) const {
    meanAbsolute_.Add(f.meanAbsolute);
    mean_.Add(f.mean);
    psnr_.Add(f.psnr);
    squares_ += f.squares;
    samples_ += f.samples;
    // The frame's share of the width, at least a column.
    const int64_t width = static_cast<int64_t>(columns_.size()), frames = std::max<int64_t>(1, info().frameCount);
    const int64_t first = n * width / frames, end = std::max(first + 1, (n + 1) * width / frames);
    for (int64_t x = first; x < std::min(end, width); ++x) {
      double& column = columns_[static_cast<std::size_t>(x)];
      column = std::isnan(column) ? f.psnr : std::min(column, f.psnr);
    }
    if (!logPath_.empty()) {
      char line[160];
      std::snprintf(line, sizeof line, "%5lld  %12.4f  %+8.4f  %+11lld  %+11lld  %7.4f\n", static_cast<long long>(n),
                    f.meanAbsolute, f.mean, static_cast<long long>(f.maxPositive),
                    static_cast<long long>(f.maxNegative), f.psnr);
      Log(line, true);
    }
  }

  std::string Display(int64_t n, const FrameFigures& f) const {
    const double frames = static_cast<double>(seen_.size());
    char text[640];
    std::snprintf(text, sizeof text,
                  "Frame %lld of %lld (%s)\n"
                  "               frame      min      avg      max\n"
                  "Mean abs dev %8.4f %8.4f %8.4f %8.4f\n"
                  "Mean dev     %+8.4f %+8.4f %+8.4f %+8.4f\n"
                  "Max dev      %+lld / %+lld\n"
                  "PSNR dB      %8.4f %8.4f %8.4f %8.4f\n"
                  "Overall PSNR %8.4f dB",
                  static_cast<long long>(n), static_cast<long long>(info().frameCount), channelNames_.c_str(),
                  f.meanAbsolute, meanAbsolute_.min, meanAbsolute_.sum / frames, meanAbsolute_.max, f.mean, mean_.min,
                  mean_.sum / frames, mean_.max, static_cast<long long>(f.maxPositive),
                  static_cast<long long>(f.maxNegative), f.psnr, psnr_.min, psnr_.sum / frames, psnr_.max,
                  Psnr(squares_, samples_, peak_));
    return text;
  }

  std::string Summary() const {
    const double frames = static_cast<double>(seen_.size());
    if (seen_.empty()) return "frames compared: 0\n";
    char text[480];
    std::snprintf(text, sizeof text,
                  "frames compared: %lld\n"
                  "                         minimum    average    maximum\n"
                  "mean absolute deviation  %9.4f  %9.4f  %9.4f\n"
                  "mean deviation           %+9.4f  %+9.4f  %+9.4f\n"
                  "psnr                     %9.4f  %9.4f  %9.4f\n"
                  "overall psnr             %9.4f\n",
                  static_cast<long long>(seen_.size()), meanAbsolute_.min, meanAbsolute_.sum / frames,
                  meanAbsolute_.max, mean_.min, mean_.sum / frames, mean_.max, psnr_.min, psnr_.sum / frames,
                  psnr_.max, Psnr(squares_, samples_, peak_));
    return text;
  }

  // The PSNR of the frames read so far along the bottom, 0 to 60 dB from
  // the bottom row up, a column for each frame's share of the width.
  void DrawGraph(AVFrame& frame) const {
    const int height = std::min(info().height / 4, 64);
    if (height < 2) return;
    const bool rgb = (desc_->flags & AV_PIX_FMT_FLAG_RGB) != 0;
    const int depth = desc_->comp[0].depth;
    for (std::size_t x = 0; x < columns_.size(); ++x) {
      if (std::isnan(columns_[x])) continue;
      const double share = std::clamp(columns_[x], 0.0, 60.0) / 60.0;
      const int y = info().height - 1 - static_cast<int>(std::lround(share * (height - 1)));
      for (int c = 0; c < desc_->nb_components; ++c) {
        const bool alpha = (desc_->flags & AV_PIX_FMT_FLAG_ALPHA) && c == desc_->nb_components - 1;
        if (alpha) continue;
        const bool chroma = !rgb && c > 0;
        const int cx = chroma ? static_cast<int>(x) >> desc_->log2_chroma_w : static_cast<int>(x);
        const int cy = chroma ? y >> desc_->log2_chroma_h : y;
        const uint16_t value = static_cast<uint16_t>(rgb ? (1 << depth) - 1 : chroma ? 1 << (depth - 1)
                                                                                      : 235 << (depth - 8));
        av_write_image_line2(&value, frame.data, frame.linesize, desc_, cx, cy, c, 1, 2);
      }
    }
  }

  void Log(const std::string& text, bool append) const { WriteToFile(logPath_, text, append, origin() + ": Compare"); }

  const AVPixFmtDescriptor* desc_;
  std::vector<int> components_;
  std::string channelNames_;
  int peak_ = 255;
  std::string logPath_;
  bool graph_;
  mutable std::mutex mutex_;
  mutable std::set<int64_t> seen_;
  mutable Range meanAbsolute_, mean_, psnr_;
  mutable long double squares_ = 0;
  mutable int64_t samples_ = 0;
  mutable std::vector<double> columns_;  // the lowest PSNR of the frames in each column
};

Value Compare(Call& call) {
  const ClipInfo& a = VideoOf(call, 0);
  const ClipInfo& b = VideoOf(call, 1);
  if (a.width != b.width || a.height != b.height) call.Fail("the two clips must have the same size");
  if (a.pixelFormat != b.pixelFormat) call.Fail("the two clips must have the same pixel type");
  const std::string log = call.args[3].defined() && !call.String(3, "").empty() ? call.Path(call.String(3, "")) : "";
  auto comparison =
      std::make_shared<Comparison>(call, call.Clip(0), call.Clip(1), call.String(2, ""), log, call.Bool(4, true));
  if (!log.empty()) return ClipPtr(comparison);
  // The figures at the top left, in a monospaced font with a thin halo.
  const double size = std::clamp(a.width / 28.0, 6.0, 15.0);
  const std::string draw = "drawtext=font=" + EscapeFilterOption("monospace") + ":fontsize=" + std::to_string(size) +
                           ":fontcolor=0xFFFF00FF:borderw=1:bordercolor=0x000000FF:expansion=normal:text=" +
                           EscapeFilterOption(std::string("%{metadata:") + kMetadataKey + "}") + ":x=4:y=4";
  GraphOptions options;
  options.drawsOnInput = true;
  return MakeGraphClip(a, call.origin, {comparison}, "[in0]" + EscapeGraphSegment(draw) + "[out]", options);
}

}  // namespace

void RegisterCompareFunction(FunctionTable& table) {
  table["compare"] = {"clip_filtered:c clip_original:c ?channels:s ?logfile:s ?show_graph:b", Compare};
}

}  // namespace avs
