#include "proc/output_tail.h"

namespace proc {

void OutputTail::EndLine() {
  if (!current_.empty()) {
    lines_.push_back(std::move(current_));
    if (lines_.size() > kLines) lines_.pop_front();
  }
  current_.clear();
  returned_ = false;
}

void OutputTail::Feed(const char* data, std::size_t length) {
  for (std::size_t i = 0; i < length; ++i) {
    const char c = data[i];
    if (c == '\n') {
      EndLine();
    } else if (c == '\r') {
      returned_ = true;
    } else {
      if (returned_) {
        current_.clear();
        returned_ = false;
      }
      if (current_.size() < kLineLength) current_.push_back(c);
    }
  }
}

std::vector<std::string> OutputTail::Lines() const {
  std::vector<std::string> lines(lines_.begin(), lines_.end());
  if (!current_.empty()) lines.push_back(current_);
  if (lines.size() > kLines) lines.erase(lines.begin());
  return lines;
}

}  // namespace proc
