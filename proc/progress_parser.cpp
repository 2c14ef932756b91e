#include "proc/progress_parser.h"

#include <algorithm>
#include <climits>
#include <cstring>

namespace proc {

namespace {

// The integer conversion the figure goes through: leading spaces, an
// optional sign and decimal digits, nothing else; empty text and values
// outside the int range are rejected.
std::optional<int> ToInteger(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  if (i == text.size()) return std::nullopt;
  long long value = 0;
  for (; i < text.size(); ++i) {
    if (text[i] < '0' || text[i] > '9') return std::nullopt;
    value = value * 10 + (text[i] - '0');
    if (value > static_cast<long long>(INT_MAX) + 1) return std::nullopt;
  }
  if (negative) value = -value;
  if (value > INT_MAX || value < INT_MIN) return std::nullopt;
  return static_cast<int>(value);
}

}  // namespace

std::optional<int> ParseProgressFigure(std::string_view text) {
  // Positions are 1-based as the rule states them; 0 means absent.
  const auto percent = text.find('%');
  const auto bracket = text.find('[');
  const long long p = percent == std::string_view::npos ? 0 : static_cast<long long>(percent) + 1;
  const long long q = bracket == std::string_view::npos ? 0 : static_cast<long long>(bracket) + 1;
  const long long length = p - q - 3;
  if (length <= 0) return std::nullopt;
  // The candidate leaves out the point and the one decimal before the '%'.
  return ToInteger(text.substr(static_cast<std::size_t>(q), static_cast<std::size_t>(length)));
}

std::optional<int> ParseEtaSeconds(std::string_view text) {
  const auto at = text.rfind("eta ");
  if (at == std::string_view::npos) return std::nullopt;
  // Fields of digits separated by ':', each below 60 after the first.
  long long seconds = 0;
  int fields = 0;
  std::size_t i = at + 4;
  while (true) {
    std::size_t digits = 0;
    long long field = 0;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9' && digits < 9) {
      field = field * 10 + (text[i] - '0');
      ++i;
      ++digits;
    }
    if (digits == 0 || (fields > 0 && field >= 60)) return std::nullopt;
    seconds = seconds * 60 + field;
    ++fields;
    if (seconds > INT_MAX) return std::nullopt;
    if (i >= text.size() || text[i] != ':' || fields == 3) break;
    ++i;
  }
  return static_cast<int>(seconds);
}

std::optional<int> ProgressBuffer::Feed(const char* data, std::size_t length) {
  if (const auto eta = ParseEtaSeconds(std::string_view(data, std::min(length, kSize)))) {
    eta_.store(*eta, std::memory_order_relaxed);
  }
  std::memcpy(bytes_, data, std::min(length, kSize));
  return ParseProgressFigure(std::string_view(bytes_, ::strnlen(bytes_, kSize)));
}

}  // namespace proc
