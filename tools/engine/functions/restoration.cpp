// Pixel restoration: samples averaged with their like neighbours in time
// (TemporalSoften) or in the picture (SpatialSoften), a general convolution
// with its matrix, FixBrokenChromaUpsampling's swap of chroma rows and
// FixLuminance's darkening of the top rows.
#include "tools/engine/functions/channels.h"
#include "tools/engine/functions/common.h"
#include "tools/engine/functions/families.h"

extern "C" {
#include <libavutil/pixdesc.h>
}

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <sstream>

namespace avs {

namespace {

using K = ChannelKind;

bool IsChroma(K kind) { return kind == K::U || kind == K::V; }

int64_t Threshold(const Call& call, std::size_t i, const char* name) {
  const int64_t value = call.Int(i, 0);
  if (value < 0 || value > 255) call.Fail(std::string(name) + " must be from 0 to 255");
  return value;
}

// The mean of the samples, rounded to nearest.
uint8_t Mean(int sum, int count) { return static_cast<uint8_t>((2 * sum + count) / (2 * count)); }

// ------------------------------------------------------------ TemporalSoften

// Each sample the mean of the samples at its place in the frames up to
// `radius` away whose values lie within the channel's threshold of it. With
// a scene change threshold, a frame whose luma differs from frame n by more
// than that on average (and every frame beyond it) is left out.
class TemporalSoftenClip : public PictureFilter {
 public:
  TemporalSoftenClip(const Call& call, int radius, int lumaThreshold, int chromaThreshold, int sceneChange)
      : PictureFilter(VideoOf(call, 0), call.origin, {call.Clip(0)}),
        radius_(radius), luma_(lumaThreshold), chroma_(chromaThreshold), sceneChange_(sceneChange),
        channels_(ChannelsOf(info().pixelFormat, info().width, info().height)) {}

  FrameRef MakeFrame(int64_t n, const Inputs& in) const override {
    const FrameRef centre = in.Frame(0, n);
    std::vector<FrameRef> frames = {centre};
    for (int direction : {-1, 1})
      for (int d = 1; d <= radius_; ++d) {
        FrameRef frame = in.Frame(0, n + direction * d);
        if (sceneChange_ > 0 && LumaDifference(*centre, *frame) > sceneChange_) break;
        frames.push_back(std::move(frame));
      }
    FramePtr out = NewFrame(*centre);
    for (const Channel& channel : channels_) {
      const int threshold = channel.kind == K::A ? 0 : (IsChroma(channel.kind) ? chroma_ : luma_);
      for (int y = 0; y < channel.height; ++y) {
        uint8_t* to = channel.Row(*out, y);
        const uint8_t* middle = channel.Row(*centre, y);
        for (int x = 0, i = 0; x < channel.width; ++x, i += channel.step) {
          const int v = middle[i];
          int sum = 0, count = 0;
          for (const FrameRef& frame : frames) {
            const int w = channel.Row(*frame, y)[i];
            if (std::abs(w - v) <= threshold) {
              sum += w;
              ++count;
            }
          }
          to[i] = Mean(sum, count);
        }
      }
    }
    return Share(std::move(out));
  }

 private:
  // The mean absolute difference of the luma (or the first channel) of two
  // frames.
  double LumaDifference(const AVFrame& a, const AVFrame& b) const { return MeanDifference(channels_[0], a, b); }

  int radius_, luma_, chroma_, sceneChange_;
  std::vector<Channel> channels_;
};

Value TemporalSoften(Call& call) {
  RequireEightBit(call, VideoOf(call, 0));
  const int64_t radius = call.Int(1, 0);
  if (radius < 0 || radius > 7) call.Fail("radius must be from 0 to 7");
  const int64_t mode = call.Int(5, 1);
  if (mode != 1 && mode != 2) call.Fail("mode must be 1 or 2");
  const int64_t sceneChange = call.Int(4, 0);
  if (sceneChange < 0 || sceneChange > 255) call.Fail("scenechange must be from 0 to 255");
  const int luma = static_cast<int>(Threshold(call, 2, "luma_threshold"));
  const int chroma = static_cast<int>(Threshold(call, 3, "chroma_threshold"));
  if (radius == 0 || (luma == 0 && chroma == 0)) return call.Clip(0);
  return std::make_shared<TemporalSoftenClip>(call, static_cast<int>(radius), luma, chroma,
                                              static_cast<int>(sceneChange));
}

// ------------------------------------------------------------ SpatialSoften

// YUY2 only: each pixel the mean of the pixels up to `radius` away (within
// the picture) whose luma and both chroma samples lie within the thresholds
// of its own; a chroma pair is its left pixel's.
class SpatialSoftenClip : public PictureFilter {
 public:
  SpatialSoftenClip(const Call& call, int radius, int lumaThreshold, int chromaThreshold)
      : PictureFilter(VideoOf(call, 0), call.origin, {call.Clip(0)}),
        radius_(radius), luma_(lumaThreshold), chroma_(chromaThreshold) {}

  FrameRef MakeFrame(int64_t n, const Inputs& in) const override {
    const FrameRef source = in.Frame(0, n);
    FramePtr out = NewFrame(*source);
    const int width = info().width, height = info().height;
    auto pixel = [&](int x, int y, int which) {
      const uint8_t* row = source->data[0] + static_cast<std::ptrdiff_t>(y) * source->linesize[0];
      return which == 0 ? row[2 * x] : row[4 * (x / 2) + (which == 1 ? 1 : 3)];
    };
    for (int y = 0; y < height; ++y) {
      uint8_t* to = out->data[0] + static_cast<std::ptrdiff_t>(y) * out->linesize[0];
      for (int x = 0; x < width; ++x) {
        const int cy = pixel(x, y, 0), cu = pixel(x, y, 1), cv = pixel(x, y, 2);
        int sum[3] = {}, count = 0;
        for (int yy = std::max(0, y - radius_); yy <= std::min(height - 1, y + radius_); ++yy)
          for (int xx = std::max(0, x - radius_); xx <= std::min(width - 1, x + radius_); ++xx) {
            const int py = pixel(xx, yy, 0), pu = pixel(xx, yy, 1), pv = pixel(xx, yy, 2);
            if (std::abs(py - cy) <= luma_ && std::abs(pu - cu) <= chroma_ && std::abs(pv - cv) <= chroma_) {
              sum[0] += py;
              sum[1] += pu;
              sum[2] += pv;
              ++count;
            }
          }
        to[2 * x] = Mean(sum[0], count);
        if (x % 2 == 0) {
          to[2 * x + 1] = Mean(sum[1], count);
          to[2 * x + 3] = Mean(sum[2], count);
        }
      }
    }
    return Share(std::move(out));
  }

 private:
  int radius_, luma_, chroma_;
};

Value SpatialSoften(Call& call) {
  const ClipInfo& info = VideoOf(call, 0);
  if (info.pixelFormat != AV_PIX_FMT_YUYV422) call.Fail("needs a YUY2 clip (ConvertToYUY2 first)");
  const int64_t radius = call.Int(1, 0);
  if (radius < 0 || radius > 16) call.Fail("radius must be from 0 to 16");
  const int luma = static_cast<int>(Threshold(call, 2, "luma_threshold"));
  const int chroma = static_cast<int>(Threshold(call, 3, "chroma_threshold"));
  if (radius == 0) return call.Clip(0);
  return std::make_shared<SpatialSoftenClip>(call, static_cast<int>(radius), luma, chroma);
}

// ------------------------------------------------------- GeneralConvolution

// The matrix laid over each sample (its middle on the sample, edge samples
// repeated beyond the picture): the weighted sum, divided by the sum of the
// weights when `auto` and that is not 0, then by `divisor`, plus `bias`,
// rounded and clamped. luma, chroma and alpha choose the channels.
class ConvolutionClip : public PictureFilter {
 public:
  ConvolutionClip(const Call& call, std::vector<int> matrix, double scale, double bias, std::array<bool, 3> which)
      : PictureFilter(VideoOf(call, 0), call.origin, {call.Clip(0)}), matrix_(std::move(matrix)), scale_(scale),
        bias_(bias) {
    for (const Channel& channel : ChannelsOf(info().pixelFormat, info().width, info().height)) {
      const bool chosen = channel.kind == K::A ? which[2] : (IsChroma(channel.kind) ? which[1] : which[0]);
      (chosen ? convolved_ : copied_).push_back(channel);
    }
    side_ = static_cast<int>(std::lround(std::sqrt(static_cast<double>(matrix_.size()))));
  }

  FrameRef MakeFrame(int64_t n, const Inputs& in) const override {
    const FrameRef source = in.Frame(0, n);
    FramePtr out = NewFrame(*source);
    for (const Channel& channel : copied_)
      for (int y = 0; y < channel.height; ++y) {
        const uint8_t* from = channel.Row(*source, y);
        uint8_t* to = channel.Row(*out, y);
        for (int x = 0, i = 0; x < channel.width; ++x, i += channel.step) to[i] = from[i];
      }
    const int half = side_ / 2;
    std::vector<const uint8_t*> rows(static_cast<std::size_t>(side_));
    for (const Channel& channel : convolved_)
      for (int y = 0; y < channel.height; ++y) {
        for (int r = 0; r < side_; ++r)
          rows[static_cast<std::size_t>(r)] = channel.Row(*source, std::clamp(y + r - half, 0, channel.height - 1));
        uint8_t* to = channel.Row(*out, y);
        for (int x = 0; x < channel.width; ++x) {
          int64_t sum = 0;
          for (int r = 0; r < side_; ++r)
            for (int c = 0; c < side_; ++c)
              sum += int64_t{matrix_[static_cast<std::size_t>(r * side_ + c)]} *
                     rows[static_cast<std::size_t>(r)][std::clamp(x + c - half, 0, channel.width - 1) * channel.step];
          const double value = static_cast<double>(sum) * scale_ + bias_ + 0.5;
          to[x * channel.step] = static_cast<uint8_t>(std::clamp(std::floor(value), 0.0, 255.0));
        }
      }
    return Share(std::move(out));
  }

 private:
  std::vector<int> matrix_;
  double scale_, bias_;
  int side_ = 3;
  std::vector<Channel> convolved_, copied_;
};

Value GeneralConvolution(Call& call) {
  RequireEightBit(call, VideoOf(call, 0));
  std::istringstream words(call.String(2, "0 0 0 0 1 0 0 0 0"));
  std::vector<int> matrix;
  std::string word;
  while (words >> word) {
    int value = 0;
    auto [end, ec] = std::from_chars(word.data(), word.data() + word.size(), value);
    if (ec != std::errc() || end != word.data() + word.size() || value < -256 || value > 256)
      call.Fail("the matrix holds \"" + word + "\", not a whole number from -256 to 256");
    matrix.push_back(value);
  }
  if (matrix.size() != 9 && matrix.size() != 25 && matrix.size() != 49 && matrix.size() != 81)
    call.Fail("the matrix must hold 9, 25, 49 or 81 numbers (3x3 to 9x9), not " + std::to_string(matrix.size()));
  const double divisor = call.Float(3, 1.0);
  if (!std::isfinite(divisor) || divisor == 0) call.Fail("divisor must be a number other than 0");
  const double bias = call.Float(1, 0.0);
  if (!std::isfinite(bias) || std::fabs(bias) > 1e6) call.Fail("bias must be a moderate number");
  int total = 0;
  for (int v : matrix) total += v;
  const bool autoScale = call.Bool(4, true) && total != 0;
  const double scale = 1.0 / divisor / (autoScale ? total : 1);
  return std::make_shared<ConvolutionClip>(call, std::move(matrix), scale, bias,
                                           std::array<bool, 3>{call.Bool(5, true), call.Bool(6, true), call.Bool(7, true)});
}

// ---------------------------------------------- FixBrokenChromaUpsampling

// YUY2's chroma of the two middle rows of every four swapped back.
class ChromaRowSwapClip : public PictureFilter {
 public:
  explicit ChromaRowSwapClip(const Call& call) : PictureFilter(VideoOf(call, 0), call.origin, {call.Clip(0)}) {}

  FrameRef MakeFrame(int64_t n, const Inputs& in) const override {
    const FrameRef source = in.Frame(0, n);
    FramePtr out = NewFrame(*source);
    const int bytes = 2 * info().width;
    for (int y = 0; y < info().height; ++y) {
      const int from = y % 4 == 1 && y + 1 < info().height ? y + 1 : (y % 4 == 2 ? y - 1 : y);
      const uint8_t* luma = source->data[0] + static_cast<std::ptrdiff_t>(y) * source->linesize[0];
      const uint8_t* chroma = source->data[0] + static_cast<std::ptrdiff_t>(from) * source->linesize[0];
      uint8_t* to = out->data[0] + static_cast<std::ptrdiff_t>(y) * out->linesize[0];
      for (int i = 0; i < bytes; i += 2) {
        to[i] = luma[i];
        to[i + 1] = chroma[i + 1];
      }
    }
    return Share(std::move(out));
  }
};

Value FixBrokenChromaUpsampling(Call& call) {
  if (VideoOf(call, 0).pixelFormat != AV_PIX_FMT_YUYV422) call.Fail("needs a YUY2 clip");
  return std::make_shared<ChromaRowSwapClip>(call);
}

// ---------------------------------------------------------- FixLuminance

// YUY2's luma darkened towards the top: row y above `intercept` by
// (intercept - y) / slope, rounded down, stopping at 0.
class DarkenedTopClip : public PictureFilter {
 public:
  DarkenedTopClip(const Call& call, int64_t intercept, int64_t slope)
      : PictureFilter(VideoOf(call, 0), call.origin, {call.Clip(0)}), intercept_(intercept), slope_(slope) {}

  FrameRef MakeFrame(int64_t n, const Inputs& in) const override {
    const FrameRef source = in.Frame(0, n);
    FramePtr out = NewFrame(*source);
    const int bytes = 2 * info().width;
    for (int y = 0; y < info().height; ++y) {
      const int64_t darker = y < intercept_ ? (intercept_ - y) / slope_ : 0;
      const uint8_t* from = source->data[0] + static_cast<std::ptrdiff_t>(y) * source->linesize[0];
      uint8_t* to = out->data[0] + static_cast<std::ptrdiff_t>(y) * out->linesize[0];
      for (int i = 0; i < bytes; i += 2) {
        to[i] = static_cast<uint8_t>(std::max<int64_t>(0, from[i] - darker));
        to[i + 1] = from[i + 1];
      }
    }
    return Share(std::move(out));
  }

 private:
  int64_t intercept_, slope_;
};

Value FixLuminance(Call& call) {
  if (VideoOf(call, 0).pixelFormat != AV_PIX_FMT_YUYV422) call.Fail("needs a YUY2 clip");
  const int64_t intercept = call.Int(1, 0), slope = call.Int(2, 1);
  if (intercept < 0) call.Fail("intercept cannot be negative");
  if (slope < 1) call.Fail("slope must be 1 or more");
  return std::make_shared<DarkenedTopClip>(call, intercept, slope);
}

}  // namespace

void RegisterRestorationFunctions(FunctionTable& table) {
  table["temporalsoften"] = {
      "clip:c radius:i luma_threshold:i chroma_threshold:i ?scenechange:i ?mode:i", TemporalSoften};
  table["spatialsoften"] = {"clip:c radius:i luma_threshold:i chroma_threshold:i", SpatialSoften};
  table["generalconvolution"] = {
      "clip:c ?bias:f ?matrix:s ?divisor:f ?auto:b ?luma:b ?chroma:b ?alpha:b", GeneralConvolution};
  table["fixbrokenchromaupsampling"] = {"clip:c", FixBrokenChromaUpsampling};
  table["fixluminance"] = {"clip:c intercept:i slope:i", FixLuminance};
}

}  // namespace avs
