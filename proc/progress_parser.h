// Reading the video encoder's progress figure out of its console output.
#pragma once

#include <atomic>
#include <cstddef>
#include <optional>
#include <string_view>

namespace proc {

// The figure of one chunk of encoder output: with p the 1-based position of
// the first '%' and q that of the first '[' (0 when absent), the text of
// length p - q - 3 that starts after the '[', read as an integer. For
// "[45.3%] 1234/2720 frames" that is 45; for "12.5% done" it is 12.
std::optional<int> ParseProgressFigure(std::string_view text);

// The encoder's own estimate of the time its pass still takes, "eta H:MM:SS"
// in a chunk of its output, in seconds; nullopt when the chunk has none.
std::optional<int> ParseEtaSeconds(std::string_view text);

// The encoder output is read in chunks into one 256-byte buffer that is
// never cleared: a short read leaves the bytes of earlier reads behind it,
// and the text that is searched runs up to the first zero byte.
class ProgressBuffer {
 public:
  static constexpr std::size_t kSize = 256;

  // Copies a chunk (at most kSize bytes) over the front of the buffer and
  // returns the figure of the buffer's text, if any; also takes the
  // chunk's time estimate, if it has one.
  std::optional<int> Feed(const char* data, std::size_t length);

  char* data() { return bytes_; }

  // The last estimate of the running pass in seconds, -1 while there is
  // none; read from any thread.
  int etaSeconds() const { return eta_.load(std::memory_order_relaxed); }
  void ForgetEta() { eta_.store(-1, std::memory_order_relaxed); }

 private:
  char bytes_[kSize] = {};
  std::atomic<int> eta_{-1};
};

}  // namespace proc
