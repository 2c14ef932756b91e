// Resampling with a source window: the resizers' sub-pixel crops and Bob's
// shifted fields.
#pragma once

#include "tools/engine/clip.h"

#include <array>
#include <functional>
#include <string>

namespace avs {

// A resampling kernel: its weight at a distance in source pixels (for
// enlargements; reductions stretch it), zero beyond `support`. A point
// kernel takes the nearest pixel.
struct ResizeKernel {
  double support = 1;
  std::function<double(double distance)> weight;
  bool point = false;
};

ResizeKernel BicubicKernel(double b, double c);

// The part of the source picture a resize reads, in pixels; it may reach
// beyond the picture, whose edge pixels repeat there.
struct SourceWindow {
  double left = 0, top = 0, width = 0, height = 0;
};

// `source` resampled to width x height from a window on each frame: the
// first for even frames, the second for odd ones (Bob's fields sit a quarter
// line apart). The pixels around a window are read as far as the kernel
// reaches. An axis whose window is the whole picture at its own size is
// left alone unless forced.
ClipPtr MakeWindowedResize(const std::string& origin, const ClipPtr& source, int width, int height,
                           const ResizeKernel& kernel, const std::array<SourceWindow, 2>& windows, bool forceHorizontal,
                           bool forceVertical);

}  // namespace avs
