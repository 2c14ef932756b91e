// Bit depth: pictures carried to another depth of the same colour format,
// with their range changed on the way (ConvertBits), and the 8-bit pictures
// the encoders take at the end of a script.
//
// Every sample stands for a value on a common scale: luma and R, G, B from
// 0 (black) to 1 (white), chroma from -0.5 to 0.5, alpha from 0 to 1. An
// n-bit limited-range sample v is 16 + 219 * L (128 + 224 * C for chroma)
// times 2^(n - 8), so that changing the depth is a shift; a full-range one
// is L * (2^n - 1) (chroma 2^(n-1) + C * (2^n - 2), so that 8-bit chroma
// spans 128 +/- 127); a float one is L itself in full range and
// (16 + 219 * L) / 255 in limited range. Alpha is always full range.
#pragma once

#include "tools/engine/clip.h"

#include <string>

namespace avs {

enum class Dither { None, Ordered, ErrorDiffusion };

struct DepthChange {
  AVPixelFormat target = AV_PIX_FMT_NONE;  // the source's colour family at another depth (or the same)
  bool fullSource = false;                 // the ranges of luma, chroma and RGB
  bool fullTarget = false;
  // The depth the source's samples are taken to have: its own, or 16 for a
  // 10..14-bit picture whose samples fill 16 bits (truerange=false).
  int sourceBits = 0;
  Dither dither = Dither::None;
  int ditherBits = 0;  // the target's depth, or fewer for a coarser dither
};

// `source` converted sample by sample as `change` says.
ClipPtr MakeDepthClip(std::string origin, ClipPtr source, const DepthChange& change);
// One picture converted the same way (a colour swatch made at 8 bits).
FramePtr ChangeDepth(const AVFrame& picture, const DepthChange& change, const std::string& origin);
// The usual change of a clip's depth, its range kept: limited for YUV and
// Y, full for RGB.
DepthChange PlainDepthChange(AVPixelFormat from, AVPixelFormat to);
// The clip as the encoders take it: deeper pictures brought to 8 bits with
// an ordered dither, 8-bit clips as they are.
ClipPtr ForEncoders(ClipPtr clip);

}  // namespace avs
