// The command line of MP4Box, parsed into what to read, write and tag.
#pragma once

#include <map>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace mp4box {

struct ArgumentError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

struct TrackSelection {
  std::string path;
  int track = 0;  // 1-based; 0 takes every track
};

struct Command {
  std::vector<TrackSelection> adds;
  std::string newOutput;  // -new
  std::string editTarget; // the bare file, changed in place
  // libavformat metadata key and value; an empty value removes the tag.
  std::vector<std::pair<std::string, std::string>> tags;
  std::map<int, std::string> trackNames;  // 1-based track -> name
};

// Throws ArgumentError. `exists` tells whether a file of that name exists, so
// that "name#2" means track 2 only when no file is called "name#2".
Command ParseCommand(const std::vector<std::string>& args, bool (*exists)(const std::string&));

// Splits "artist=Ann:name=Night run:tool=X" into (key, value) pairs with
// libavformat keys. "\:" is a colon and "\\" a backslash of the value
// (any other backslash is itself), so that any value can be written without
// ambiguity; an unescaped ':' separates two tags only where a known tag name
// and '=' follow it, so plain values may hold colons too.
std::vector<std::pair<std::string, std::string>> ParseTagList(const std::string& list);

}  // namespace mp4box
