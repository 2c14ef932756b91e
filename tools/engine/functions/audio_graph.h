// Sound: a clip's input sound through a chain of libavfilter's audio
// filters, for filters that keep state from sample to sample (atempo,
// superequalizer). The chain works in floats; the clip's samples come out
// in its own sample type.
#pragma once

#include "tools/engine/filter.h"

#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace avs {

// One filter of a chain: its name and its options ("tempo=1.5").
struct AudioFilterStep {
  std::string name, options;
};

// Where to begin for a read at output sample `start`: the input sample to
// feed first, and the output sample the filter's first output plays at.
// A read that does not follow the last one starts the chain again there and
// skips what comes out before `start`.
struct AudioFeedStart {
  int64_t input = 0, output = 0;
};

// A stream of `clip`'s sound: input 0's sound, `chunk` samples at a time
// (silence past its end), through `steps`.
std::unique_ptr<AudioStream> FilteredSound(const Clip& clip, Reading& reading, std::vector<AudioFilterStep> steps,
                                           int chunk, std::function<AudioFeedStart(int64_t start)> feedStart);

}  // namespace avs
