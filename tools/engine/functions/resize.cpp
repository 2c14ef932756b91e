// The resizers. Whole pictures go through swscale; a source window, whole
// or fractional, goes through a separable resampler of our own, which reads
// the pixels around the window as far as the kernel reaches.
#include "tools/engine/functions/resize.h"

#include "tools/engine/functions/channels.h"
#include "tools/engine/functions/common.h"
#include "tools/engine/functions/families.h"
#include "tools/engine/pixel_format.h"
#include "tools/engine/scale.h"

extern "C" {
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <cmath>
#include <numbers>
#include <type_traits>

namespace avs {

namespace {

constexpr int kWeightBits = 14;
constexpr int kWeightOne = 1 << kWeightBits;

// For each output sample of one axis: the source samples it reads and their
// weights in 1/kWeightOne, `taps` of them from `start`.
struct AxisProgram {
  int taps = 1;
  std::vector<int> start;
  std::vector<int32_t> weights;
};

AxisProgram MakeProgram(int inSize, int outSize, double windowStart, double windowSize, const ResizeKernel& kernel) {
  const double scale = windowSize / outSize;
  // A reduction stretches the kernel over the output's coarser samples.
  const double stretch = kernel.point ? 1.0 : std::max(1.0, scale);
  const double reach = kernel.support * stretch;
  std::vector<int> lows(outSize);
  std::vector<std::vector<double>> rows(outSize);
  int taps = 1;
  for (int i = 0; i < outSize; ++i) {
    // Sample j covers [j, j + 1) of the source; output sample i's centre
    // falls at `center` there.
    const double center = windowStart + (i + 0.5) * scale;
    auto clampIndex = [inSize](int64_t j) { return static_cast<int>(std::clamp<int64_t>(j, 0, inSize - 1)); };
    const int nearest = clampIndex(static_cast<int64_t>(std::floor(center)));
    if (kernel.point) {
      lows[i] = nearest;
      rows[i] = {1.0};
      continue;
    }
    const auto first = static_cast<int64_t>(std::ceil(center - reach - 0.5));
    const auto last = static_cast<int64_t>(std::floor(center + reach - 0.5));
    const int lo = clampIndex(first), hi = clampIndex(last);
    std::vector<double> row(static_cast<std::size_t>(hi - lo + 1));
    double sum = 0;
    for (int64_t j = first; j <= last; ++j) {
      const double w = kernel.weight((static_cast<double>(j) + 0.5 - center) / stretch);
      row[static_cast<std::size_t>(clampIndex(j) - lo)] += w;
      sum += w;
    }
    if (std::fabs(sum) < 1e-9) {
      lows[i] = nearest;
      rows[i] = {1.0};
      continue;
    }
    for (double& w : row) w /= sum;
    lows[i] = lo;
    rows[i] = std::move(row);
    taps = std::max(taps, hi - lo + 1);
  }
  AxisProgram program;
  program.taps = std::min(taps, inSize);
  program.start.resize(static_cast<std::size_t>(outSize));
  program.weights.assign(static_cast<std::size_t>(outSize) * program.taps, 0);
  for (int i = 0; i < outSize; ++i) {
    const int start = std::min(lows[i], inSize - program.taps);
    program.start[i] = start;
    int32_t* weights = &program.weights[static_cast<std::size_t>(i) * program.taps];
    int32_t total = 0;
    int largest = 0;
    for (std::size_t k = 0; k < rows[i].size(); ++k) {
      const int slot = lows[i] - start + static_cast<int>(k);
      weights[slot] = static_cast<int32_t>(std::lround(rows[i][k] * kWeightOne));
      total += weights[slot];
      if (std::abs(weights[slot]) > std::abs(weights[largest])) largest = slot;
    }
    // The rounded weights still sum to one, so that flat areas stay flat.
    weights[largest] += kWeightOne - total;
  }
  return program;
}

// How samples of type T are summed and stored: integers in fixed point and
// clamped to the format's range, floats as they come.
template <class T>
struct Accumulation {
  using Sum = std::conditional_t<sizeof(T) == 1, int32_t, int64_t>;
  static constexpr Sum kStart = kWeightOne / 2;
  static Sum Weigh(int32_t weight, T sample) { return static_cast<Sum>(weight) * sample; }
  static T Store(Sum sum, int highest) {
    return static_cast<T>(std::clamp<Sum>(sum >> kWeightBits, 0, highest));
  }
};
template <>
struct Accumulation<float> {
  using Sum = float;
  static constexpr Sum kStart = 0;
  static Sum Weigh(int32_t weight, float sample) { return static_cast<float>(weight) * sample; }
  static float Store(Sum sum, int) { return sum / kWeightOne; }
};

// One plane of `components` interleaved samples a pixel.
struct PlaneView {
  const uint8_t* data;
  std::ptrdiff_t stride;
  int width, height;
};

template <class T>
const T* RowOf(const PlaneView& plane, int y) {
  return reinterpret_cast<const T*>(plane.data + static_cast<std::ptrdiff_t>(y) * plane.stride);
}

template <class T>
void ResampleRows(const PlaneView& in, uint8_t* out, std::ptrdiff_t outStride, int outWidth, int components,
                  const AxisProgram& program, int highest) {
  using A = Accumulation<T>;
  for (int y = 0; y < in.height; ++y) {
    const T* from = RowOf<T>(in, y);
    T* to = reinterpret_cast<T*>(out + y * outStride);
    for (int x = 0; x < outWidth; ++x) {
      const int32_t* weights = &program.weights[static_cast<std::size_t>(x) * program.taps];
      const T* source = from + static_cast<std::ptrdiff_t>(program.start[x]) * components;
      for (int c = 0; c < components; ++c) {
        typename A::Sum sum = A::kStart;
        for (int t = 0; t < program.taps; ++t) sum += A::Weigh(weights[t], source[t * components + c]);
        to[x * components + c] = A::Store(sum, highest);
      }
    }
  }
}

template <class T>
void ResampleColumns(const PlaneView& in, uint8_t* out, std::ptrdiff_t outStride, int outHeight, int rowSamples,
                     const AxisProgram& program, int highest) {
  using A = Accumulation<T>;
  std::vector<typename A::Sum> sums(static_cast<std::size_t>(rowSamples));
  for (int y = 0; y < outHeight; ++y) {
    std::fill(sums.begin(), sums.end(), A::kStart);
    const int32_t* weights = &program.weights[static_cast<std::size_t>(y) * program.taps];
    for (int t = 0; t < program.taps; ++t) {
      const T* row = RowOf<T>(in, program.start[y] + t);
      const int32_t w = weights[t];
      for (int i = 0; i < rowSamples; ++i) sums[i] += A::Weigh(w, row[i]);
    }
    T* to = reinterpret_cast<T*>(out + y * outStride);
    for (int i = 0; i < rowSamples; ++i) to[i] = A::Store(sums[i], highest);
  }
}

class WindowedResizeClip : public PictureFilter {
 public:
  WindowedResizeClip(const ClipInfo& info, std::string origin, ClipPtr source, const ResizeKernel& kernel,
                     const std::array<SourceWindow, 2>& windows, bool forceHorizontal, bool forceVertical)
      : PictureFilter(info, std::move(origin), {source}) {
    const ClipInfo& in = source->info();
    const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(in.pixelFormat);
    components_ = IsPlanar(in.pixelFormat) ? 1 : desc->nb_components;
    planes_ = av_pix_fmt_count_planes(in.pixelFormat);
    bytes_ = BytesPerComponent(in.pixelFormat);
    highest_ = IsFloatFormat(in.pixelFormat) ? 0 : (1 << BitsPerComponent(in.pixelFormat)) - 1;
    for (const SourceWindow& w : windows) {
      horizontal_ = horizontal_ || forceHorizontal || w.left != 0 || w.width != in.width || info.width != in.width;
      vertical_ = vertical_ || forceVertical || w.top != 0 || w.height != in.height || info.height != in.height;
    }
    for (int parity = 0; parity < 2; ++parity)
      for (int plane = 0; plane < planes_; ++plane) {
        const bool chroma = plane == 1 || plane == 2;
        const int cw = chroma ? desc->log2_chroma_w : 0, ch = chroma ? desc->log2_chroma_h : 0;
        const SourceWindow& w = windows[parity];
        programs_[parity][plane][0] = MakeProgram(in.width >> cw, info.width >> cw, w.left / (1 << cw),
                                                  w.width / (1 << cw), kernel);
        programs_[parity][plane][1] = MakeProgram(in.height >> ch, info.height >> ch, w.top / (1 << ch),
                                                  w.height / (1 << ch), kernel);
      }
  }

  FrameRef MakeFrame(int64_t n, const Inputs& in) const override {
    const FrameRef source = in.Frame(0, n);
    FramePtr out = NewFrame(*source);
    switch (bytes_) {
      case 1: Resample<uint8_t>(*source, *out, n, in.Info(0)); break;
      case 2: Resample<uint16_t>(*source, *out, n, in.Info(0)); break;
      default: Resample<float>(*source, *out, n, in.Info(0)); break;
    }
    return Share(std::move(out));
  }

 private:
  template <class T>
  void Resample(const AVFrame& source, AVFrame& out, int64_t n, const ClipInfo& from) const {
    const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(from.pixelFormat);
    std::vector<uint8_t> between;
    for (int plane = 0; plane < planes_; ++plane) {
      const bool chroma = plane == 1 || plane == 2;
      const int cw = chroma ? desc->log2_chroma_w : 0, ch = chroma ? desc->log2_chroma_h : 0;
      const auto& programs = programs_[n % 2][plane];
      PlaneView view{source.data[plane], source.linesize[plane], from.width >> cw, from.height >> ch};
      const int outWidth = info().width >> cw, outHeight = info().height >> ch;
      if (horizontal_) {
        const std::ptrdiff_t stride = static_cast<std::ptrdiff_t>(outWidth) * components_ * bytes_;
        uint8_t* target = out.data[plane];
        std::ptrdiff_t targetStride = out.linesize[plane];
        if (vertical_) {
          between.resize(static_cast<std::size_t>(stride) * view.height);
          target = between.data();
          targetStride = stride;
        }
        ResampleRows<T>(view, target, targetStride, outWidth, components_, programs[0], highest_);
        view = {target, targetStride, outWidth, view.height};
      }
      if (vertical_)
        ResampleColumns<T>(view, out.data[plane], out.linesize[plane], outHeight, outWidth * components_, programs[1],
                           highest_);
    }
  }

  int components_ = 1, planes_ = 1, bytes_ = 1, highest_ = 255;
  bool horizontal_ = false, vertical_ = false;
  AxisProgram programs_[2][4][2];  // by frame parity, plane, axis
};

}  // namespace

ResizeKernel BicubicKernel(double b, double c) {
  // Mitchell and Netravali's two-part cubic.
  return {2, [b, c](double x) {
            x = std::fabs(x);
            if (x < 1) return ((12 - 9 * b - 6 * c) * x * x * x + (-18 + 12 * b + 6 * c) * x * x + (6 - 2 * b)) / 6;
            if (x < 2)
              return ((-b - 6 * c) * x * x * x + (6 * b + 30 * c) * x * x + (-12 * b - 48 * c) * x + (8 * b + 24 * c)) / 6;
            return 0.0;
          }};
}

ClipPtr MakeWindowedResize(const std::string& origin, const ClipPtr& source, int width, int height,
                           const ResizeKernel& kernel, const std::array<SourceWindow, 2>& windows, bool forceHorizontal,
                           bool forceVertical) {
  ClipInfo info = source->info();
  info.width = width;
  info.height = height;
  // YUY2 is resampled as the planar YV16 it packs.
  if (info.pixelFormat == AV_PIX_FMT_YUYV422) {
    ClipInfo planar = source->info();
    planar.pixelFormat = AV_PIX_FMT_YUV422P;
    ClipPtr unpacked = MakeScaledClip(planar, origin, source, SWS_POINT, Matrix::Rec601);
    ClipPtr resized = MakeWindowedResize(origin, unpacked, width, height, kernel, windows, forceHorizontal, forceVertical);
    return MakeScaledClip(info, origin, resized, SWS_POINT, Matrix::Rec601);
  }
  return std::make_shared<WindowedResizeClip>(info, origin, source, kernel, windows, forceHorizontal, forceVertical);
}

namespace {

double Sinc(double x) {
  if (x == 0) return 1;
  x *= std::numbers::pi;
  return std::sin(x) / x;
}

// The cubic pieces of the spline resizers, from 0 outwards, each a
// polynomial in the distance from the start of its piece.
ResizeKernel SplineKernel(std::vector<std::array<double, 4>> pieces) {
  const double support = static_cast<double>(pieces.size());
  return {support, [pieces = std::move(pieces)](double x) {
            x = std::fabs(x);
            const auto piece = static_cast<std::size_t>(x);
            if (piece >= pieces.size()) return 0.0;
            const auto& p = pieces[piece];
            const double t = x - static_cast<double>(piece);
            return ((p[0] * t + p[1]) * t + p[2]) * t + p[3];
          }};
}

enum class Family { Point, Bilinear, Bicubic, Lanczos, Lanczos4, Blackman, Spline16, Spline36, Spline64, Gauss, Sinc };

// The kernel and its swscale counterpart for a call; `tuning` is the index
// of the first tuning argument.
std::pair<ResizeKernel, ScaleMethod> KernelFor(const Call& call, Family family, std::size_t tuning) {
  auto taps = [&](std::size_t i, int fallback, int most) {
    const int64_t value = call.Int(i, fallback);
    if (value < 1 || value > most) call.Fail("taps must be between 1 and " + std::to_string(most));
    return static_cast<int>(value);
  };
  switch (family) {
    case Family::Point: return {{0.5, nullptr, true}, SWS_POINT};
    case Family::Bilinear:
      return {{1, [](double x) { return std::max(0.0, 1 - std::fabs(x)); }}, SWS_BILINEAR};
    case Family::Bicubic: {
      const double b = call.Float(3, 1.0 / 3), c = call.Float(4, 1.0 / 3);
      if (!std::isfinite(b) || !std::isfinite(c)) call.Fail("b and c must be numbers");
      ScaleMethod method(SWS_BICUBIC);
      method.params[0] = b;
      method.params[1] = c;
      return {BicubicKernel(b, c), method};
    }
    case Family::Lanczos:
    case Family::Lanczos4:
    case Family::Blackman:
    case Family::Sinc: {
      const int n = family == Family::Lanczos4 ? 4
                    : family == Family::Lanczos ? taps(tuning, 3, 100)
                    : family == Family::Blackman ? taps(tuning, 4, 100)
                                                 : taps(tuning, 4, 150);
      ScaleMethod method(family == Family::Sinc ? SWS_SINC : SWS_LANCZOS);
      method.params[0] = n;
      std::function<double(double)> weight;
      if (family == Family::Sinc) weight = [n](double x) { return std::fabs(x) < n ? Sinc(x) : 0.0; };
      else if (family == Family::Blackman)
        weight = [n](double x) {
          if (std::fabs(x) >= n) return 0.0;
          const double a = std::numbers::pi * x / n;
          return Sinc(x) * (0.42 + 0.5 * std::cos(a) + 0.08 * std::cos(2 * a));
        };
      else weight = [n](double x) { return std::fabs(x) < n ? Sinc(x) * Sinc(x / n) : 0.0; };
      return {{static_cast<double>(n), weight}, method};
    }
    case Family::Spline16:
      return {SplineKernel({{1, -9.0 / 5, -1.0 / 5, 1}, {-1.0 / 3, 4.0 / 5, -7.0 / 15, 0}}), SWS_SPLINE};
    case Family::Spline36:
      return {SplineKernel({{13.0 / 11, -453.0 / 209, -3.0 / 209, 1},
                            {-6.0 / 11, 270.0 / 209, -156.0 / 209, 0},
                            {1.0 / 11, -45.0 / 209, 26.0 / 209, 0}}),
              SWS_SPLINE};
    case Family::Spline64:
      return {SplineKernel({{49.0 / 41, -6387.0 / 2911, -3.0 / 2911, 1},
                            {-24.0 / 41, 4032.0 / 2911, -2328.0 / 2911, 0},
                            {6.0 / 41, -1008.0 / 2911, 582.0 / 2911, 0},
                            {-1.0 / 41, 168.0 / 2911, -97.0 / 2911, 0}}),
              SWS_SPLINE};
    case Family::Gauss: {
      const double p = call.Float(tuning, 30);
      if (!std::isfinite(p)) call.Fail("p must be a number");
      // p, from 1 (soft) to 100 (sharp), is the kernel's falloff in tenths.
      const double falloff = std::clamp(p, 0.1, 100.0) / 10;
      ScaleMethod method(SWS_GAUSS);
      method.params[0] = falloff;
      return {{4, [falloff](double x) { return std::exp2(-falloff * x * x); }}, method};
    }
  }
  call.Fail("unknown resizer");
}

// A window coordinate: finite and within reach of any picture.
double WindowValue(const Call& call, std::size_t i, double fallback) {
  const double value = call.Float(i, fallback);
  if (!std::isfinite(value) || std::fabs(value) > kMaxPictureSide) call.Fail("the source window is out of range");
  return value;
}

Function MakeResizer(Family family, const char* extras) {
  const bool bicubic = family == Family::Bicubic;
  std::string params = "clip:c target_width:i target_height:i ";
  if (bicubic) params += "?b:f ?c:f ";
  params += "?src_left:f ?src_top:f ?src_width:f ?src_height:f ";
  params += extras;
  params += "?force:i";
  return {params, [family, bicubic](Call& call) -> Value {
            const ClipInfo& in = VideoOf(call, 0);
            const int64_t width = call.Int(1, 0), height = call.Int(2, 0);
            CheckSize(call, width, height, in.pixelFormat);
            const std::size_t window = bicubic ? 5 : 3, tuning = window + 4, force = call.args.size() - 1;
            auto [kernel, method] = KernelFor(call, family, tuning);
            const int64_t forced = call.Int(force, 0);
            if (forced < 0 || forced > 3) call.Fail("force must be 0, 1, 2 or 3");
            bool windowed = false;
            for (std::size_t i = window; i < window + 4; ++i) windowed = windowed || call.args[i].defined();
            if (!windowed && forced == 0) {
              if (width == in.width && height == in.height) return call.Clip(0);
              ClipInfo info = in;
              info.width = static_cast<int>(width);
              info.height = static_cast<int>(height);
              return MakeScaledClip(info, call.origin, call.Clip(0), method, Matrix::Rec601);
            }
            SourceWindow w;
            w.left = WindowValue(call, window, 0);
            w.top = WindowValue(call, window + 1, 0);
            w.width = WindowValue(call, window + 2, in.width);
            w.height = WindowValue(call, window + 3, in.height);
            // A size of 0 or less counts from the right or bottom edge.
            if (w.width <= 0) w.width += in.width - w.left;
            if (w.height <= 0) w.height += in.height - w.top;
            if (w.width <= 0 || w.height <= 0 || w.left + w.width > in.width + 1e-9 ||
                w.top + w.height > in.height + 1e-9)
              call.Fail("the source window " + ShortNumber(w.left) + "," + ShortNumber(w.top) + " " +
                        ShortNumber(w.width) + "x" + ShortNumber(w.height) + " is not inside the " +
                        std::to_string(in.width) + "x" + std::to_string(in.height) + " picture");
            return MakeWindowedResize(call.origin, call.Clip(0), static_cast<int>(width), static_cast<int>(height),
                                      kernel, {w, w}, forced & 1, forced & 2);
          }};
}

}  // namespace

void RegisterResizeFunctions(FunctionTable& table) {
  table["pointresize"] = MakeResizer(Family::Point, "");
  table["bilinearresize"] = MakeResizer(Family::Bilinear, "");
  table["bicubicresize"] = MakeResizer(Family::Bicubic, "");
  table["lanczosresize"] = MakeResizer(Family::Lanczos, "?taps:i ");
  table["lanczos4resize"] = MakeResizer(Family::Lanczos4, "");
  table["blackmanresize"] = MakeResizer(Family::Blackman, "?taps:i ");
  table["sincresize"] = MakeResizer(Family::Sinc, "?taps:i ");
  table["spline16resize"] = MakeResizer(Family::Spline16, "");
  table["spline36resize"] = MakeResizer(Family::Spline36, "");
  table["spline64resize"] = MakeResizer(Family::Spline64, "");
  table["gaussresize"] = MakeResizer(Family::Gauss, "?p:f ");
}

}  // namespace avs
