// DGIndex's project files (.d2v): the MPEG-2 files they index, their field
// operation and frame rate, and the flags of every coded picture.
#pragma once

#include "tools/engine/script.h"

#include <istream>
#include <stdexcept>
#include <string>
#include <vector>

namespace avs {

// A picture's flags: its top field comes first; it repeats its first field
// (soft pulldown).
constexpr unsigned kD2vTopFieldFirst = 0x02;
constexpr unsigned kD2vRepeatFirstField = 0x01;

struct D2vProject {
  enum FieldOperation { kHonourPulldown = 0, kForcedFilm = 1, kRawFrames = 2 };
  std::vector<std::string> files;  // as found: named, or beside the project
  int fieldOperation = kHonourPulldown;
  Rational rate;                   // Frame_Rate's fraction
  std::vector<unsigned> pictures;  // each coded picture's flags, in order
};

// What is wrong with a project, to follow "... is not a DGIndex project: ".
class D2vError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Reads a project whose relative file names resolve against `folder`.
// Throws D2vError.
D2vProject ReadD2vProject(std::istream& in, const std::string& folder);

// The project a script names (relative to its folder), for MPEG2Source and
// TFM's d2v; fails the call when it is no regular file or no project.
D2vProject ProjectOf(const Call& call, const std::string& name);

}  // namespace avs
