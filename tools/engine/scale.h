// Picture conversion through swscale: size, pixel format, colour matrix and
// range in one step, with the library's slice threads.
#pragma once

#include "tools/engine/clip.h"

#include <string>

struct SwsContext;

namespace avs {

enum class Matrix { Rec601, Rec709, PC601, PC709 };

// How swscale resamples: an SWS_* algorithm with its two tuning parameters
// (bicubic's B and C, lanczos's taps, gauss's sharpness; kSwscaleDefault
// keeps swscale's own), and where the chroma samples of subsampled source
// and target pictures sit (horizontally, vertically) in 1/256 of a luma
// sample (kSwscaleDefault keeps swscale's guess).
struct ScaleMethod {
  static constexpr int kSwscaleDefault = -513;
  ScaleMethod(int algorithm) : algorithm(algorithm) {}  // NOLINT: an SWS_* flag is a method
  int algorithm;
  double params[2] = {123456, 123456};  // swscale's SWS_PARAM_DEFAULT
  int sourceChroma[2] = {kSwscaleDefault, kSwscaleDefault};
  int targetChroma[2] = {kSwscaleDefault, kSwscaleDefault};
};

class Scaler {
 public:
  Scaler(int width, int height, AVPixelFormat format, ScaleMethod method, Matrix matrix);
  ~Scaler();
  Scaler(const Scaler&) = delete;
  Scaler& operator=(const Scaler&) = delete;

  // A new frame converted from `source`. The context is rebuilt when the
  // source's size, format or range changes. A full-range YUV source (a "J"
  // format, or flagged so) becomes limited range unless the matrix is a PC
  // one. Failures are reported as coming from `origin`.
  FramePtr Convert(const AVFrame& source, const std::string& origin);

 private:
  int width_, height_;
  AVPixelFormat format_;
  ScaleMethod method_;
  Matrix matrix_;
  SwsContext* context_ = nullptr;
  int sourceWidth_ = 0, sourceHeight_ = 0, sourceFormat_ = -1;
  bool sourceFullRange_ = false;
  PicturePool pool_;
};

// A clip whose frames are `source`'s converted by a Scaler to the picture
// `info` describes (resizers and colour conversions). On a clip of
// MakeLimitedRangeClip, a conversion that reads YUV as limited range (a
// Rec matrix) reads the full-range source directly and folds the range
// into its own pass.
ClipPtr MakeScaledClip(ClipInfo info, std::string origin, ClipPtr source, ScaleMethod method, Matrix matrix);

// The frames of `fullRange` (full-range YUV or grey, flagged so) in the
// limited range, converted at their own size: a source's last step, which
// the first resize or format conversion built on it takes over.
ClipPtr MakeLimitedRangeClip(ClipPtr fullRange);

// The engine keeps pictures in the formats AviSynth+ has (pixel_format.h).
// A decoded format maps to the nearest: 8-bit pictures to YV12, YV16, YV24,
// Y8, YUY2, RGB24 or RGB32, deeper ones to the same family at their depth
// (yuv420p10 stays YUV420P10, gray12 becomes Y12, gbrp16 RGBP16).
AVPixelFormat EngineFormat(AVPixelFormat decoded);
// Whether a decoded frame can pass as a frame of `engine` format without
// conversion: the same format in the limited range (or RGB).
bool PassesAs(const AVFrame& decoded, AVPixelFormat engine);
// Full-range YUV or grey: a "J" format, or a plain one flagged so.
bool IsFullRange(const AVFrame& frame);
bool IsFullRangeFormat(AVPixelFormat format);
// Gives a full-range decoded frame whose pixels are laid out as `engine`'s
// (a "J" format's plain twin, or that format itself) the engine format's
// name, flagged full range; false, leaving it, for any other frame.
bool LabelFullRange(AVFrame& decoded, AVPixelFormat engine);

}  // namespace avs
