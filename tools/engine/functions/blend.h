// Pictures mixed from the rows of other pictures: the blends of dissolves,
// fades and ConvertFPS, at any depth; weights are in 1/65536.
#pragma once

#include "tools/engine/clip.h"

#include <cstdint>
#include <vector>

namespace avs {

constexpr int64_t kWholeWeight = 65536;

// A picture row made of two frames' rows: `weight` of frame `to` and the
// rest of frame `from` (indices into the frames given to MixRows).
struct RowMix {
  int from = 0;
  int to = 0;
  int64_t weight = 0;
  bool operator==(const RowMix&) const = default;
};

// The weight k / (n + 1), rounded: overlap frame k - 1 of n takes this
// much of the clip it leads into, so that neither end is all of either.
int64_t BlendWeight(int64_t k, int64_t n);

// A new picture in `info`'s size and format whose row y mixes as rows[y]
// says (one entry per row of the picture's height). A chroma row that
// covers several rows of a subsampled picture is the mean of their mixes.
FrameRef MixRows(const std::vector<const AVFrame*>& frames, const std::vector<RowMix>& rows, const ClipInfo& info);

// a * (1 - w) + b * w over the whole picture, 0 <= w <= kWholeWeight.
FrameRef Blend(const AVFrame& a, const AVFrame& b, int64_t w, const ClipInfo& info);

}  // namespace avs
