// Compositing: one picture over another. Overlay (any pixel type, worked
// out in planar YUV), Layer (RGB32 and YUY2, with RGB32's alpha as the
// mask) and Mask (RGB32's alpha from a picture's greyscale).
#include "tools/engine/filter.h"
#include "tools/engine/functions/channels.h"
#include "tools/engine/functions/common.h"
#include "tools/engine/functions/families.h"
#include "tools/engine/scale.h"

extern "C" {
#include <libavutil/imgutils.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <optional>

namespace avs {

namespace {

// ---------------------------------------------------------------- Overlay

enum class Mode {
  Blend,
  Add,
  Subtract,
  Multiply,
  Chroma,
  Luma,
  Lighten,
  Darken,
  SoftLight,
  HardLight,
  Difference,
  Exclusion
};

Mode ParseMode(const Call& call, const std::string& name) {
  static const std::pair<const char*, Mode> kModes[] = {
      {"blend", Mode::Blend},           {"add", Mode::Add},
      {"subtract", Mode::Subtract},     {"multiply", Mode::Multiply},
      {"chroma", Mode::Chroma},         {"luma", Mode::Luma},
      {"lighten", Mode::Lighten},       {"darken", Mode::Darken},
      {"softlight", Mode::SoftLight},   {"hardlight", Mode::HardLight},
      {"difference", Mode::Difference}, {"exclusion", Mode::Exclusion}};
  for (auto [text, mode] : kModes)
    if (Lower(name) == text) return mode;
  call.Fail("unknown mode \"" + name +
            "\" (Blend, Add, Subtract, Multiply, Chroma, Luma, Lighten, Darken, SoftLight, HardLight, Difference or "
            "Exclusion)");
}

uint8_t Clamped(double v) { return static_cast<uint8_t>(std::clamp(std::lround(v), 0L, 255L)); }
uint8_t Clamped(int v) { return static_cast<uint8_t>(std::clamp(v, 0, 255)); }

// What a mode makes of a base luma sample `b` under an overlay luma `o`,
// before the opacity and the mask mix it with `b`.
int LumaTarget(Mode mode, int b, int o) {
  const double s = b / 255.0, u = o / 255.0;
  switch (mode) {
    case Mode::Blend:
    case Mode::Luma: return o;
    case Mode::Chroma: return b;
    case Mode::Add: return std::min(b + o, 255);
    case Mode::Subtract: return std::max(b - o, 0);
    case Mode::Multiply: return (b * o + 127) / 255;
    case Mode::Lighten: return o > b ? o : b;
    case Mode::Darken: return o < b ? o : b;
    case Mode::SoftLight: return Clamped(255 * ((1 - 2 * u) * s * s + 2 * u * s));
    case Mode::HardLight: return Clamped(255 * (u < 0.5 ? 2 * s * u : 1 - 2 * (1 - s) * (1 - u)));
    case Mode::Difference: return Clamped(b - o + 128);
    case Mode::Exclusion: return Clamped(255 * (s + u - 2 * s * u));
  }
  return b;
}

// The same for a chroma sample `b` under `o`, where the luma samples at its
// place are `bY` and `oY`. Colour moves towards grey where Add and Subtract
// run past white and black, where Multiply darkens, where HardLight paints
// pure black or white, and Exclusion turns it over under white.
int ChromaTarget(Mode mode, int b, int o, int bY, int oY) {
  switch (mode) {
    case Mode::Blend:
    case Mode::Chroma: return o;
    case Mode::Luma:
    case Mode::SoftLight: return b;
    case Mode::Add: {
      const int excess = std::max(bY + oY - 255, 0);
      return Clamped(128 + (b + o - 256) * (255 - excess) / 255.0);
    }
    case Mode::Subtract: {
      const int deficit = std::max(oY - bY, 0);
      return Clamped(128 + (b - o) * (255 - deficit) / 255.0);
    }
    case Mode::Multiply: return Clamped(128 + (b - 128) * oY / 255.0);
    case Mode::Lighten: return oY > bY ? o : b;
    case Mode::Darken: return oY < bY ? o : b;
    case Mode::HardLight: return Clamped(128 + (b - 128) * (1 - std::abs(2 * oY / 255.0 - 1)));
    case Mode::Difference: return Clamped(b - o + 128);
    case Mode::Exclusion: return Clamped(128 + (b - 128) * (1 - 2 * oY / 255.0));
  }
  return b;
}

// Overlay's work in planar YUV: the overlay (and its mask) placed at x, y
// over a copy of the base, only where they meet. A sample's weight is the
// opacity times the mask's sample / 255 in steps of 1/256; the result is
// base + (target - base) * weight. Chroma samples of subsampled pictures
// take the luma samples at their top-left corner for the modes that look at
// luma, and with greymask the mean of the mask's luma samples they cover;
// the overlay's chroma moves in whole chroma samples (x >> 1 in YV12).
class OverlayClip : public FrameFilter {
 public:
  OverlayClip(std::string origin, ClipPtr base, ClipPtr overlay, ClipPtr mask, int x, int y, double opacity, Mode mode,
              bool greymask)
      : FrameFilter(base->info(), std::move(origin), InputList(base, overlay, mask)),
        x_(x),
        y_(y),
        opacity256_(static_cast<int>(std::lround(opacity * 256))),
        mode_(mode),
        greymask_(greymask),
        hasMask_(mask != nullptr) {
    const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(info().pixelFormat);
    sx_ = desc->log2_chroma_w;
    sy_ = desc->log2_chroma_h;
    planes_ = av_pix_fmt_count_planes(info().pixelFormat);
  }

  FrameRef MakeFrame(int64_t n, const Inputs& in) const override {
    FrameRef base = in.Frame(0, n);
    const ClipInfo& ov = in.Info(1);
    // Nothing of the overlay inside the picture, or nothing of it shown.
    if (x_ >= info().width || y_ >= info().height || x_ + ov.width <= 0 || y_ + ov.height <= 0 || opacity256_ == 0)
      return base;
    FrameRef over = in.Frame(1, n);
    FrameRef mask = hasMask_ ? in.Frame(2, n) : nullptr;
    FramePtr out = WritableCopy(*base);
    for (int plane = 0; plane < planes_; ++plane) Plane(*out, *base, *over, mask.get(), plane, ov.width, ov.height);
    return Share(std::move(out));
  }

 private:
  static std::vector<ClipPtr> InputList(ClipPtr base, ClipPtr overlay, ClipPtr mask) {
    std::vector<ClipPtr> inputs{std::move(base), std::move(overlay)};
    if (mask) inputs.push_back(std::move(mask));
    return inputs;
  }

  static const uint8_t* At(const AVFrame& f, int plane, int x, int y) {
    return f.data[plane] + static_cast<std::ptrdiff_t>(y) * f.linesize[plane] + x;
  }

  void Plane(AVFrame& out, const AVFrame& base, const AVFrame& over, const AVFrame* mask, int plane, int ow,
             int oh) const {
    const bool chroma = plane > 0;
    const int sx = chroma ? sx_ : 0, sy = chroma ? sy_ : 0;
    const int bw = chroma ? AV_CEIL_RSHIFT(info().width, sx) : info().width;
    const int bh = chroma ? AV_CEIL_RSHIFT(info().height, sy) : info().height;
    const int pw = chroma ? AV_CEIL_RSHIFT(ow, sx) : ow, ph = chroma ? AV_CEIL_RSHIFT(oh, sy) : oh;
    const int px = x_ >> sx, py = y_ >> sy;  // floors for negative places
    const int x0 = std::max(px, 0), x1 = std::min(px + pw, bw), y0 = std::max(py, 0), y1 = std::min(py + ph, bh);
    if (x0 >= x1 || y0 >= y1) return;
    // Blend at full opacity without a mask copies the overlay.
    if (mode_ == Mode::Blend && !mask && opacity256_ == 256) {
      av_image_copy_plane(out.data[plane] + static_cast<std::ptrdiff_t>(y0) * out.linesize[plane] + x0,
                          out.linesize[plane], At(over, plane, x0 - px, y0 - py), over.linesize[plane], x1 - x0,
                          y1 - y0);
      return;
    }
    for (int y = y0; y < y1; ++y) {
      const int oy = y - py;
      uint8_t* dst = out.data[plane] + static_cast<std::ptrdiff_t>(y) * out.linesize[plane];
      const uint8_t* src = At(base, plane, 0, y);
      const uint8_t* ovr = At(over, plane, 0, oy);
      for (int x = x0; x < x1; ++x) {
        const int ox = x - px;
        int weight = opacity256_;
        if (mask) weight = (MaskSample(*mask, plane, ox, oy, sx, sy, ow, oh) * opacity256_ + 127) / 255;
        const int b = src[x];
        int target;
        if (!chroma) {
          target = LumaTarget(mode_, b, ovr[ox]);
        } else {
          // The luma samples at the chroma sample's top-left corner.
          const int lx = std::min(ox << sx, ow - 1), ly = std::min(oy << sy, oh - 1);
          const int bY = *At(base, 0, std::min(x << sx, info().width - 1), std::min(y << sy, info().height - 1));
          target = ChromaTarget(mode_, b, ovr[ox], bY, *At(over, 0, lx, ly));
        }
        // An arithmetic shift: the rounding is the same on both sides of 0.
        dst[x] = Clamped(b + (((target - b) * weight + 128) >> 8));
      }
    }
  }

  // The mask's sample for overlay sample (ox, oy) of `plane`.
  int MaskSample(const AVFrame& mask, int plane, int ox, int oy, int sx, int sy, int ow, int oh) const {
    if (plane == 0 || !greymask_) return *At(mask, plane, ox, oy);
    int sum = 0, count = 0;
    for (int dy = 0; dy < (1 << sy); ++dy)
      for (int dx = 0; dx < (1 << sx); ++dx) {
        const int lx = (ox << sx) + dx, ly = (oy << sy) + dy;
        if (lx >= ow || ly >= oh) continue;
        sum += *At(mask, 0, lx, ly);
        ++count;
      }
    return count ? (sum + count / 2) / count : 0;
  }

  int x_, y_;
  int opacity256_;
  Mode mode_;
  bool greymask_, hasMask_;
  int sx_ = 0, sy_ = 0, planes_ = 1;
};

// The planar YUV format Overlay works in for a pixel type: its own when it
// is planar YUV, YV16 for YUY2, YV24 for RGB.
AVPixelFormat WorkFormat(AVPixelFormat format) {
  if (IsRgbFormat(format)) return AV_PIX_FMT_YUV444P;
  if (format == AV_PIX_FMT_YUYV422) return AV_PIX_FMT_YUV422P;
  return format;
}

// `clip` in `format`; with pc_range the RGB conversions use the full range.
ClipPtr InFormat(const Call& call, const ClipPtr& clip, AVPixelFormat format, bool pcRange) {
  const ClipInfo& in = clip->info();
  if (in.pixelFormat == format) return clip;
  if (pcRange && (IsRgbFormat(in.pixelFormat) || IsRgbFormat(format))) {
    CheckSize(call, in.width, in.height, format);
    ClipInfo info = in;
    info.pixelFormat = format;
    return MakeScaledClip(info, call.origin, clip, SWS_BICUBIC, Matrix::PC601);
  }
  return WithPixelType(call, clip, PixelTypeName(format));
}

Value Overlay(Call& call) {
  const ClipInfo& base = VideoOf(call, 0);
  const ClipInfo& over = VideoOf(call, 1);
  RequireEightBit(call, base);
  RequireEightBit(call, over);
  const int64_t x = call.Int(2, 0), y = call.Int(3, 0);
  for (int64_t v : {x, y})
    if (v < -kMaxPictureSide || v > kMaxPictureSide)
      call.Fail("x and y must be between " + std::to_string(-kMaxPictureSide) + " and " +
                std::to_string(kMaxPictureSide));
  ClipPtr mask = call.args[4].defined() ? call.Clip(4) : nullptr;
  if (mask) {
    RequireEightBit(call, VideoOf(call, 4));
    if (mask->info().width != over.width || mask->info().height != over.height)
      call.Fail("the mask is " + std::to_string(mask->info().width) + "x" + std::to_string(mask->info().height) +
                " where the overlay is " + std::to_string(over.width) + "x" + std::to_string(over.height));
  }
  const double opacity = call.Float(5, 1.0);
  if (!std::isfinite(opacity) || opacity < 0 || opacity > 1) call.Fail("opacity must be between 0 and 1");
  const Mode mode = ParseMode(call, call.String(6, "Blend"));
  const bool greymask = call.Bool(7, true);
  const AVPixelFormat output = call.args[8].defined() ? ParsePixelType(call, call.String(8, "")) : base.pixelFormat;
  // ignore_conditional (9) has nothing to ignore: the engine keeps no
  // per-frame overlay variables.
  const bool pcRange = call.Bool(10, false);

  const AVPixelFormat work = WorkFormat(base.pixelFormat);
  const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(work);
  // The overlay and the mask are brought to the base's format; a size the
  // format cannot hold is refused by the conversion.
  if ((desc->log2_chroma_w && over.width % 2) || (desc->log2_chroma_h && over.height % 2))
    call.Fail(std::string("the overlay's size ") + std::to_string(over.width) + "x" + std::to_string(over.height) +
              " does not suit " + PixelTypeName(base.pixelFormat));
  ClipPtr b = InFormat(call, call.Clip(0), work, pcRange);
  ClipPtr o = InFormat(call, call.Clip(1), work, pcRange);
  ClipPtr m = mask ? InFormat(call, mask, work, pcRange) : nullptr;
  ClipPtr result = std::make_shared<OverlayClip>(call.origin, b, o, m, static_cast<int>(x), static_cast<int>(y),
                                                 opacity, mode, greymask);
  return InFormat(call, result, output, pcRange);
}

// ---------------------------------------------------------------- Layer

enum class LayerOp { Add, Subtract, Lighten, Darken, Mul, Fast };

// The greyscale of an RGB pixel: Rec.601's luma weights, full range.
int Grey(int r, int g, int b) { return (299 * r + 587 * g + 114 * b + 500) / 1000; }

// Layer: the overlay merged into the base where they meet. RGB32 weighs
// each pixel by the overlay's alpha: base += ((overlay - base) * ((alpha *
// level + 1) >> 8)) >> 8, so alpha 255 at level 257 is the overlay itself;
// YUY2 has no alpha: base += ((overlay - base) * level) >> 8. Subtract
// merges the inverted overlay, Mul the product base * overlay >> 8, Fast
// is the mean (base + overlay + 1) >> 1 whatever the level and alpha.
// Lighten and Darken merge only where the overlay's luma is above (below)
// the base's by more than the threshold; YUY2's chroma follows the pair's
// luma sums. Without use_chroma the overlay counts as its greyscale (RGB32)
// or only luma is merged (YUY2). The base's alpha is kept.
class LayerClip : public FrameFilter {
 public:
  LayerClip(std::string origin, ClipPtr base, ClipPtr overlay, LayerOp op, int level, int x, int y, int threshold,
            bool useChroma)
      : FrameFilter(base->info(), std::move(origin), {base, overlay}),
        op_(op),
        level_(level),
        x_(x),
        y_(y),
        threshold_(threshold),
        useChroma_(useChroma),
        rgb_(base->info().pixelFormat == AV_PIX_FMT_BGRA) {}

  FrameRef MakeFrame(int64_t n, const Inputs& in) const override {
    FrameRef base = in.Frame(0, n);
    const ClipInfo& ov = in.Info(1);
    const int x0 = std::max(x_, 0), x1 = std::min(x_ + ov.width, info().width);
    const int y0 = std::max(y_, 0), y1 = std::min(y_ + ov.height, info().height);
    if (x0 >= x1 || y0 >= y1 || (level_ == 0 && op_ != LayerOp::Fast)) return base;
    FrameRef over = in.Frame(1, n);
    FramePtr out = WritableCopy(*base);
    for (int y = y0; y < y1; ++y) {
      uint8_t* dst = out->data[0] + static_cast<std::ptrdiff_t>(y) * out->linesize[0];
      const uint8_t* src = over->data[0] + static_cast<std::ptrdiff_t>(y - y_) * over->linesize[0];
      if (rgb_) {
        for (int x = x0; x < x1; ++x) RgbPixel(dst + 4 * x, src + 4 * (x - x_));
      } else {
        for (int x = x0; x < x1; x += 2) YuyvPair(dst + 2 * x, src + 2 * (x - x_));
      }
    }
    return Share(std::move(out));
  }

 private:
  // The value an operation moves `b` towards under `o`.
  int Target(int b, int o) const {
    switch (op_) {
      case LayerOp::Subtract: return 255 - o;
      case LayerOp::Mul: return (b * o) >> 8;
      default: return o;
    }
  }

  void RgbPixel(uint8_t* b, const uint8_t* o) const {
    int over[3] = {o[0], o[1], o[2]};
    if (!useChroma_) over[0] = over[1] = over[2] = Grey(o[2], o[1], o[0]);
    if (op_ == LayerOp::Fast) {
      for (int c = 0; c < 3; ++c) b[c] = static_cast<uint8_t>((b[c] + over[c] + 1) >> 1);
      return;
    }
    if (op_ == LayerOp::Lighten || op_ == LayerOp::Darken) {
      const int lo = Grey(over[2], over[1], over[0]), lb = Grey(b[2], b[1], b[0]);
      if (op_ == LayerOp::Lighten ? lo <= lb + threshold_ : lo >= lb - threshold_) return;
    }
    const int weight = (o[3] * level_ + 1) >> 8;
    for (int c = 0; c < 3; ++c) b[c] = Clamped(b[c] + (((Target(b[c], over[c]) - b[c]) * weight) >> 8));
  }

  // Two pixels of YUY2: Y0 U Y1 V.
  void YuyvPair(uint8_t* b, const uint8_t* o) const {
    if (op_ == LayerOp::Fast) {
      for (int i = 0; i < 4; ++i) b[i] = static_cast<uint8_t>((b[i] + o[i] + 1) >> 1);
      return;
    }
    auto passes = [this](int lo, int lb, int threshold) {
      if (op_ == LayerOp::Lighten) return lo > lb + threshold;
      if (op_ == LayerOp::Darken) return lo < lb - threshold;
      return true;
    };
    const bool chromaPasses = passes(o[0] + o[2], b[0] + b[2], 2 * threshold_);
    for (int i = 0; i < 4; ++i) {
      const bool luma = i % 2 == 0;
      if (luma ? !passes(o[i], b[i], threshold_) : !chromaPasses) continue;
      int target;
      if (luma)
        target = Target(b[i], o[i]);
      else if (!useChroma_)
        continue;
      else
        target = op_ == LayerOp::Mul ? o[i] : Target(b[i], o[i]);
      b[i] = Clamped(b[i] + (((target - b[i]) * level_) >> 8));
    }
  }

  LayerOp op_;
  int level_, x_, y_, threshold_;
  bool useChroma_, rgb_;
};

Value Layer(Call& call) {
  const ClipInfo& base = VideoOf(call, 0);
  const ClipInfo& over = VideoOf(call, 1);
  RequireEightBit(call, base);
  RequireEightBit(call, over);
  const bool rgb = base.pixelFormat == AV_PIX_FMT_BGRA;
  if (!rgb && base.pixelFormat != AV_PIX_FMT_YUYV422)
    call.Fail(std::string("needs RGB32 or YUY2 clips, not ") + PixelTypeName(base.pixelFormat));
  if (over.pixelFormat != base.pixelFormat)
    call.Fail(std::string("the overlay is ") + PixelTypeName(over.pixelFormat) + " where the base is " +
              PixelTypeName(base.pixelFormat));
  static const std::pair<const char*, LayerOp> kOps[] = {{"add", LayerOp::Add},         {"subtract", LayerOp::Subtract},
                                                         {"lighten", LayerOp::Lighten}, {"darken", LayerOp::Darken},
                                                         {"mul", LayerOp::Mul},         {"fast", LayerOp::Fast}};
  const std::string name = call.String(2, "add");
  const LayerOp* op = nullptr;
  for (const auto& [text, value] : kOps)
    if (Lower(name) == text) op = &value;
  if (!op) call.Fail("unknown op \"" + name + "\" (add, subtract, lighten, darken, mul or fast)");
  const int maxLevel = rgb ? 257 : 256;
  const int64_t level = call.Int(3, maxLevel);
  if (level < 0 || level > maxLevel) call.Fail("level must be between 0 and " + std::to_string(maxLevel));
  int64_t x = call.Int(4, 0), y = call.Int(5, 0);
  for (int64_t v : {x, y})
    if (v < -kMaxPictureSide || v > kMaxPictureSide)
      call.Fail("x and y must be between " + std::to_string(-kMaxPictureSide) + " and " +
                std::to_string(kMaxPictureSide));
  if (!rgb) x -= ((x % 2) + 2) % 2;  // YUY2 moves in whole pixel pairs
  const int64_t threshold = call.Int(6, 0);
  if (threshold < 0 || threshold > 255) call.Fail("threshold must be between 0 and 255");
  const bool useChroma = call.Bool(7, true);
  if (!useChroma && (*op == LayerOp::Fast || *op == LayerOp::Lighten || *op == LayerOp::Darken))
    call.Fail("op \"" + name + "\" needs use_chroma=true");
  return std::make_shared<LayerClip>(call.origin, call.Clip(0), call.Clip(1), *op, static_cast<int>(level),
                                     static_cast<int>(x), static_cast<int>(y), static_cast<int>(threshold), useChroma);
}

// ---------------------------------------------------------------- Mask

// Mask: the clip's pixels with the mask clip's greyscale as their alpha
// (black transparent, white opaque), for Layer.
class MaskClip : public FrameFilter {
 public:
  MaskClip(std::string origin, ClipPtr clip, ClipPtr mask)
      : FrameFilter(clip->info(), std::move(origin), {clip, mask}) {}

  FrameRef MakeFrame(int64_t n, const Inputs& in) const override {
    FramePtr out = WritableCopy(*in.Frame(0, n));
    FrameRef mask = in.Frame(1, n);
    for (int y = 0; y < info().height; ++y) {
      uint8_t* dst = out->data[0] + static_cast<std::ptrdiff_t>(y) * out->linesize[0];
      const uint8_t* m = mask->data[0] + static_cast<std::ptrdiff_t>(y) * mask->linesize[0];
      for (int x = 0; x < info().width; ++x)
        dst[4 * x + 3] = static_cast<uint8_t>(Grey(m[4 * x + 2], m[4 * x + 1], m[4 * x]));
    }
    return Share(std::move(out));
  }
};

Value Mask(Call& call) {
  const ClipInfo& clip = VideoOf(call, 0);
  const ClipInfo& mask = VideoOf(call, 1);
  RequireEightBit(call, clip);
  RequireEightBit(call, mask);
  if (clip.pixelFormat != AV_PIX_FMT_BGRA || mask.pixelFormat != AV_PIX_FMT_BGRA)
    call.Fail(std::string("needs RGB32 clips, not ") +
              PixelTypeName(clip.pixelFormat != AV_PIX_FMT_BGRA ? clip.pixelFormat : mask.pixelFormat));
  if (clip.width != mask.width || clip.height != mask.height)
    call.Fail("the mask is " + std::to_string(mask.width) + "x" + std::to_string(mask.height) + " where the clip is " +
              std::to_string(clip.width) + "x" + std::to_string(clip.height));
  return std::make_shared<MaskClip>(call.origin, call.Clip(0), call.Clip(1));
}

// ResetMask(mask = 255) and ColorKeyMask(color, tolB, tolG, tolR): RGB32's
// alpha set for every pixel, or cleared (0) where the pixel lies within the
// tolerances of the colour, channel by channel.
class AlphaClip : public FrameFilter {
 public:
  AlphaClip(const Call& call, int alpha, std::optional<std::array<int, 6>> key)
      : FrameFilter(VideoOf(call, 0), call.origin, {call.Clip(0)}), alpha_(alpha), key_(key) {}

  FrameRef MakeFrame(int64_t n, const Inputs& in) const override {
    FramePtr out = in.FrameToDrawOn(0, n);
    if (!av_frame_is_writable(out.get())) out = WritableCopy(*out);
    for (int y = 0; y < info().height; ++y) {
      uint8_t* p = out->data[0] + static_cast<std::ptrdiff_t>(y) * out->linesize[0];
      for (int x = 0; x < info().width; ++x, p += 4) {
        if (!key_) {
          p[3] = static_cast<uint8_t>(alpha_);
          continue;
        }
        const std::array<int, 6>& k = *key_;  // B, G, R and their tolerances
        if (std::abs(p[0] - k[0]) <= k[3] && std::abs(p[1] - k[1]) <= k[4] && std::abs(p[2] - k[2]) <= k[5]) p[3] = 0;
      }
    }
    return Share(std::move(out));
  }

 private:
  int alpha_;
  std::optional<std::array<int, 6>> key_;
};

void RequireRgb32(const Call& call) {
  RequireEightBit(call, VideoOf(call, 0));
  if (VideoOf(call, 0).pixelFormat != AV_PIX_FMT_BGRA)
    call.Fail(std::string("needs an RGB32 clip, not ") + PixelTypeName(VideoOf(call, 0).pixelFormat));
}

Value ResetMask(Call& call) {
  RequireRgb32(call);
  const int64_t mask = call.Int(1, 255);
  if (mask < 0 || mask > 255) call.Fail("mask must be from 0 to 255");
  return std::make_shared<AlphaClip>(call, static_cast<int>(mask), std::nullopt);
}

Value ColorKeyMask(Call& call) {
  RequireRgb32(call);
  const int64_t tolB = call.Int(2, 10), tolG = call.Int(3, tolB), tolR = call.Int(4, tolB);
  for (int64_t t : {tolB, tolG, tolR})
    if (t < 0 || t > 255) call.Fail("the tolerances must be from 0 to 255");
  const auto colour = static_cast<uint32_t>(call.Int(1, 0));
  return std::make_shared<AlphaClip>(call, 0,
                                     std::array<int, 6>{static_cast<int>(colour & 0xFF), static_cast<int>(colour >> 8 & 0xFF),
                                                        static_cast<int>(colour >> 16 & 0xFF), static_cast<int>(tolB),
                                                        static_cast<int>(tolG), static_cast<int>(tolR)});
}

}  // namespace

void RegisterCompositingFunctions(FunctionTable& table) {
  table["resetmask"] = {"clip:c ?mask:i", ResetMask};
  table["colorkeymask"] = {"clip:c color:i ?tolb:i ?tolg:i ?tolr:i", ColorKeyMask};
  table["overlay"] = {
      "base:c overlay:c ?x:i ?y:i ?mask:c ?opacity:f ?mode:s ?greymask:b ?output:s "
      "?ignore_conditional:b ?pc_range:b",
      Overlay};
  table["layer"] = {"base_clip:c overlay_clip:c ?op:s ?level:i ?x:i ?y:i ?threshold:i ?use_chroma:b", Layer};
  table["mask"] = {"clip:c mask_clip:c", Mask};
}

}  // namespace avs
