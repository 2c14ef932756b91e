#include "tools/engine/functions/text_layout.h"

#include <cmath>
#include <cstdio>
#include <cstring>

namespace avs {

namespace {

std::string Escaped(const std::string& value, const char* special) {
  std::string out;
  for (char c : value) {
    if (c == '\\' || c == ' ' || c == '\t' || c == '\n' || c == '\r' || std::strchr(special, c)) out += '\\';
    out += c;
  }
  return out;
}

std::string Number(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", value);
  return text;
}

}  // namespace

std::string EscapeFilterOption(const std::string& value) { return Escaped(value, "':"); }
std::string EscapeGraphSegment(const std::string& filter) { return Escaped(filter, "'[],;"); }

std::pair<std::string, std::string> SubtitlePosition(const SubtitlePlacement& place, int width, int height) {
  const int align = place.alignGiven ? place.align : 4;
  const int column = (align - 1) % 3;  // 0 left, 1 centre, 2 right
  const int row = (align - 1) / 3;     // 0 bottom, 1 baseline, 2 top
  std::string x;
  if (place.x && *place.x == -1) x = "(w-tw)/2";
  else if (place.x) x = Number(*place.x) + (column == 0 ? "" : column == 1 ? "-tw/2" : "-tw");
  else x = column == 0 ? "8" : column == 1 ? "(w-tw)/2" : std::to_string(width - 8) + "-tw";
  std::string y;
  if (place.y && *place.y == -1) y = "(h-th)/2";
  else {
    const double at = place.y ? *place.y : row == 2 ? 0 : row == 1 ? place.size : height - 1;
    y = Number(at) + (row == 2 ? "" : row == 1 ? "-ascent" : "-th");
  }
  return {x, y};
}

std::string SubtitleLines(const std::string& text, bool multiLine) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    if (multiLine && text.compare(i, 3, "\\\\n") == 0) {
      out += "\\n";
      i += 2;
    } else if (multiLine && text.compare(i, 2, "\\n") == 0) {
      out += '\n';
      ++i;
    } else {
      out += text[i];
    }
  }
  return out;
}

std::optional<int> BdfPixelSize(const std::string& header) {
  if (header.rfind("STARTFONT", 0) != 0) return std::nullopt;
  // A property line, before the first glyph.
  const std::size_t glyphs = header.find("\nSTARTCHAR");
  for (std::size_t at = header.find("\nPIXEL_SIZE "); at < glyphs; at = header.find("\nPIXEL_SIZE ", at + 1)) {
    int pixels = 0;
    if (std::sscanf(header.c_str() + at + 1, "PIXEL_SIZE %d", &pixels) == 1 && pixels > 0) return pixels;
  }
  return std::nullopt;
}

std::optional<TimecodeRate> SmpteRate(double fps) {
  if (!(fps > 0 && fps < 1000)) return std::nullopt;
  const double whole = std::round(fps);
  if (std::fabs(fps - whole) < 0.0005) return TimecodeRate{static_cast<int>(whole), 0};
  // 24, 30, 48, 60 and 120 slowed by 1000/1001, within a thousandth.
  for (int nominal : {24, 30, 48, 60, 120}) {
    if (std::fabs(fps - nominal * 1000.0 / 1001.0) < 0.001)
      return TimecodeRate{nominal, static_cast<int>(std::lround(nominal / 15.0))};
  }
  return std::nullopt;
}

std::optional<int64_t> ParseTimecode(const std::string& text, TimecodeRate rate) {
  // Digits only, two to a field but the hours' one or two.
  long long hours = 0, minutes = 0, seconds = 0, frames = 0;
  char separator = 0;
  int used = 0;
  const bool digitsOnly = text.find_first_not_of("0123456789:;") == std::string::npos;
  if (!digitsOnly || std::sscanf(text.c_str(), "%2lld:%2lld:%2lld%c%2lld%n", &hours, &minutes, &seconds, &separator,
                                 &frames, &used) != 5 ||
      used != static_cast<int>(text.size()) || (separator != ':' && separator != ';') || text.size() < 10)
    return std::nullopt;
  if (minutes > 59 || seconds > 59 || frames >= rate.nominal) return std::nullopt;
  const int64_t allMinutes = hours * 60 + minutes;
  if (rate.drop && seconds == 0 && minutes % 10 != 0 && frames < rate.drop) return std::nullopt;  // a dropped label
  return ((allMinutes * 60) + seconds) * rate.nominal + frames - rate.drop * (allMinutes - allMinutes / 10);
}

namespace {

// The label count of a frame: with dropping, the labels skipped up to it
// are added back, so that the label counts plainly at the nominal rate.
int64_t LabelCount(int64_t frame, TimecodeRate rate) {
  if (!rate.drop) return frame;
  const int64_t perTen = rate.nominal * 600LL - rate.drop * 9LL, perMinute = rate.nominal * 60LL - rate.drop;
  const int64_t tens = frame / perTen, rest = frame % perTen;
  return frame + 9 * rate.drop * tens + (rest > rate.drop ? rate.drop * ((rest - rate.drop) / perMinute) : 0);
}

}  // namespace

std::string SmpteLabel(int64_t frame, TimecodeRate rate) {
  const int64_t label = LabelCount(frame, rate), r = rate.nominal;
  char text[96];
  std::snprintf(text, sizeof text, "%02lld:%02lld:%02lld:%02lld", static_cast<long long>(label / (r * 3600)),
                static_cast<long long>(label / (r * 60) % 60), static_cast<long long>(label / r % 60),
                static_cast<long long>(label % r));
  return text;
}

std::string SmpteExpansion(const std::string& frame, TimecodeRate rate) {
  const std::string f = "(" + frame + ")", r = std::to_string(rate.nominal);
  std::string label = f;
  if (rate.drop) {
    const std::string d = std::to_string(rate.drop), perTen = std::to_string(rate.nominal * 600 - rate.drop * 9),
                      perMinute = std::to_string(rate.nominal * 60 - rate.drop);
    const std::string rest = "mod(" + f + "," + perTen + ")";
    label = "(" + f + "+" + std::to_string(9 * rate.drop) + "*trunc(" + f + "/" + perTen + ")+if(gt(" + rest + "," + d +
            ")," + d + "*trunc((" + rest + "-" + d + ")/" + perMinute + "),0))";
  }
  auto field = [](const std::string& expression) { return "%{eif:" + expression + ":d:2}"; };
  return field("trunc(" + label + "/(" + r + "*3600))") + ":" + field("mod(trunc(" + label + "/(" + r + "*60)),60)") +
         ":" + field("mod(trunc(" + label + "/" + r + "),60)") + ":" + field("mod(" + label + "," + r + ")");
}

std::string ClockExpansion(const std::string& milliseconds) {
  const std::string ms = "(" + milliseconds + ")";
  return "%{eif:trunc(" + ms + "/3600000):d:2}:%{eif:mod(trunc(" + ms + "/60000),60):d:2}:%{eif:mod(trunc(" + ms +
         "/1000),60):d:2}.%{eif:mod(" + ms + ",1000):d:3}";
}

}  // namespace avs
