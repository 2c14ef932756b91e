#include "platform/cmdline.h"

namespace platform {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// Walks a command line the way the C runtime's argument parser does. At
// every position it tells how many backslashes the run produces and whether
// a quote that follows is literal or acts, so that the splitter and the
// pipeline splitter agree on what stands inside quotes.
class QuoteScanner {
 public:
  explicit QuoteScanner(std::string_view line) : line_(line) {}

  bool atEnd() const { return pos_ >= line_.size(); }
  std::size_t position() const { return pos_; }
  bool inQuotes() const { return inQuotes_; }
  char peek() const { return line_[pos_]; }
  void skipChar() { ++pos_; }

  // Consumes one unit at the current position (a character, a run of
  // backslashes with the quote it escapes, or a quote) and appends the
  // literal text it stands for to `out`.
  void consume(std::string& out) {
    const char c = line_[pos_];
    if (c == '\\') {
      std::size_t count = 0;
      while (pos_ < line_.size() && line_[pos_] == '\\') {
        ++count;
        ++pos_;
      }
      if (pos_ < line_.size() && line_[pos_] == '"') {
        out.append(count / 2, '\\');
        if (count % 2 == 1) {
          out.push_back('"');
          ++pos_;
        }
      } else {
        out.append(count, '\\');
      }
      return;
    }
    if (c == '"') {
      ++pos_;
      if (inQuotes_ && pos_ < line_.size() && line_[pos_] == '"') {
        out.push_back('"');  // "" inside quotes: a literal quote, still quoted
        ++pos_;
        return;
      }
      inQuotes_ = !inQuotes_;
      return;
    }
    out.push_back(c);
    ++pos_;
  }

 private:
  std::string_view line_;
  std::size_t pos_ = 0;
  bool inQuotes_ = false;
};

}  // namespace

std::vector<std::string> SplitCommandLine(std::string_view line) {
  std::vector<std::string> args;
  QuoteScanner scanner(line);
  while (true) {
    while (!scanner.atEnd() && IsBlank(scanner.peek())) scanner.skipChar();
    if (scanner.atEnd()) break;
    std::string arg;
    while (!scanner.atEnd() && (scanner.inQuotes() || !IsBlank(scanner.peek()))) {
      scanner.consume(arg);
    }
    args.push_back(std::move(arg));
  }
  return args;
}

std::string EscapeForQuotes(std::string_view value) {
  std::string out;
  out.reserve(value.size() + 2);
  std::size_t backslashes = 0;
  for (char c : value) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    if (c == '"') {
      // Backslashes before a quote are doubled and the quote is escaped.
      out.append(backslashes * 2 + 1, '\\');
      out.push_back('"');
    } else {
      out.append(backslashes, '\\');
      out.push_back(c);
    }
    backslashes = 0;
  }
  // A trailing run stands before the closing quote, so it is doubled too.
  out.append(backslashes * 2, '\\');
  return out;
}

std::string Quote(std::string_view value) {
  // Appended piece by piece: GCC 12 at -O3 sees a false overlap (-Wrestrict)
  // in prepending to a temporary string.
  std::string quoted(1, '"');
  quoted += EscapeForQuotes(value);
  quoted += '"';
  return quoted;
}

std::vector<std::string> SplitPipeline(std::string_view line) {
  std::vector<std::string> parts;
  QuoteScanner scanner(line);
  std::size_t partStart = 0;
  std::string literal;
  while (!scanner.atEnd()) {
    if (!scanner.inQuotes() && scanner.peek() == '|') {
      parts.emplace_back(line.substr(partStart, scanner.position() - partStart));
      partStart = scanner.position() + 1;
      scanner.skipChar();
    } else {
      literal.clear();
      scanner.consume(literal);
    }
  }
  parts.emplace_back(line.substr(partStart));
  return parts;
}

}  // namespace platform
