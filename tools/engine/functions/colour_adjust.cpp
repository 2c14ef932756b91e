// Colour adjustments: Levels, RGBAdjust, ColorYUV, Tweak, Blur and Sharpen,
// on 8-bit pictures.
// Each maps samples through tables built once (or once a frame for
// ColorYUV's automatic modes), which is both exact and faster than a
// per-pixel formula.
#include "tools/engine/functions/channels.h"
#include "tools/engine/functions/common.h"
#include "tools/engine/functions/families.h"

extern "C" {
#include <libavutil/imgutils.h>
}

#include <algorithm>
#include <cmath>
#include <numbers>

namespace avs {

namespace {

using K = ChannelKind;

// The channel of `kind` among `channels`, or none.
const Channel* Find(const std::vector<Channel>& channels, K kind) {
  for (const Channel& channel : channels)
    if (channel.kind == kind) return &channel;
  return nullptr;
}

bool IsYuv(AVPixelFormat format) { return !IsRgbFormat(format); }

// Argument i as a finite number within [low, high].
double Ranged(const Call& call, std::size_t i, double fallback, double low, double high, const char* name) {
  const double value = call.Float(i, fallback);
  if (!std::isfinite(value) || value < low || value > high)
    call.Fail(std::string(name) + " must be between " + ShortNumber(low) + " and " + ShortNumber(high));
  return value;
}

void RefuseOption(const Call& call, std::size_t i, const char* what) {
  if (call.Bool(i, false)) call.Fail(std::string(what) + " is not supported");
}

// v^(1/gamma) over [low, high], values outside clamped to it first.
double Gamma(double v, double low, double high, double gamma) {
  const double t = std::clamp((v - low) / (high - low), 0.0, 1.0);
  return low + (high - low) * std::pow(t, 1 / gamma);
}

// Levels(input_low, gamma, input_high, output_low, output_high, coring,
// dither). Luma (or each RGB channel) goes through the transfer function;
// YUV chroma is scaled about 128 by the same ratio of output to input
// range. With coring, luma and chroma are first clamped to the limited
// range and the luma's transfer works on it stretched to full range.
Value Levels(Call& call) {
  const ClipInfo& in = VideoOf(call, 0);
  RequireEightBit(call, in);
  const double inLow = Ranged(call, 1, 0, -65536, 65536, "input_low");
  const double gamma = call.Float(2, 1);
  const double inHigh = Ranged(call, 3, 255, -65536, 65536, "input_high");
  const double outLow = Ranged(call, 4, 0, -65536, 65536, "output_low");
  const double outHigh = Ranged(call, 5, 255, -65536, 65536, "output_high");
  if (!std::isfinite(gamma) || gamma <= 0) call.Fail("gamma must be above 0");
  if (inLow == inHigh) call.Fail("input_low and input_high must differ");
  RefuseOption(call, 7, "dither");
  const bool coring = IsYuv(in.pixelFormat) && call.Bool(6, true);
  auto transfer = [&](double v) {
    const double t = std::clamp((v - inLow) / (inHigh - inLow), 0.0, 1.0);
    return std::pow(t, 1 / gamma) * (outHigh - outLow) + outLow;
  };
  const double ratio = (outHigh - outLow) / (inHigh - inLow);
  ChannelTables tables;
  if (IsYuv(in.pixelFormat)) {
    tables[K::Y] = MakeTable([&](int v) {
      if (!coring) return transfer(v);
      const double full = (std::clamp(v, 16, 235) - 16) * 255.0 / 219;
      return std::clamp(transfer(full), 0.0, 255.0) * 219 / 255 + 16;
    });
    tables[K::U] = tables[K::V] = MakeTable([&](int v) {
      const double c = coring ? std::clamp(v, 16, 240) : v;
      const double out = (c - 128) * ratio + 128;
      return coring ? std::clamp(out, 16.0, 240.0) : out;
    });
  } else {
    tables[K::R] = tables[K::G] = tables[K::B] = MakeTable(transfer);
  }
  return MakeTableClip(call.origin, call.Clip(0), tables);
}

// RGBAdjust: each channel multiplied, offset, then gamma-corrected.
Value RgbAdjust(Call& call) {
  const ClipInfo& in = VideoOf(call, 0);
  RequireEightBit(call, in);
  if (!IsRgbFormat(in.pixelFormat)) call.Fail("needs an RGB clip");
  RefuseOption(call, 13, "analyze");
  RefuseOption(call, 14, "dither");
  RefuseOption(call, 15, "conditional");
  const K kinds[] = {K::R, K::G, K::B, K::A};
  const char* const names[] = {"r", "g", "b", "a"};
  ChannelTables tables;
  for (std::size_t c = 0; c < 4; ++c) {
    const double gain = Ranged(call, 1 + c, 1, -256, 256, names[c]);
    const double bias = Ranged(call, 5 + c, 0, -65536, 65536, (std::string(names[c]) + "b").c_str());
    const double gamma = Ranged(call, 9 + c, 1, 0, 256, (std::string(names[c]) + "g").c_str());
    if (gamma <= 0) call.Fail(std::string(names[c]) + "g must be above 0");
    if (gain == 1 && bias == 0 && gamma == 1) continue;
    tables[kinds[c]] = MakeTable([=](int v) { return Gamma(v * gain + bias, 0, 255, gamma); });
  }
  return MakeTableClip(call.origin, call.Clip(0), tables);
}

// ColorYUV's settings for one channel, in its units (0 changes nothing).
struct ChannelAdjust {
  double gain = 0, offset = 0, gamma = 0, contrast = 0;
};

enum class LevelsConversion { None, TvToPc, PcToTv, PcToTvLuma };

struct ColorYuvSettings {
  ChannelAdjust channel[3];  // Y, U, V
  LevelsConversion levels = LevelsConversion::None;
  bool tvRangeGamma = false;
  bool coring = false;
};

// One channel's table: gain, then contrast about 128, then the offset, then
// (for luma) the gamma, then the range conversion, then coring.
Table ColorYuvTable(const ColorYuvSettings& s, int c) {
  const ChannelAdjust& a = s.channel[c];
  const bool luma = c == 0;
  return MakeTable([&](int value) {
    double v = value * (1 + a.gain / 256);
    v = (v - 128) * (1 + a.contrast / 256) + 128;
    v += a.offset;
    const double gamma = std::max((a.gamma + 256) / 256, 0.01);
    if (luma && gamma != 1) v = s.tvRangeGamma ? Gamma(v, 16, 235, gamma) : Gamma(v, 0, 255, gamma);
    switch (s.levels) {
      case LevelsConversion::TvToPc: v = luma ? (v - 16) * 255 / 219 : (v - 128) * 255 / 224 + 128; break;
      case LevelsConversion::PcToTv: v = luma ? v * 219 / 255 + 16 : (v - 128) * 224 / 255 + 128; break;
      case LevelsConversion::PcToTvLuma: v = luma ? v * 219 / 255 + 16 : v; break;
      case LevelsConversion::None: break;
    }
    if (s.coring) v = std::clamp(v, 16.0, luma ? 235.0 : 240.0);
    return v;
  });
}

ChannelTables ColorYuvTables(const ColorYuvSettings& s) {
  ChannelTables tables;
  tables[K::Y] = ColorYuvTable(s, 0);
  tables[K::U] = ColorYuvTable(s, 1);
  tables[K::V] = ColorYuvTable(s, 2);
  return tables;
}

// What autowhite and autogain measure on a frame: the average chroma and
// the luma range without its darkest and brightest 1/256.
ColorYuvSettings Measured(ColorYuvSettings s, const AVFrame& frame, const std::vector<Channel>& channels, bool white,
                          bool gain) {
  for (const Channel& channel : channels) {
    if (channel.kind == K::Y && gain) {
      std::array<int64_t, 256> histogram{};
      for (int y = 0; y < channel.height; ++y) {
        const uint8_t* row = channel.Row(frame, y);
        for (int x = 0; x < channel.width; ++x) ++histogram[row[x * channel.step]];
      }
      const int64_t skip = static_cast<int64_t>(channel.width) * channel.height / 256;
      int low = 0, high = 255;
      for (int64_t seen = 0; low < 255 && (seen += histogram[low]) <= skip;) ++low;
      for (int64_t seen = 0; high > 0 && (seen += histogram[high]) <= skip;) --high;
      // A range narrower than 16..235 is stretched to it; a wider one is
      // left alone.
      if (high > low && high - low < 219) {
        const double scale = 219.0 / (high - low);
        s.channel[0].gain = (scale - 1) * 256;
        s.channel[0].contrast = 0;
        s.channel[0].offset = 16 - low * scale;
      }
    }
    if ((channel.kind == K::U || channel.kind == K::V) && white) {
      int64_t sum = 0;
      for (int y = 0; y < channel.height; ++y) {
        const uint8_t* row = channel.Row(frame, y);
        for (int x = 0; x < channel.width; ++x) sum += row[x * channel.step];
      }
      const double average = static_cast<double>(sum) / (static_cast<double>(channel.width) * channel.height);
      s.channel[channel.kind == K::U ? 1 : 2].offset = 128 - average;
    }
  }
  return s;
}

// ColorYUV(showyuv=true): every chroma pair of the limited range, U from
// left to right and V from top to bottom, on a luma that rises a step a
// frame from 16.
class ChromaChartClip : public PictureFilter {
 public:
  static constexpr int kSide = 450;
  ChromaChartClip(ClipInfo info, std::string origin, ClipPtr source)
      : PictureFilter(info, std::move(origin), {std::move(source)}) {}
  FrameRef MakeFrame(int64_t n, const Inputs&) const override {
    FramePtr out = NewFrame();
    const auto luma = static_cast<uint8_t>(16 + n % 220);
    for (int y = 0; y < kSide; ++y) std::fill_n(out->data[0] + y * out->linesize[0], kSide, luma);
    for (int y = 0; y < kSide / 2; ++y)
      for (int x = 0; x < kSide / 2; ++x) {
        out->data[1][y * out->linesize[1] + x] = static_cast<uint8_t>(16 + x);
        out->data[2][y * out->linesize[2] + x] = static_cast<uint8_t>(16 + y);
      }
    return Share(std::move(out));
  }
};

Value ColorYuv(Call& call) {
  const ClipInfo& in = VideoOf(call, 0);
  RequireEightBit(call, in);
  if (!IsYuv(in.pixelFormat)) call.Fail("needs a YUV clip");
  RefuseOption(call, 16, "analyze");
  RefuseOption(call, 19, "conditional");
  RefuseOption(call, 21, "showyuv_fullrange");
  if (call.Int(20, 8) != 8) call.Fail("bits must be 8");
  if (call.Bool(15, false)) {
    ClipInfo info = in;
    info.width = info.height = ChromaChartClip::kSide;
    info.pixelFormat = AV_PIX_FMT_YUV420P;
    return std::make_shared<ChromaChartClip>(info, call.origin, call.Clip(0));
  }
  const bool factors = call.Bool(22, false);
  ColorYuvSettings s;
  for (int c = 0; c < 3; ++c) {
    const std::size_t base = 1 + 4 * static_cast<std::size_t>(c);
    // f2c: gains, gammas and contrasts given as factors (1 changes nothing).
    auto factor = [&](std::size_t i, const char* name) {
      const double v = Ranged(call, i, factors ? 1 : 0, -65536, 65536, name);
      return factors ? (v - 1) * 256 : v;
    };
    s.channel[c].gain = factor(base, "gain");
    s.channel[c].offset = Ranged(call, base + 1, 0, -65536, 65536, "off");
    s.channel[c].gamma = factor(base + 2, "gamma");
    s.channel[c].contrast = factor(base + 3, "cont");
  }
  const std::string levels = Lower(call.String(13, ""));
  const std::string opt = Lower(call.String(14, ""));
  if (levels == "tv->pc") s.levels = LevelsConversion::TvToPc;
  else if (levels == "pc->tv") s.levels = LevelsConversion::PcToTv;
  else if (levels == "pc->tv.y") s.levels = LevelsConversion::PcToTvLuma;
  else if (!levels.empty() && levels != "tv") call.Fail("levels must be \"TV->PC\", \"PC->TV\", \"PC->TV.Y\" or \"TV\"");
  if (opt == "coring") s.coring = true;
  else if (!opt.empty()) call.Fail("opt must be \"coring\" or \"\"");
  s.tvRangeGamma = levels == "tv->pc" || levels == "tv" ||
                   (s.coring && s.levels != LevelsConversion::PcToTv && s.levels != LevelsConversion::PcToTvLuma);
  const bool white = call.Bool(17, false), gain = call.Bool(18, false);
  if (!white && !gain) return MakeTableClip(call.origin, call.Clip(0), ColorYuvTables(s));
  return MakeTableClip(call.origin, call.Clip(0),
                       [s, white, gain, channels = ChannelsOf(in.pixelFormat, in.width, in.height)](const AVFrame& f) {
                         return ColorYuvTables(Measured(s, f, channels, white, gain));
                       });
}

// A hue range (degrees, startHue > endHue wrapping through 0) and a
// saturation range (percent, 100% being 119 chroma units, pure red).
struct HueSaturationRange {
  double startHue = 0, endHue = 360, maxSat = 150, minSat = 0;

  // How much a (U, V) pair lies in the ranges: 1 inside, 0 outside, or
  // between when its saturation is within `interp` of the range's edges.
  double Weight(int u, int v, double interp) const {
    const double du = u - 128, dv = v - 128;
    const double saturation = std::hypot(du, dv);
    double hue = std::atan2(dv, du) * 180 / std::numbers::pi;
    if (hue < 0) hue += 360;
    const bool allHues = startHue <= 0 && endHue >= 360;
    const bool inHue =
        allHues || (startHue <= endHue ? hue >= startHue && hue <= endHue : hue >= startHue || hue <= endHue);
    double weight = inHue ? 1 : 0;
    const double minS = minSat * 1.19, maxS = maxSat * 1.19;
    if (minSat > 0 && saturation < minS) weight *= interp > 0 ? std::max(0.0, 1 - (minS - saturation) / interp) : 0;
    if (maxSat < 150 && saturation > maxS) weight *= interp > 0 ? std::max(0.0, 1 - (saturation - maxS) / interp) : 0;
    return weight;
  }

  // startHue, endHue, maxSat and minSat from the arguments at `first`.
  static HueSaturationRange Read(const Call& call, std::size_t first);
};

// Tweak's chroma: each (U, V) pair turned by the hue angle and scaled by
// the saturation, where the pair's own hue and saturation lie in the chosen
// ranges (with the saturation eased in over `interp` at the range's edges).
class TweakClip : public PictureFilter {
 public:
  struct Settings {
    double hue = 0, sat = 1, bright = 0, cont = 1;
    bool coring = true;
    HueSaturationRange range;
    double interp = 16;
  };

  TweakClip(std::string origin, ClipPtr source, const Settings& s)
      : PictureFilter(source->info(), std::move(origin), {source}),
        channels_(ChannelsOf(info().pixelFormat, info().width, info().height)),
        chroma_(std::size_t{256} * 256) {
    luma_ = MakeTable([&](int y) {
      const double v = (y - 16) * s.cont + s.bright + 16;
      return s.coring ? std::clamp(v, 16.0, 235.0) : v;
    });
    const double chromaLow = s.coring ? 16 : 0, chromaHigh = s.coring ? 240 : 255;
    for (int u = 0; u < 256; ++u)
      for (int v = 0; v < 256; ++v) {
        const double du = u - 128, dv = v - 128;
        const double weight = s.range.Weight(u, v, s.interp);
        const double angle = s.hue * weight * std::numbers::pi / 180;
        const double gain = 1 + (s.sat - 1) * weight;
        const double nu = (du * std::cos(angle) - dv * std::sin(angle)) * gain + 128;
        const double nv = (du * std::sin(angle) + dv * std::cos(angle)) * gain + 128;
        chroma_[static_cast<std::size_t>(u) << 8 | static_cast<std::size_t>(v)] = {
            static_cast<uint8_t>(std::lround(std::clamp(nu, chromaLow, chromaHigh))),
            static_cast<uint8_t>(std::lround(std::clamp(nv, chromaLow, chromaHigh)))};
      }
  }

  FrameRef MakeFrame(int64_t n, const Inputs& in) const override {
    const FrameRef source = in.Frame(0, n);
    FramePtr out = NewFrame(*source);
    const Channel* u = Find(channels_, K::U);
    const Channel* v = Find(channels_, K::V);
    for (const Channel& channel : channels_) {
      if (channel.kind != K::Y) continue;
      for (int y = 0; y < channel.height; ++y) {
        const uint8_t* from = channel.Row(*source, y);
        uint8_t* to = channel.Row(*out, y);
        for (int x = 0; x < channel.width; ++x) to[x * channel.step] = luma_[from[x * channel.step]];
      }
    }
    if (u && v)
      for (int y = 0; y < u->height; ++y) {
        const uint8_t* fromU = u->Row(*source, y);
        const uint8_t* fromV = v->Row(*source, y);
        uint8_t* toU = u->Row(*out, y);
        uint8_t* toV = v->Row(*out, y);
        for (int x = 0; x < u->width; ++x) {
          const auto& pair = chroma_[static_cast<std::size_t>(fromU[x * u->step]) << 8 | fromV[x * v->step]];
          toU[x * u->step] = pair[0];
          toV[x * v->step] = pair[1];
        }
      }
    return Share(std::move(out));
  }

 private:
  std::vector<Channel> channels_;
  Table luma_;
  std::vector<std::array<uint8_t, 2>> chroma_;  // by U * 256 + V
};

Value Tweak(Call& call) {
  const ClipInfo& in = VideoOf(call, 0);
  RequireEightBit(call, in);
  if (!IsYuv(in.pixelFormat)) call.Fail("needs a YUV clip");
  RefuseOption(call, 12, "dither");
  TweakClip::Settings s;
  s.hue = Ranged(call, 1, 0, -180, 180, "hue");
  s.sat = Ranged(call, 2, 1, 0, 10, "sat");
  s.bright = Ranged(call, 3, 0, -255, 255, "bright");
  s.cont = Ranged(call, 4, 1, 0, 10, "cont");
  s.coring = call.Bool(5, true);
  s.range = HueSaturationRange::Read(call, 7);
  s.interp = Ranged(call, 11, 16, 0, 32, "interp");
  return std::make_shared<TweakClip>(call.origin, call.Clip(0), s);
}

HueSaturationRange HueSaturationRange::Read(const Call& call, std::size_t first) {
  HueSaturationRange r;
  r.startHue = Ranged(call, first, 0, 0, 360, "startHue");
  r.endHue = Ranged(call, first + 1, 360, 0, 360, "endHue");
  r.maxSat = Ranged(call, first + 2, 150, 0, 150, "maxSat");
  r.minSat = Ranged(call, first + 3, 0, 0, 150, "minSat");
  if (r.minSat >= r.maxSat) call.Fail("minSat must be less than maxSat");
  return r;
}

// MaskHS: a Y8 picture of the clip's size, white (235 with coring) where
// the chroma under a pixel lies in the hue and saturation ranges, black (16)
// elsewhere.
class HueSaturationMask : public PictureFilter {
 public:
  HueSaturationMask(const Call& call, const HueSaturationRange& range, bool coring)
      : PictureFilter(MaskInfo(VideoOf(call, 0)), call.origin, {call.Clip(0)}),
        sourceChannels_(ChannelsOf(VideoOf(call, 0).pixelFormat, info().width, info().height)) {
    const int low = coring ? 16 : 0, high = coring ? 235 : 255;
    for (int u = 0; u < 256; ++u)
      for (int v = 0; v < 256; ++v)
        inside_[static_cast<std::size_t>(u) << 8 | static_cast<std::size_t>(v)] =
            static_cast<uint8_t>(range.Weight(u, v, 0) > 0 ? high : low);
    const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(VideoOf(call, 0).pixelFormat);
    shiftX_ = desc->log2_chroma_w;
    shiftY_ = desc->log2_chroma_h;
  }

  FrameRef MakeFrame(int64_t n, const Inputs& in) const override {
    const FrameRef source = in.Frame(0, n);
    FramePtr out = NewFrame(*source);
    const Channel* u = Find(sourceChannels_, K::U);
    const Channel* v = Find(sourceChannels_, K::V);
    for (int y = 0; y < info().height; ++y) {
      uint8_t* to = out->data[0] + static_cast<std::ptrdiff_t>(y) * out->linesize[0];
      const uint8_t* fromU = u->Row(*source, y >> shiftY_);
      const uint8_t* fromV = v->Row(*source, y >> shiftY_);
      for (int x = 0; x < info().width; ++x) {
        const int cx = x >> shiftX_;
        to[x] = inside_[static_cast<std::size_t>(fromU[cx * u->step]) << 8 | fromV[cx * v->step]];
      }
    }
    return Share(std::move(out));
  }

 private:
  static ClipInfo MaskInfo(ClipInfo info) {
    info.pixelFormat = AV_PIX_FMT_GRAY8;
    return info;
  }
  std::vector<Channel> sourceChannels_;
  std::array<uint8_t, 256 * 256> inside_{};
  int shiftX_ = 0, shiftY_ = 0;
};

Value MaskHS(Call& call) {
  const ClipInfo& in = VideoOf(call, 0);
  if (!IsYuv(in.pixelFormat) || !HasChannel(in.pixelFormat, K::U)) call.Fail("needs a YUV clip with chroma");
  return std::make_shared<HueSaturationMask>(call, HueSaturationRange::Read(call, 1), call.Bool(5, false));
}

// Blur and Sharpen: the kernel [(1 - 1/2^a)/2, 1/2^a, (1 - 1/2^a)/2] across
// and then down, the picture mirrored about its edge pixels beyond them.
// The pass across keeps its fractions, so that sharpening rounds and clips
// once, as a 3x3 kernel would.
class BlurClip : public PictureFilter {
 public:
  BlurClip(std::string origin, ClipPtr source, double amountH, double amountV)
      : PictureFilter(source->info(), std::move(origin), {source}),
        channels_(ChannelsOf(info().pixelFormat, info().width, info().height)),
        horizontal_(amountH), vertical_(amountV) {}

  FrameRef MakeFrame(int64_t n, const Inputs& in) const override {
    const FrameRef source = in.Frame(0, n);
    FramePtr out = NewFrame(*source);
    std::vector<float> across;
    for (int plane = 0; plane < 4 && source->data[plane]; ++plane) {
      const int rowBytes = av_image_get_linesize(info().pixelFormat, info().width, plane);
      int rows = 0;
      for (const Channel& channel : channels_)
        if (channel.plane == plane) rows = channel.height;
      across.assign(static_cast<std::size_t>(rowBytes) * rows, 0.0F);
      for (const Channel& channel : channels_) {
        if (channel.plane != plane) continue;
        for (int y = 0; y < rows; ++y) {
          const uint8_t* from = channel.Row(*source, y);
          float* to = &across[static_cast<std::size_t>(y) * rowBytes + channel.offset];
          for (int x = 0; x < channel.width; ++x) {
            const int left = Mirrored(x - 1, channel.width) * channel.step;
            const int right = Mirrored(x + 1, channel.width) * channel.step;
            to[x * channel.step] = horizontal_.Apply(from[left], from[x * channel.step], from[right]);
          }
        }
      }
      for (int y = 0; y < rows; ++y) {
        const float* up = &across[static_cast<std::size_t>(Mirrored(y - 1, rows)) * rowBytes];
        const float* row = &across[static_cast<std::size_t>(y) * rowBytes];
        const float* below = &across[static_cast<std::size_t>(Mirrored(y + 1, rows)) * rowBytes];
        uint8_t* to = out->data[plane] + static_cast<std::ptrdiff_t>(y) * out->linesize[plane];
        for (int i = 0; i < rowBytes; ++i)
          to[i] = static_cast<uint8_t>(std::clamp(std::lround(vertical_.Apply(up[i], row[i], below[i])), 0L, 255L));
      }
    }
    return Share(std::move(out));
  }

 private:
  struct Weights {
    explicit Weights(double amount) : centre(static_cast<float>(std::exp2(-amount))), side((1 - centre) / 2) {}
    float Apply(float before, float at, float after) const { return side * (before + after) + centre * at; }
    float centre, side;
  };
  // Beyond an edge the picture is mirrored about its edge pixel.
  static int Mirrored(int i, int size) {
    if (i < 0) i = -i;
    if (i >= size) i = 2 * (size - 1) - i;
    return std::clamp(i, 0, size - 1);
  }

  std::vector<Channel> channels_;
  Weights horizontal_, vertical_;
};

// Blur's amounts run from -1 (sharpening) to log2(3), the plain average of
// three pixels; Sharpen's are Blur's negated.
Function BlurFunction(bool sharpen) {
  return {"clip:c amount:f ?amountV:f ?mmx:b", [sharpen](Call& call) -> Value {
            RequireEightBit(call, VideoOf(call, 0));
            const double most = std::log2(3.0) + 1e-6;
            const double low = sharpen ? -most : -1, high = sharpen ? 1 : most;
            const double h = Ranged(call, 1, 0, low, high, "amount");
            const double v = Ranged(call, 2, h, low, high, "amountV");
            if (h == 0 && v == 0) return call.Clip(0);
            const double sign = sharpen ? -1 : 1;
            return std::make_shared<BlurClip>(call.origin, call.Clip(0), sign * h, sign * v);
          }};
}

// Limiter: luma clamped to min_luma..max_luma and chroma to
// min_chroma..max_chroma (16-235 and 16-240 by default). `show`, which marks
// the samples out of range for viewing, is not drawn.
Value Limiter(Call& call) {
  const ClipInfo& info = VideoOf(call, 0);
  if (IsRgbFormat(info.pixelFormat)) call.Fail("needs a YUV clip");
  if (call.args[5].defined() && !call.String(5, "").empty()) call.Fail("show is not supported");
  auto bound = [&](std::size_t i, double fallback, const char* name) {
    const double value = call.Float(i, fallback);
    if (!(value >= 0 && value <= 255)) call.Fail(std::string(name) + " must be from 0 to 255");
    return value;
  };
  const double lumaLow = bound(1, 16, "min_luma"), lumaHigh = bound(2, 235, "max_luma");
  const double chromaLow = bound(3, 16, "min_chroma"), chromaHigh = bound(4, 240, "max_chroma");
  if (lumaLow > lumaHigh || chromaLow > chromaHigh) call.Fail("a minimum is above its maximum");
  ChannelTables tables;
  tables[K::Y] = MakeTable([&](int v) { return std::clamp<double>(v, lumaLow, lumaHigh); });
  tables[K::U] = tables[K::V] = MakeTable([&](int v) { return std::clamp<double>(v, chromaLow, chromaHigh); });
  return MakeTableClip(call.origin, call.Clip(0), tables);
}

}  // namespace

void RegisterColourAdjustFunctions(FunctionTable& table) {
  table["limiter"] = {"clip:c ?min_luma:f ?max_luma:f ?min_chroma:f ?max_chroma:f ?show:s ?paramscale:b ?autoscale:b",
                      Limiter};
  table["levels"] = {"clip:c input_low:f gamma:f input_high:f output_low:f output_high:f ?coring:b ?dither:b", Levels};
  table["rgbadjust"] = {"clip:c ?r:f ?g:f ?b:f ?a:f ?rb:f ?gb:f ?bb:f ?ab:f ?rg:f ?gg:f ?bg:f ?ag:f ?analyze:b "
                        "?dither:b ?conditional:b ?condvarsuffix:s",
                        RgbAdjust};
  table["coloryuv"] = {"clip:c ?gain_y:f ?off_y:f ?gamma_y:f ?cont_y:f ?gain_u:f ?off_u:f ?gamma_u:f ?cont_u:f "
                       "?gain_v:f ?off_v:f ?gamma_v:f ?cont_v:f ?levels:s ?opt:s ?showyuv:b ?analyze:b ?autowhite:b "
                       "?autogain:b ?conditional:b ?bits:i ?showyuv_fullrange:b ?f2c:b ?condvarsuffix:s",
                       ColorYuv};
  table["tweak"] = {"clip:c ?hue:f ?sat:f ?bright:f ?cont:f ?coring:b ?sse:b ?startHue:f ?endHue:f ?maxSat:f "
                    "?minSat:f ?interp:f ?dither:b ?realcalc:b ?dither_strength:f",
                    Tweak};
  table["maskhs"] = {"clip:c ?startHue:f ?endHue:f ?maxSat:f ?minSat:f ?coring:b ?realcalc:b", MaskHS};
  table["blur"] = BlurFunction(false);
  table["sharpen"] = BlurFunction(true);
}

}  // namespace avs
