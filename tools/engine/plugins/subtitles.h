// Text subtitles drawn by libass through libavfilter's subtitles filter,
// shared by the plugins that draw them (VSFilter's TextSub, assrender).
#pragma once

#include "tools/engine/script.h"

#include <string>

namespace avs {

// The clip of call argument 0 with the subtitles of `file` (.ass, .ssa,
// .srt and the other text formats FFmpeg reads) drawn on it, the file read in
// `characterSet` (an iconv name; empty: UTF-8) and its fonts looked up with
// fontconfig, and in `fontsDir` too when given.
ClipPtr WithSubtitles(const Call& call, const std::string& file, const std::string& characterSet,
                      const std::string& fontsDir);

}  // namespace avs
