// Clips read from files through libavformat and libavcodec, and from
// numbered pictures.
#pragma once

#include "tools/engine/clip.h"

#include <string>
#include <vector>

namespace avs {

struct MediaRequest {
  std::string path;
  bool video = true;  // take the picture when the file has one
  bool audio = true;  // take the sound when the file has one
  bool needVideo = false;
  bool needAudio = false;
  // The container's streams to take, by their index in it; kBestStream
  // takes the one libavformat finds best of its kind.
  static constexpr int kBestStream = -1;
  int videoStream = kBestStream;
  int audioStream = kBestStream;
  // The sound mixed to this many channels and resampled to this rate as it
  // is decoded; 0 keeps the file's.
  int channels = 0;
  int sampleRate = 0;
  // Pictures coded to repeat a field (soft pulldown) are shown once each
  // here; a source that promised to honour the repetition fails on one.
  bool refuseRepeatedFields = false;
};

// What the file says of the streams taken, for source functions that tell
// a script (FFMS2's FFSAR, FFCOLOR_SPACE...).
struct MediaFacts {
  int videoStream = -1, audioStream = -1;
  AVRational sampleAspect{0, 1};              // 0/1 where the file gives none
  AVColorSpace colorSpace = AVCOL_SPC_UNSPECIFIED;
  // The range of the clip's pictures: a full-range stream is given in the
  // limited range.
  AVColorRange colorRange = AVCOL_RANGE_UNSPECIFIED;
  uint64_t channelMask = 0;                   // WAVE_FORMAT_EXTENSIBLE's speaker bits
};

// A media file, or a VapourSynth script (".vpy", run through vspipe).
// `facts`, when given, receives what the file says of the streams taken.
ClipPtr OpenMedia(const MediaRequest& request, const std::string& origin, MediaFacts* facts = nullptr);

// The index in the file of its `n`th (from 0) video stream, or audio stream
// when `video` is false. Throws ScriptError when it has none.
int StreamOfKind(const std::string& path, bool video, int n, const std::string& origin);

// The presentation times of the frames of a file's video stream, in
// milliseconds from the first, in order (for a timecodes file); empty when
// some frame has no time.
std::vector<double> FrameTimesInMilliseconds(const std::string& path, int videoStream, const std::string& origin);

// Numbered pictures: `pattern` holds at most one printf integer conversion
// (%d, %4d, %04d); frames `first`..`last` come in as RGB.
ClipPtr OpenImageSequence(const std::string& pattern, int64_t first, int64_t last, Rational fps,
                          const std::string& origin);

}  // namespace avs
