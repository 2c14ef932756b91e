#include "tools/engine/functions/conditional_values.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <sstream>

namespace avs {

namespace {

std::string Trimmed(const std::string& text) {
  const auto space = [](unsigned char c) { return std::isspace(c) != 0; };
  auto begin = std::find_if_not(text.begin(), text.end(), space);
  auto end = std::find_if_not(text.rbegin(), std::make_reverse_iterator(begin), space).base();
  return std::string(begin, end);
}

// The first word of `rest`, taken off it.
std::string Word(std::string& rest) {
  rest = Trimmed(rest);
  const std::size_t end = std::min(rest.find_first_of(" \t"), rest.size());
  std::string word = rest.substr(0, end);
  rest = Trimmed(rest.substr(end));
  return word;
}

bool ReadInt(const std::string& word, int64_t& value) {
  const char* begin = word.data() + (word.starts_with('+') ? 1 : 0);
  auto [end, ec] = std::from_chars(begin, word.data() + word.size(), value);
  return ec == std::errc() && end == word.data() + word.size() && !word.empty() && value >= INT32_MIN &&
         value <= INT32_MAX;
}

}  // namespace

ConditionalValues ConditionalValues::Parse(const std::string& text) {
  ConditionalValues values;
  std::istringstream lines(text);
  std::string line;
  int number = 0;
  int64_t offset = 0;
  while (std::getline(lines, line)) {
    ++number;
    const auto fail = [&](const std::string& why) -> void {
      throw ConditionalFileError("line " + std::to_string(number) + ": " + why);
    };
    std::string rest = Trimmed(line);
    if (rest.empty() || rest[0] == '#' || rest[0] == ';' || rest[0] == '%') continue;
    const std::string word = Lower(Word(rest));
    // A value of the file's type, from the rest of a line.
    const auto value = [&](std::string text) -> Value {
      if (values.type_ == 's') return Value(text);
      const std::string token = Lower(Word(text));
      if (!text.empty()) fail("\"" + text + "\" follows the value");
      if (values.type_ == 'b') {
        if (token == "true" || token == "t" || token == "yes" || token == "1") return Value(true);
        if (token == "false" || token == "f" || token == "no" || token == "0") return Value(false);
        fail("\"" + token + "\" is not a bool");
      }
      if (values.type_ == 'i') {
        int64_t v = 0;
        if (!ReadInt(token, v)) fail("\"" + token + "\" is not an int");
        return Value(v);
      }
      double v = 0;
      const char* begin = token.data() + (token.starts_with('+') ? 1 : 0);
      auto [end, ec] = std::from_chars(begin, token.data() + token.size(), v);
      if (ec != std::errc() || end != token.data() + token.size() || token.empty() || !std::isfinite(v))
        fail("\"" + token + "\" is not a number");
      return Value(v);
    };
    const auto frame = [&](std::string& text) {
      const std::string token = Word(text);
      int64_t v = 0;
      if (!ReadInt(token, v)) fail("\"" + token + "\" is not a frame number");
      return v + offset;
    };
    if (word == "type") {
      if (values.type_) fail("a second TYPE line");
      const std::string type = Lower(Word(rest));
      if (type == "int") values.type_ = 'i';
      else if (type == "float") values.type_ = 'f';
      else if (type == "bool") values.type_ = 'b';
      else if (type == "string") values.type_ = 's';
      else fail("unknown TYPE \"" + type + "\" (int, float, bool or string)");
      continue;
    }
    if (!values.type_) fail("the TYPE line must come first");
    if (word == "default") {
      values.fallback_ = value(rest);
    } else if (word == "offset") {
      const std::string token = Word(rest);
      if (!ReadInt(token, offset)) fail("\"" + token + "\" is not an offset");
    } else if (word == "r" || word == "i") {
      const int64_t first = frame(rest), last = frame(rest);
      if (last < first) fail("the range ends before it starts");
      Entry entry{Value(), Value(), first, last};
      if (word == "i") {
        if (values.type_ != 'i' && values.type_ != 'f') fail("only ints and floats can be interpolated");
        entry.from = value(Word(rest));
        entry.to = value(rest);
      } else {
        entry.from = value(rest);
      }
      values.entries_.push_back(entry);
      values.Paint(first, last, static_cast<int>(values.entries_.size() - 1));
    } else {
      int64_t at = 0;
      if (!ReadInt(word, at)) fail("\"" + word + "\" is neither a frame number nor R, I, DEFAULT or OFFSET");
      values.entries_.push_back(Entry{value(rest), Value(), at + offset, at + offset});
      values.Paint(at + offset, at + offset, static_cast<int>(values.entries_.size() - 1));
    }
  }
  if (!values.type_) throw ConditionalFileError("the file has no TYPE line");
  return values;
}

void ConditionalValues::Paint(int64_t first, int64_t last, int entry) {
  // The runs that continue after `last` keep their value from last + 1 on.
  auto after = runs_.upper_bound(last + 1);
  const int resumes = after == runs_.begin() ? -1 : std::prev(after)->second;
  runs_.erase(runs_.lower_bound(first), runs_.upper_bound(last + 1));
  runs_[first] = entry;
  runs_[last + 1] = resumes;
}

Value ConditionalValues::At(int64_t n) const {
  auto it = runs_.upper_bound(n);
  if (it == runs_.begin() || std::prev(it)->second < 0) return fallback_;
  const Entry& entry = entries_[static_cast<std::size_t>(std::prev(it)->second)];
  if (!entry.to.defined() || entry.last == entry.first) return entry.from;
  const double t = static_cast<double>(n - entry.first) / static_cast<double>(entry.last - entry.first);
  const double v = entry.from.asFloat() + (entry.to.asFloat() - entry.from.asFloat()) * t;
  return type_ == 'i' ? Value(static_cast<int64_t>(std::lround(v))) : Value(v);
}

}  // namespace avs
