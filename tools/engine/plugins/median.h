// The temporal median the Median and RgTools plugin families share.
#pragma once

#include "tools/engine/script.h"

namespace avs {

// Each pixel the median of its values in the 2 * radius + 1 frames around
// it, on the planes of the `planes` mask (libavfilter's tmedian); at the
// clip's ends its first and last frames stand for those beyond.
ClipPtr TemporalMedianOf(const Call& call, const ClipPtr& clip, int64_t radius, int planes);

}  // namespace avs
