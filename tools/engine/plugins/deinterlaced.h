// A deinterlacer of libavfilter's yadif family run on a clip, shared by the
// plugins whose counterparts they are (Yadif, yadifmod2, BWDIF).
#pragma once

#include "tools/engine/script.h"

#include <string>

namespace avs {

// Call argument 0's frames deinterlaced by `filter` (yadif, bwdif) in its
// `mode`: an odd mode makes a frame of each field at twice the rate, an even
// one keeps the rate; the field that comes first (the top one when
// `topFieldFirst`) is the one kept. Refuses separated fields.
ClipPtr Deinterlaced(const Call& call, const std::string& filter, int64_t mode, bool topFieldFirst);

}  // namespace avs
