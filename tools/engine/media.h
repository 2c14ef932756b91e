// Clips read from files through libavformat and libavcodec, and from
// numbered pictures.
#pragma once

#include "tools/engine/clip.h"

#include <string>

namespace avs {

struct MediaRequest {
  std::string path;
  bool video = true;  // take the picture when the file has one
  bool audio = true;  // take the sound when the file has one
  bool needVideo = false;
  bool needAudio = false;
};

// A media file, or a VapourSynth script (".vpy", run through vspipe).
ClipPtr OpenMedia(const MediaRequest& request, const std::string& origin);

// Numbered pictures: `pattern` holds at most one printf integer conversion
// (%d, %4d, %04d); frames `first`..`last` come in as RGB.
ClipPtr OpenImageSequence(const std::string& pattern, int64_t first, int64_t last, Rational fps,
                          const std::string& origin);

}  // namespace avs
