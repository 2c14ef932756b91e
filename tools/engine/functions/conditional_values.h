// ConditionalReader's files: a value for each frame, read from text.
#pragma once

#include "tools/engine/script.h"

#include <cstdint>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

namespace avs {

// A fault of the file, with its line.
class ConditionalFileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The values of a file: TYPE (int, float, bool or string), DEFAULT, OFFSET,
// then lines "frame value", "R first last value" and "I first last from to"
// (ints and floats, interpolated), later lines overruling earlier ones.
// Comments start with #, ; or %; words ignore letter case.
class ConditionalValues {
 public:
  // Throws ConditionalFileError.
  static ConditionalValues Parse(const std::string& text);

  // The value of frame n: undefined when no line and no default gives one.
  Value At(int64_t n) const;

 private:
  struct Entry {
    Value from, to;  // `to` defined: interpolated over first..last
    int64_t first = 0, last = 0;
  };
  Value fallback_;
  std::vector<Entry> entries_;
  // Runs of frames painted by one entry: key the first frame of a run,
  // value the entry's index (-1: the default).
  std::map<int64_t, int> runs_;
  char type_ = 0;  // i f b s

  void Paint(int64_t first, int64_t last, int entry);
};

// The largest file ConditionalReader reads.
constexpr std::size_t kMaxConditionalFileBytes = 16 << 20;

}  // namespace avs
