// A clip whose frames come from one of libavfilter's filters (or a chain of
// them) applied to one or more input clips, with random access: for output
// frame n the inputs' frames n are fed (after `history` frames before it,
// for filters that look back; see GraphOptions) and frame n is taken out.
//
// Use it wherever FFmpeg has the filter:
//
//   // One input: the description is a chain applied to it.
//   ClipInfo info = input->info();
//   std::swap(info.width, info.height);
//   return MakeGraphClip(info, call.origin, {input}, "transpose=2");
//
//   // Several inputs: label them [in0], [in1], ... and the result [out].
//   return MakeGraphClip(info, call.origin, {a, b}, "[in0][in1]hstack=inputs=2[out]");
//
//   // Text (Subtitle): "drawtext=fontfile=...:text=...:x=...:y=..."; fades:
//   // "fade=t=in:st=0:d=1" sees frame n at time n / fps.
//
// The picture of `info` (size and pixel format) is what the graph must give;
// where a filter does not take the inputs' format, libavfilter converts with
// swscale on the way. Frame n of an input is its frame n clamped to its
// length, with the time n / fps (the first input's rate) in the time base
// 1/fps. The graph must give one frame for each frame it is fed, with the
// same time, unless its options name a cycle: filters that drop or add
// frames in a fixed pattern (yadif's field rate, decimate) give `cycleOut`
// frames for each `cycleIn` they are fed, counted in the order they come.
// Others that drop, add or retime frames (fps, select, setpts) do not belong
// here; those change the frame numbers with a FrameFilter. The sound is the
// first input's.
#pragma once

#include "tools/engine/filter.h"

#include <cstdint>
#include <string>
#include <vector>

namespace avs {

// How a graph uses its inputs.
struct GraphOptions {
  // Frames fed before frame n, for filters that look back; whole cycles
  // when the graph has them.
  int history = 0;
  // Each `cycleIn` frames fed (from the first) give `cycleOut` frames; the
  // graph's state must not reach back further than `history` cycles, and a
  // last, shorter cycle gives whatever the filter gives for it. The clip's
  // frame count is then the caller's to state, and the graph works on every
  // frame of input 0.
  int cycleIn = 1;
  int cycleOut = 1;
  // The graph's frames are numbered by the order they come, from the first
  // frame fed, rather than by their time, and it is fed all of input 0: for
  // filters that give nothing for the first frames they are fed (tmedian
  // before its window fills), fed a longer input whose first frames stand
  // for those before the clip. Cycles are always counted.
  bool counted = false;
  // The frames the graph works on. The others are input 0's frames as they
  // are, neither fed to the graph nor copied: a filter that changes a span
  // of frames (a subtitle shown for a while) costs nothing outside it. A
  // graph with a span must give input 0's picture.
  int64_t first = 0;
  int64_t last = INT64_MAX;
  // The graph draws on input 0's frames (drawtext). libavfilter copies a
  // frame that others share before such a filter writes into it; a frame
  // nothing else can see is drawn on in place.
  bool drawsOnInput = false;
};

// Throws ScriptError, with `origin`, when the description does not parse or
// the filter cannot give the picture `info` describes (the graph is tried
// once here, so a script fails at the line that wrote it).
ClipPtr MakeGraphClip(ClipInfo info, std::string origin, std::vector<ClipPtr> inputs, std::string description,
                      GraphOptions options = {});

}  // namespace avs
