// What the text functions compute before anything is drawn: where a
// subtitle goes, how its lines break, how a frame number reads as a SMPTE
// timecode or a clock time, and how a text is carried through a filter
// graph's description unchanged.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>

namespace avs {

// A value carried exactly through one level of libavfilter's option
// parsing (backslashes before the characters it would take as syntax).
std::string EscapeFilterOption(const std::string& value);
// A whole filter carried through the graph parser's level.
std::string EscapeGraphSegment(const std::string& filter);

// Subtitle's alignment is a numeric keypad: 7 8 9 on top, 4 5 6 on the
// baseline, 1 2 3 at the bottom; left, centre, right in each row.
struct SubtitlePlacement {
  int align = 7;
  bool alignGiven = false;  // without one the text sits on a baseline at y = size
  std::optional<double> x, y;
  double size = 18;
};
// drawtext's x and y expressions of the text's top-left corner.
std::pair<std::string, std::string> SubtitlePosition(const SubtitlePlacement& place, int width, int height);

// The lines of a subtitle: line feeds (and CR LF) always break; with lsp
// given, the two characters \n break too and \\n stands for \n itself.
std::string SubtitleLines(const std::string& text, bool multiLine);

// The pixel size a BDF font file's header gives in its PIXEL_SIZE.
std::optional<int> BdfPixelSize(const std::string& header);

// A timecode's frames a second and the frame labels dropped each minute
// (but every tenth).
struct TimecodeRate {
  int nominal = 25;
  int drop = 0;
};
// Integer rates count plainly; the 1000/1001 rates drop labels. Other
// rates have no timecode.
std::optional<TimecodeRate> SmpteRate(double fps);
// "HH:MM:SS:FF" (";" allowed before the frames) to its frame number.
std::optional<int64_t> ParseTimecode(const std::string& text, TimecodeRate rate);
// The timecode of frame `frame` (a drawtext expression) as drawtext text.
std::string SmpteExpansion(const std::string& frame, TimecodeRate rate);
// HH:MM:SS.mmm of `milliseconds` (a drawtext expression).
std::string ClockExpansion(const std::string& milliseconds);
// The same labels computed here, for tests and for the offset's check.
std::string SmpteLabel(int64_t frame, TimecodeRate rate);

}  // namespace avs
