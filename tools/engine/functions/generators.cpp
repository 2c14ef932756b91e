// Generators: colour bars and tones, clips computed from their parameters
// alone.
#include "tools/engine/filter.h"
#include "tools/engine/functions/bit_depth.h"
#include "tools/engine/functions/common.h"
#include "tools/engine/functions/families.h"
#include "tools/engine/pixel_format.h"
#include "tools/engine/samples.h"
#include "tools/engine/scale.h"

extern "C" {
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <numbers>
#include <vector>

namespace avs {

namespace {

// A colour as 8-bit studio-range values, both ways: R'G'B' for the RGB
// pixel types and Y'CbCr for the others.
struct Colour {
  uint8_t r, g, b;
  uint8_t y, u, v;
};

uint8_t Code(double value) { return static_cast<uint8_t>(std::lround(std::clamp(value, 0.0, 255.0))); }

// The colour of R'G'B' (0 to 1) in studio range through the matrix with
// luma weights kr and kb (0.299/0.114 for BT.601, 0.2126/0.0722 for BT.709).
Colour FromRgb(double r, double g, double b, double kr, double kb) {
  const double y = kr * r + (1 - kr - kb) * g + kb * b;
  return {Code(16 + 219 * r),
          Code(16 + 219 * g),
          Code(16 + 219 * b),
          Code(16 + 219 * y),
          Code(128 + 224 * (b - y) / (2 * (1 - kb))),
          Code(128 + 224 * (r - y) / (2 * (1 - kr)))};
}
Colour Grey(uint8_t level) { return {level, level, level, level, 128, 128}; }

// A rectangle of one colour, right and bottom edges excluded.
struct Patch {
  int x0, y0, x1, y1;
  Colour colour;
};

// Paints patches that cover the picture. Planar YUV pictures take each
// chroma sample from the patch under its top-left pixel, so edges that fall
// on chroma sample boundaries stay sharp; YUY2 is painted as 4:2:2 and
// packed, RGB24 painted as RGB32 and converted.
FrameRef PaintPatches(const ClipInfo& info, const std::vector<Patch>& patches, const std::string& origin) {
  const AVPixelFormat format = info.pixelFormat;
  const bool rgb = IsRgbFormat(format);
  const AVPixelFormat painted = format == AV_PIX_FMT_YUYV422 ? AV_PIX_FMT_YUV422P : rgb ? AV_PIX_FMT_BGRA : format;
  FramePtr frame = NewPicture(info.width, info.height, painted);
  const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(painted);
  for (const Patch& p : patches) {
    if (rgb) {
      for (int y = p.y0; y < p.y1; ++y) {
        uint8_t* row = frame->data[0] + static_cast<std::ptrdiff_t>(y) * frame->linesize[0];
        for (int x = p.x0; x < p.x1; ++x) {
          row[4 * x] = p.colour.b;
          row[4 * x + 1] = p.colour.g;
          row[4 * x + 2] = p.colour.r;
          row[4 * x + 3] = 0xFF;
        }
      }
      continue;
    }
    for (int y = p.y0; y < p.y1; ++y)
      std::memset(frame->data[0] + static_cast<std::ptrdiff_t>(y) * frame->linesize[0] + p.x0, p.colour.y,
                  static_cast<std::size_t>(p.x1 - p.x0));
    if (desc->nb_components < 3) continue;
    const int sw = desc->log2_chroma_w, sh = desc->log2_chroma_h;
    // The chroma samples whose top-left pixel lies in the patch.
    const int cx0 = (p.x0 + (1 << sw) - 1) >> sw, cx1 = (p.x1 + (1 << sw) - 1) >> sw;
    const int cy0 = (p.y0 + (1 << sh) - 1) >> sh, cy1 = (p.y1 + (1 << sh) - 1) >> sh;
    for (int y = cy0; y < cy1; ++y) {
      std::memset(frame->data[1] + static_cast<std::ptrdiff_t>(y) * frame->linesize[1] + cx0, p.colour.u,
                  static_cast<std::size_t>(std::max(0, cx1 - cx0)));
      std::memset(frame->data[2] + static_cast<std::ptrdiff_t>(y) * frame->linesize[2] + cx0, p.colour.v,
                  static_cast<std::size_t>(std::max(0, cx1 - cx0)));
    }
  }
  if (!rgb) frame->color_range = AVCOL_RANGE_MPEG;
  if (painted != format)
    frame = Scaler(info.width, info.height, format, SWS_POINT, Matrix::Rec601).Convert(*frame, origin);
  return Share(std::move(frame));
}

// A sound computed sample by sample: `make(dst, start, count)` writes
// interleaved floats.
using SoundMaker = std::function<void(float* dst, int64_t start, int64_t count)>;

// A generated clip: a picture of patches shared by every frame (made on the
// first request, again only when the cache has dropped it), and a sound of
// floats made on request.
class GeneratedClip : public Clip {
 public:
  GeneratedClip(ClipInfo info, std::string origin, std::vector<Patch> patches, SoundMaker sound)
      : Clip(info, std::move(origin)), patches_(std::move(patches)), sound_(std::move(sound)) {}

  std::unique_ptr<VideoStream> OpenVideo(Reading&) const override {
    return FramesFrom(
        [this, made = std::weak_ptr<const AVFrame>()](int64_t) mutable {
          FrameRef frame = made.lock();
          if (!frame) made = frame = PaintPatches(info(), patches_, origin());
          return frame;
        },
        true);
  }
  std::unique_ptr<AudioStream> OpenAudio(Reading&) const override {
    return SamplesFrom(
        [this](void* dst, int64_t start, int64_t count) { sound_(static_cast<float*>(dst), start, count); });
  }

 private:
  std::vector<Patch> patches_;
  SoundMaker sound_;
};

// The fraction of a cycle at sample `n` of a wave of `frequency` Hz,
// computed from the sample number alone so that any stretch of the sound
// reads the same.
double Phase(double frequency, int64_t n, int rate) {
  const double cycles = frequency * static_cast<double>(n) / rate;
  return cycles - std::floor(cycles);
}

double Sine(double phase) { return std::sin(2 * std::numbers::pi * phase); }

// Edges at fractions of a side, moved to the nearest multiple of `step`.
int Edge(int side, int numerator, int denominator, int step) {
  const int64_t exact = static_cast<int64_t>(side) * numerator;
  const int64_t units =
      (exact + static_cast<int64_t>(denominator) * step / 2) / (static_cast<int64_t>(denominator) * step);
  return static_cast<int>(units * step);
}

// SMPTE EG 1 bars: seven 75% bars over the top two thirds; a strip of
// reversed blue bars down to three quarters; below, -I, 100% white and +Q
// each 5/4 of a bar wide, black, and the PLUGE (-4, 0, +4 IRE) in thirds of
// the sixth bar's width. BT.601 colours; -I and +Q keep AviSynth's
// separate RGB and YUV values, which are not conversions of each other.
std::vector<Patch> SmpteBars(int w, int h, int xStep, int yStep) {
  constexpr double kr = 0.299, kb = 0.114, s = 0.75;
  const Colour bars[7] = {FromRgb(s, s, s, kr, kb), FromRgb(s, s, 0, kr, kb), FromRgb(0, s, s, kr, kb),
                          FromRgb(0, s, 0, kr, kb), FromRgb(s, 0, s, kr, kb), FromRgb(s, 0, 0, kr, kb),
                          FromRgb(0, 0, s, kr, kb)};
  const Colour black = Grey(16);
  const Colour strip[7] = {bars[6], black, bars[4], black, bars[2], black, bars[0]};
  const Colour minusI{16, 90, 130, 16, 158, 95}, plusQ{92, 16, 143, 16, 174, 149};
  int x[8];
  for (int i = 0; i <= 7; ++i) x[i] = Edge(w, i, 7, xStep);
  const int top = Edge(h, 2, 3, yStep), middle = Edge(h, 3, 4, yStep);
  std::vector<Patch> patches;
  for (int i = 0; i < 7; ++i) {
    patches.push_back({x[i], 0, x[i + 1], top, bars[i]});
    patches.push_back({x[i], top, x[i + 1], middle, strip[i]});
  }
  const int q1 = Edge(w, 5, 28, xStep), q2 = Edge(w, 10, 28, xStep), q3 = Edge(w, 15, 28, xStep);
  const int p1 = Edge(w, 5 * 3 + 1, 21, xStep), p2 = Edge(w, 5 * 3 + 2, 21, xStep);
  const Patch bottom[] = {{0, middle, q1, h, minusI},      {q1, middle, q2, h, Grey(235)}, {q2, middle, q3, h, plusQ},
                          {q3, middle, x[5], h, black},    {x[5], middle, p1, h, Grey(7)}, {p1, middle, p2, h, black},
                          {p2, middle, x[6], h, Grey(25)}, {x[6], middle, w, h, black}};
  patches.insert(patches.end(), std::begin(bottom), std::end(bottom));
  return patches;
}

// ARIB STD-B28 bars for HD, BT.709 colours: side panels an eighth of the
// width wide, bars 3/28 of it. Rows of 7/12, 1/12, 1/12 and 3/12 of the
// height: 40% grey panels around the 75% bars; 100% cyan, 100% white, 75%
// white and 100% blue; 100% yellow, black, a luma ramp from black to white
// and 100% red; 15% grey panels around black, 100% white, black, the
// PLUGE (-2, 0, +2, 0, +4%) and black.
std::vector<Patch> AribBars(int w, int h) {
  constexpr double kr = 0.2126, kb = 0.0722, s = 0.75;
  const Colour black = Grey(16);
  auto level = [](double percent) { return Grey(Code(16 + 219 * percent / 100)); };
  const int d = Edge(w, 1, 8, 1), c = Edge(w, 3, 28, 1);
  const int y1 = Edge(h, 7, 12, 1), y2 = Edge(h, 8, 12, 1), y3 = Edge(h, 9, 12, 1);
  std::vector<Patch> patches;
  patches.push_back({0, 0, d, y1, level(40)});
  patches.push_back({w - d, 0, w, y1, level(40)});
  const Colour bars[7] = {FromRgb(s, s, s, kr, kb), FromRgb(s, s, 0, kr, kb), FromRgb(0, s, s, kr, kb),
                          FromRgb(0, s, 0, kr, kb), FromRgb(s, 0, s, kr, kb), FromRgb(s, 0, 0, kr, kb),
                          FromRgb(0, 0, s, kr, kb)};
  for (int i = 0; i < 7; ++i) {
    const int right = i == 6 ? w - d : d + Edge(w - 2 * d, i + 1, 7, 1);
    patches.push_back({d + Edge(w - 2 * d, i, 7, 1), 0, right, y1, bars[i]});
  }
  patches.push_back({0, y1, d, y2, FromRgb(0, 1, 1, kr, kb)});
  patches.push_back({d, y1, d + c, y2, Grey(235)});
  patches.push_back({d + c, y1, w - d, y2, bars[0]});
  patches.push_back({w - d, y1, w, y2, FromRgb(0, 0, 1, kr, kb)});
  patches.push_back({0, y2, d, y3, FromRgb(1, 1, 0, kr, kb)});
  patches.push_back({d, y2, d + c, y3, black});
  const int rampWidth = std::max(1, w - d - (d + c));
  for (int x = d + c; x < w - d; ++x)
    patches.push_back({x, y2, x + 1, y3, Grey(Code(16 + 219.0 * (x - d - c) / std::max(1, rampWidth - 1)))});
  patches.push_back({w - d, y2, w, y3, FromRgb(1, 0, 0, kr, kb)});
  // The bottom row in bar widths from the left panel: black 1.5, white 2,
  // black 5/6, then the PLUGE steps of 1/3 each, and black to the panel.
  const double steps[] = {1.5, 2, 5.0 / 6, 1.0 / 3, 1.0 / 3, 1.0 / 3, 1.0 / 3, 1.0 / 3};
  const Colour fills[] = {black, Grey(235), black, level(-2), black, level(2), black, level(4)};
  patches.push_back({0, y3, d, h, level(15)});
  double at = 0;
  int left = d;
  for (int i = 0; i < 8; ++i) {
    at += steps[i];
    const int right = std::min(w - d, d + static_cast<int>(std::lround(at * c)));
    patches.push_back({left, y3, right, h, fills[i]});
    left = right;
  }
  patches.push_back({left, y3, w - d, h, black});
  patches.push_back({w - d, y3, w, h, level(15)});
  return patches;
}

// A 440 Hz sine at full scale in both channels of 48 kHz float sound; the
// right channel sounds for the first half of every second only.
void BarsTone(float* dst, int64_t start, int64_t count) {
  constexpr int kRate = 48000;
  for (int64_t i = 0; i < count; ++i) {
    const int64_t n = start + i;
    const float value = static_cast<float>(Sine(Phase(440, n, kRate)));
    dst[2 * i] = value;
    dst[2 * i + 1] = n % kRate < kRate / 2 ? value : 0.0f;
  }
}

Value Bars(Call& call, bool hd) {
  ClipInfo info;
  info.hasVideo = true;
  const int64_t width = call.Int(0, hd ? 1288 : 640), height = call.Int(1, hd ? 720 : 480);
  // Deeper pictures are the 8-bit bars carried to their depth.
  const AVPixelFormat format = ParsePixelType(call, call.String(2, hd ? "YV24" : "RGB32"));
  info.pixelFormat = AtDepth(format, 8);
  if (hd && info.pixelFormat != AV_PIX_FMT_YUV444P) call.Fail("pixel_type must be \"YV24\" or a deeper 4:4:4 YUV");
  if (info.pixelFormat == AV_PIX_FMT_GRAY8) call.Fail("pixel_type must be a colour format, not \"Y8\"");
  if (HasAlpha(info.pixelFormat) && !IsRgbFormat(info.pixelFormat))
    call.Fail(std::string("pixel_type must be a format without alpha, not \"") + PixelTypeName(format) + "\"");
  CheckSize(call, width, height, info.pixelFormat);
  info.width = static_cast<int>(width);
  info.height = static_cast<int>(height);
  // An hour at 29.97 frames a second.
  info.fps = {30000, 1001};
  info.frameCount = 107892;
  info.hasAudio = true;
  info.sampleRate = 48000;
  info.channels = 2;
  info.sampleType = SampleType::Float;
  info.sampleCount = SamplesForFrames(info.frameCount, info);
  // staticframes (call.args[3]) changes nothing here: every frame is the
  // same picture whether it is shared or made again.
  const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(info.pixelFormat);
  const bool packed422 = info.pixelFormat == AV_PIX_FMT_YUYV422;
  const int xStep = IsRgbFormat(info.pixelFormat) ? 1 : packed422 ? 2 : 1 << desc->log2_chroma_w;
  const int yStep = IsRgbFormat(info.pixelFormat) || packed422 ? 1 : 1 << desc->log2_chroma_h;
  std::vector<Patch> patches =
      hd ? AribBars(info.width, info.height) : SmpteBars(info.width, info.height, xStep, yStep);
  ClipPtr bars = std::make_shared<GeneratedClip>(info, call.origin, std::move(patches), BarsTone);
  if (format == info.pixelFormat) return bars;
  return MakeDepthClip(call.origin, bars, PlainDepthChange(info.pixelFormat, format));
}

Value ColorBars(Call& call) { return Bars(call, false); }
Value ColorBarsHD(Call& call) { return Bars(call, true); }

// A pseudo-random value in [-1, 1) for sample n, the same on every read.
double Noise(int64_t n) {
  uint64_t z = static_cast<uint64_t>(n) + 0x9E3779B97F4A7C15ull;
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  z ^= z >> 31;
  return static_cast<double>(z >> 11) / static_cast<double>(uint64_t{1} << 52) - 1.0;
}

// Tone's waves over one cycle (phase 0 to 1), each starting at 0 and
// rising, between -1 and 1.
double Wave(int type, double phase) {
  switch (type) {
    case 0:
      return Sine(phase);
    case 1:  // square
      return phase < 0.5 ? 1.0 : -1.0;
    case 2:  // triangle
      return phase < 0.25 ? 4 * phase : phase < 0.75 ? 2 - 4 * phase : 4 * phase - 4;
    default:  // sawtooth
      return phase < 0.5 ? 2 * phase : 2 * phase - 2;
  }
}

// Tone(length, frequency, samplerate, channels, type, level): a sound
// alone, in floats, every channel the same.
Value Tone(Call& call) {
  const double seconds = call.Float(0, 10.0), frequency = call.Float(1, 440.0), level = call.Float(5, 1.0);
  const int64_t rate = call.Int(2, 48000), channels = call.Int(3, 2);
  const std::string type = Lower(call.String(4, "Sine"));
  if (rate <= 0 || rate > kMaxSampleRate) call.Fail("samplerate " + std::to_string(rate) + " is out of range");
  if (channels <= 0 || channels > kMaxChannels) call.Fail("channels " + std::to_string(channels) + " is out of range");
  // Up to a gigahertz, so that the cycles counted to any sample stay finite.
  if (!(frequency >= 0 && frequency <= 1e9)) call.Fail("frequency must be between 0 and 1000000000");
  if (!std::isfinite(level)) call.Fail("level must be a number");
  const double samples = std::round(seconds * static_cast<double>(rate));
  if (!(samples > 0) || samples > static_cast<double>(kMaxSamples)) call.Fail("the length is out of range");

  static const char* const kTypes[] = {"sine", "square", "triangle", "sawtooth", "noise", "silence"};
  int kind = -1;
  for (int i = 0; i < 6; ++i)
    if (type == kTypes[i]) kind = i;
  if (kind < 0)
    call.Fail("type must be \"Sine\", \"Noise\", \"Square\", \"Triangle\", \"Sawtooth\" or \"Silence\", not \"" +
              call.String(4, "") + "\"");

  ClipInfo info;
  info.hasAudio = true;
  info.sampleRate = static_cast<int>(rate);
  info.channels = static_cast<int>(channels);
  info.sampleType = SampleType::Float;
  info.sampleCount = static_cast<int64_t>(samples);
  const int width = info.channels, sampleRate = info.sampleRate;
  SoundMaker sound = [kind, frequency, level, width, sampleRate](float* dst, int64_t start, int64_t count) {
    for (int64_t i = 0; i < count; ++i) {
      const int64_t n = start + i;
      double value = 0;
      if (kind == 4)
        value = Noise(n);
      else if (kind < 4)
        value = Wave(kind, Phase(frequency, n, sampleRate));
      const float out = static_cast<float>(level * value);
      for (int c = 0; c < width; ++c) dst[i * width + c] = out;
    }
  };
  return std::make_shared<GeneratedClip>(info, call.origin, std::vector<Patch>{}, std::move(sound));
}

}  // namespace

void RegisterGeneratorFunctions(FunctionTable& table) {
  table["colorbars"] = {"?width:i ?height:i ?pixel_type:s ?staticframes:b", ColorBars};
  table["colorbarshd"] = {"?width:i ?height:i ?pixel_type:s ?staticframes:b", ColorBarsHD};
  table["tone"] = {"?length:f ?frequency:f ?samplerate:i ?channels:i ?type:s ?level:f", Tone};
}

}  // namespace avs
