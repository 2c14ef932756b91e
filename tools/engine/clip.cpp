#include "tools/engine/clip.h"

extern "C" {
#include <libavutil/pixdesc.h>
}

#include <algorithm>
#include <cmath>

namespace avs {

namespace {

std::string Range(const ClipInfo& info) {
  if (info.hasVideo) {
    if (info.width <= 0 || info.height <= 0 || info.width > kMaxPictureSide || info.height > kMaxPictureSide)
      return "the picture size " + std::to_string(info.width) + "x" + std::to_string(info.height) + " is out of range";
    if (info.pixelFormat == AV_PIX_FMT_NONE) return "the picture has no pixel format";
    if (info.fps.num <= 0 || info.fps.den <= 0 || info.fps.num > INT32_MAX || info.fps.den > INT32_MAX)
      return "the frame rate " + std::to_string(info.fps.num) + "/" + std::to_string(info.fps.den) + " is out of range";
    if (info.frameCount <= 0 || info.frameCount > kMaxFrames)
      return "the frame count " + std::to_string(info.frameCount) + " is out of range";
  }
  if (info.hasAudio) {
    if (info.sampleRate <= 0 || info.sampleRate > kMaxSampleRate)
      return "the sample rate " + std::to_string(info.sampleRate) + " is out of range";
    if (info.channels <= 0 || info.channels > kMaxChannels)
      return std::to_string(info.channels) + " channels are out of range";
    if (info.sampleCount < 0 || info.sampleCount > kMaxSamples)
      return "the sound's length of " + std::to_string(info.sampleCount) + " samples is out of range";
  }
  return {};
}

}  // namespace

Clip::Clip(ClipInfo info, std::string origin, std::vector<ClipPtr> inputs)
    : info_(info), origin_(std::move(origin)), inputs_(std::move(inputs)) {
  if (std::string problem = Range(info_); !problem.empty()) Fail(problem);
  for (const ClipPtr& input : inputs_) depth_ = std::max(depth_, input->depth_ + 1);
  if (depth_ > kMaxChainDepth)
    Fail("more than " + std::to_string(kMaxChainDepth) + " filters are chained one on another");
}

std::unique_ptr<VideoStream> Clip::OpenVideo(Reading&) const { Fail("this clip makes no frames of its own"); }
std::unique_ptr<AudioStream> Clip::OpenAudio(Reading&) const { Fail("this clip makes no sound of its own"); }

void Clip::Fail(const std::string& message) const { throw ScriptError(origin_ + ": " + message); }

std::string ReadableText(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  auto escape = [&out](unsigned char byte) {
    static const char kDigits[] = "0123456789ABCDEF";
    out += "\\x";
    out += kDigits[byte >> 4];
    out += kDigits[byte & 15];
  };
  for (std::size_t i = 0; i < text.size();) {
    const auto byte = static_cast<unsigned char>(text[i]);
    if (byte == 0) {
      out += "\\0";
      ++i;
    } else if (byte < 0x80) {
      if ((byte < 0x20 && byte != '\n' && byte != '\t') || byte == 0x7F) escape(byte);
      else out += static_cast<char>(byte);
      ++i;
    } else {
      // The length a lead byte announces, and the smallest code point such
      // a sequence may carry (shorter forms are overlong encodings).
      const int length = byte >= 0xC2 && byte <= 0xDF ? 2 : byte >= 0xE0 && byte <= 0xEF ? 3 : byte >= 0xF0 && byte <= 0xF4 ? 4 : 0;
      uint32_t code = length == 2 ? byte & 0x1F : length == 3 ? byte & 0x0F : byte & 0x07;
      bool valid = length > 0 && i + static_cast<std::size_t>(length) <= text.size();
      for (int k = 1; valid && k < length; ++k) {
        const auto next = static_cast<unsigned char>(text[i + static_cast<std::size_t>(k)]);
        valid = (next & 0xC0) == 0x80;
        code = code << 6 | (next & 0x3F);
      }
      const uint32_t smallest = length == 3 ? 0x800 : length == 4 ? 0x10000 : 0x80;
      valid = valid && code >= smallest && code <= 0x10FFFF && (code < 0xD800 || code > 0xDFFF);
      if (!valid) {
        escape(byte);
        ++i;
        continue;
      }
      out.append(text.substr(i, static_cast<std::size_t>(length)));
      i += static_cast<std::size_t>(length);
    }
  }
  return out;
}

bool IsRgbFormat(AVPixelFormat format) {
  const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(format);
  return desc && (desc->flags & AV_PIX_FMT_FLAG_RGB);
}

void TakeSoundOf(ClipInfo& info, const ClipInfo& sound) {
  info.hasAudio = sound.hasAudio;
  info.sampleRate = sound.sampleRate;
  info.channels = sound.channels;
  info.sampleType = sound.sampleType;
  info.sampleCount = sound.sampleCount;
}

int64_t SamplesForFrames(int64_t frames, const ClipInfo& info) {
  // 128-bit arithmetic: frames, rates and denominators up to 2^31 each.
  const __int128 scaled = static_cast<__int128>(frames) * info.sampleRate * info.fps.den;
  const __int128 half = info.fps.num / 2;
  __int128 samples = (scaled >= 0 ? scaled + half : scaled - half) / info.fps.num;
  if (samples > kMaxSamples) return kMaxSamples + 1;
  if (samples < -kMaxSamples) return -kMaxSamples - 1;
  return static_cast<int64_t>(samples);
}

Rational FloatToRational(double fps) {
  if (!(fps > 0) || fps > kMaxFloatRate) return Rational{0, 1};  // NaN too
  // The first continued-fraction convergent within the precision a script's
  // decimal number carries.
  const double tolerance = fps * 1e-7;
  double x = fps;
  int64_t h0 = 1, h1 = 0, k0 = 0, k1 = 1;  // convergents h/k
  for (int i = 0; i < 40; ++i) {
    double a = std::floor(x);
    if (a > 1e12) break;
    const __int128 ai = static_cast<int64_t>(a);
    const __int128 h = ai * h0 + h1, k = ai * k0 + k1;
    if (k > 1000000000 || h > INT32_MAX) break;
    h1 = h0;
    h0 = static_cast<int64_t>(h);
    k1 = k0;
    k0 = static_cast<int64_t>(k);
    if (std::fabs(fps - static_cast<double>(h) / static_cast<double>(k)) <= tolerance) break;
    double frac = x - a;
    if (frac < 1e-12) break;
    x = 1.0 / frac;
  }
  return Rational{h0, k0};
}

}  // namespace avs
