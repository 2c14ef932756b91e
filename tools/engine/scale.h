// Picture conversion through swscale: size, pixel format and colour matrix
// in one step, reusing its output frame and the library's slice threads.
#pragma once

#include "tools/engine/clip.h"

struct SwsContext;

namespace avs {

enum class Matrix { Rec601, Rec709, PC601, PC709 };

class Scaler {
 public:
  // `kernel` is an SWS_* scaling algorithm.
  Scaler(int width, int height, AVPixelFormat format, int kernel, Matrix matrix);
  ~Scaler();
  Scaler(const Scaler&) = delete;
  Scaler& operator=(const Scaler&) = delete;

  // The converted frame stays valid until the next call. The context is
  // rebuilt when the source's size or format changes. Failures are reported
  // as coming from `origin`.
  const AVFrame* Convert(const AVFrame* source, const std::string& origin);

 private:
  int width_, height_;
  AVPixelFormat format_;
  int kernel_;
  Matrix matrix_;
  SwsContext* context_ = nullptr;
  int sourceWidth_ = 0, sourceHeight_ = 0, sourceFormat_ = -1;
  FramePtr out_;
};

// The engine keeps pictures in the formats AviSynth has: YV12, YV16, YV24,
// Y8, YUY2, RGB24 and RGB32. Any other decoded format maps to the nearest.
AVPixelFormat EngineFormat(AVPixelFormat decoded);
// Whether frames of `decoded` can pass as `engine` without conversion (the
// full-range "J" formats carry the same planes).
bool PassesAs(AVPixelFormat decoded, AVPixelFormat engine);

}  // namespace avs
