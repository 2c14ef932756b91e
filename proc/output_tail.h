// The last lines that a tool printed, kept so that a failed stage can show
// why it failed.
#pragma once

#include <cstddef>
#include <deque>
#include <string>
#include <vector>

namespace proc {

// Lines end at '\n' (a '\r' before it belongs to the line end). A line that
// a lone '\r' ends is overwritten by what follows, as on a terminal: the
// encoder's progress line thus takes one place, not all of them. Empty lines
// are not kept, and a very long line keeps only its start.
class OutputTail {
 public:
  static constexpr std::size_t kLines = 20;
  static constexpr std::size_t kLineLength = 1000;

  void Feed(const char* data, std::size_t length);

  // At most kLines lines, oldest first; a line still being written counts.
  std::vector<std::string> Lines() const;

 private:
  void EndLine();

  std::deque<std::string> lines_;
  std::string current_;
  bool returned_ = false;  // current_ was ended by a lone '\r' so far
};

}  // namespace proc
