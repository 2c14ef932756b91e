// Filters that the source functions apply for their own options.
#pragma once

#include "tools/engine/script.h"

#include <string>
#include <vector>

namespace avs {

// The pixel_type option: the picture converted to that AviSynth pixel type
// ("YV12", "RGB24", ...); "AUTO" and "FULL" keep the decoded one.
ClipPtr WithPixelType(const Call& call, const ClipPtr& clip, const std::string& pixelType);
// The fps option: the same frames at another rate.
ClipPtr WithFrameRate(const Call& call, const ClipPtr& clip, Rational fps);

// Clips played one after the other (AlignedSplice when `aligned`: each
// clip's sound fitted to its frames).
ClipPtr SpliceClips(const Call& call, std::vector<ClipPtr> parts, bool aligned);

}  // namespace avs
