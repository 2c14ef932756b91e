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
// same time: filters that drop, add or retime frames (fps, select, setpts)
// do not belong here; those change the frame numbers with a FrameFilter. The
// sound is the first input's.
#pragma once

#include "tools/engine/filter.h"

#include <cstdint>
#include <string>
#include <vector>

namespace avs {

// How a graph uses its inputs.
struct GraphOptions {
  // Frames fed before frame n, for filters that look back.
  int history = 0;
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
