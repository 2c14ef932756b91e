// What the counterparts of the source plugins (FFMS2, L-SMASH Works, DSS2)
// share: the pixel format and resizer names they take, the constant frame
// rate they convert to, and their refusal of what cannot be honoured.
#pragma once

#include "tools/engine/functions/common.h"

#include <string>

namespace avs {

// The clip in the pixel format FFMS2's colorspace or L-SMASH Works's format
// names: AviSynth's names (YV12, YUY2, RGB32...) or the systematic ones
// (YUV420P10, Y16, GBRP12...), in any letter case; "" keeps the clip's. A
// format the engine keeps no pictures in (YV411, XYZ12LE) is refused,
// naming `option`.
ClipPtr WithFormatNamed(const Call& call, const ClipPtr& clip, const std::string& name, const std::string& option);

// The clip resized to `width` x `height` (0 or less keeps that side) with
// swscale's algorithm of FFMS2's resizer name (BICUBIC, LANCZOS, ...).
ClipPtr WithSizeNamed(const Call& call, const ClipPtr& clip, int64_t width, int64_t height, const std::string& resizer);

// The clip at the constant frame rate num/den, frames dropped or repeated to
// reach it, as FFMS2 and L-SMASH Works convert a variable rate; num of 0 or
// less keeps the clip as it is.
ClipPtr WithConstantRate(const Call& call, const ClipPtr& clip, int64_t num, int64_t den);

}  // namespace avs
