// Script functions on text: parts, searches, case, conversions between
// numbers and text, and the time of day.
#include "tools/engine/functions/families.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <functional>

namespace avs {

namespace {

Function TextOf(std::function<std::string(const std::string&)> f) {
  return {"text:s", [f = std::move(f)](Call& call) -> Value { return call.Text(f(call.String(0, ""))); }};
}

std::size_t Count(const Call& call, std::size_t i, const char* what) {
  const int64_t n = call.Int(i, 0);
  if (n < 0) call.Fail(std::string("the ") + what + " is negative");
  return static_cast<std::size_t>(n);
}

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }

std::string TrimmedLeft(const std::string& s) {
  return s.substr(static_cast<std::size_t>(std::find_if_not(s.begin(), s.end(), IsBlank) - s.begin()));
}
std::string TrimmedRight(const std::string& s) {
  return s.substr(0, static_cast<std::size_t>(std::find_if_not(s.rbegin(), s.rend(), IsBlank).base() - s.begin()));
}

int Sign(int c) { return c < 0 ? -1 : c > 0 ? 1 : 0; }

// One printf conversion for String(value, format), checked so that no
// format can read past the value or write past the text: flags, width and
// precision, then one of d i u x X o c for an int or e E f F g G a A for a
// float; "%%" stands for "%". The value is converted to the kind asked for.
std::string Formatted(const Call& call, const Value& value, const std::string& format) {
  std::string out;
  bool converted = false;
  for (std::size_t i = 0; i < format.size(); ++i) {
    if (format[i] != '%') {
      out += format[i];
      continue;
    }
    if (i + 1 < format.size() && format[i + 1] == '%') {
      out += '%';
      ++i;
      continue;
    }
    std::size_t j = i + 1;
    while (j < format.size() && std::string("-+ #0").find(format[j]) != std::string::npos) ++j;
    // Width and precision: up to three digits each, so that no format asks
    // the C library for a huge piece of text.
    auto digits = [&] {
      const std::size_t start = j;
      while (j < format.size() && std::isdigit(static_cast<unsigned char>(format[j]))) ++j;
      if (j - start > 3) call.Fail("the format \"" + format + "\" asks for too wide a number");
    };
    digits();
    if (j < format.size() && format[j] == '.') {
      ++j;
      digits();
    }
    if (j >= format.size()) call.Fail("the format \"" + format + "\" is not one this function can use");
    const char kind = format[j];
    const bool isInt = std::string("diuxXoc").find(kind) != std::string::npos;
    const bool isFloat = std::string("eEfFgGaA").find(kind) != std::string::npos;
    if ((!isInt && !isFloat) || converted)
      call.Fail("the format \"" + format + "\" is not one this function can use: it takes one conversion of a number");
    const std::string spec = format.substr(i, j - i + 1);
    // With at most three digits of width and of precision, no number's text
    // is longer than this.
    char piece[2048];
    int size;
    if (isInt) {
      // A float given for an int conversion loses its fraction.
      const double x = value.asFloat();
      const long long n = value.isInt() ? static_cast<long long>(value.asInt())
                          : std::isnan(x) ? 0
                                          : static_cast<long long>(std::clamp(x, -9.2e18, 9.2e18));
      size = kind == 'c' ? std::snprintf(piece, sizeof piece, spec.c_str(), static_cast<int>(n & 0xFF))
                         : std::snprintf(piece, sizeof piece, (spec.substr(0, spec.size() - 1) + "ll" + kind).c_str(), n);
    } else {
      size = std::snprintf(piece, sizeof piece, spec.c_str(), value.asFloat());
    }
    if (size < 0 || static_cast<std::size_t>(size) >= sizeof piece) call.Fail("the formatted text would be too long");
    out.append(piece, static_cast<std::size_t>(size));
    converted = true;
    i = j;
  }
  return out;
}

Value StringOf(Call& call) {
  const Value& value = call.args[0];
  if (!call.args[1].defined()) return call.Text(value.toText());
  if (!value.isNumber()) call.Fail("a format can only be used with a number");
  return call.Text(Formatted(call, value, call.String(1, "")));
}

// Format("text {} {1} {name}", values...): each {} the next value, {n}
// value n, {name} the value of a [name, value] array among the values or
// else of the variable name; {{ and }} are braces.
Value Format(Call& call) {
  const std::string& text = call.String(0, "");
  std::string out;
  std::size_t next = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if ((c == '{' || c == '}') && i + 1 < text.size() && text[i + 1] == c) {
      out += c;
      ++i;
      continue;
    }
    if (c == '}') call.Fail("a '}' stands alone in the format");
    if (c != '{') {
      out += c;
      continue;
    }
    const std::size_t close = text.find('}', i);
    if (close == std::string::npos) call.Fail("a '{' is not closed");
    const std::string id = text.substr(i + 1, close - i - 1);
    i = close;
    const Value* value = nullptr;
    std::size_t index = 0;
    if (id.empty()) {
      index = next++;
    } else if (std::all_of(id.begin(), id.end(), [](char d) { return std::isdigit(static_cast<unsigned char>(d)); })) {
      if (std::from_chars(id.data(), id.data() + id.size(), index).ec != std::errc()) index = call.rest.size();
    } else {
      for (const Value& v : call.rest) {
        if (v.isArray() && !v.asArray().items.empty() && v.asArray().items[0].isString() &&
            Lower(v.asArray().items[0].asString()) == Lower(id) && v.asArray().items.size() >= 2)
          value = &v.asArray().items[1];
        if (value) break;
      }
      if (!value) value = call.interp.Variable(id);
      if (!value) call.Fail("nothing is named " + id + " for {" + id + "}");
    }
    if (!value) {
      if (index >= call.rest.size())
        call.Fail("{" + id + "} asks for a value beyond the " + std::to_string(call.rest.size()) + " given");
      value = &call.rest[index];
    }
    const std::string part = value->toText();
    if (out.size() + part.size() > kMaxStringBytes) call.Fail("the string would be longer than 16 MiB");
    out += part;
  }
  return call.Text(std::move(out));
}

// The leading number of a text, read with "." whatever the locale; 0 when
// the text does not start with one.
Value NumberOf(Call& call) {
  const std::string text = TrimmedLeft(call.String(0, ""));
  const char* begin = text.data();
  if (!text.empty() && text[0] == '+') ++begin;
  double x = 0;
  std::from_chars(begin, text.data() + text.size(), x);
  return Value(x);
}

// HexValue("FF00") is 65280; a leading "$" or "0x" is allowed, reading stops
// at the first character that is no hexadecimal digit, and the last 32 bits
// count, as for $ numbers in a script.
Value HexValueOf(Call& call) {
  const std::string text = call.String(0, "");
  const int64_t pos = call.Int(1, 1);
  if (pos < 1) call.Fail("the position starts at 1");
  std::size_t i = std::min(static_cast<std::size_t>(pos - 1), text.size());
  if (text.compare(i, 1, "$") == 0) ++i;
  else if (text.compare(i, 2, "0x") == 0 || text.compare(i, 2, "0X") == 0) i += 2;
  uint32_t bits = 0;
  for (; i < text.size() && std::isxdigit(static_cast<unsigned char>(text[i])); ++i) {
    const char c = static_cast<char>(std::tolower(static_cast<unsigned char>(text[i])));
    bits = (bits << 4) | static_cast<uint32_t>(c <= '9' ? c - '0' : c - 'a' + 10);
  }
  return Value(static_cast<int64_t>(static_cast<int32_t>(bits)));
}

Value HexOf(Call& call) {
  const int64_t width = std::clamp<int64_t>(call.Int(1, 0), 0, 8);
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "%0*X", static_cast<int>(width), static_cast<uint32_t>(call.Int(0, 0)));
  return Value(buffer);
}

Value MidStr(Call& call) {
  const std::string text = call.String(0, "");
  const int64_t start = call.Int(1, 1);
  if (start < 1) call.Fail("the start is counted from 1");
  if (static_cast<uint64_t>(start) > text.size()) return Value("");
  const std::size_t length = call.args[2].defined() ? Count(call, 2, "length") : std::string::npos;
  return Value(text.substr(static_cast<std::size_t>(start - 1), length));
}

Value FillStr(Call& call) {
  const std::size_t count = Count(call, 0, "count");
  const std::string piece = call.String(1, " ");
  if (!piece.empty() && count > kMaxStringBytes / piece.size()) call.Fail("the string would be longer than 16 MiB");
  std::string out;
  out.reserve(count * piece.size());
  for (std::size_t i = 0; i < count; ++i) out += piece;
  return call.Text(std::move(out));
}

// ReplaceStr(text, pattern, replacement[, sig]): every occurrence, from the
// left, without matching again inside a replacement; sig makes the search
// ignore letter case.
Value ReplaceStr(Call& call) {
  const std::string text = call.String(0, ""), pattern = call.String(1, ""), replacement = call.String(2, "");
  if (pattern.empty()) return Value(text);
  const bool ignoreCase = call.Bool(3, false);
  const std::string haystack = ignoreCase ? Lower(text) : text, needle = ignoreCase ? Lower(pattern) : pattern;
  std::string out;
  std::size_t from = 0;
  for (std::size_t at; (at = haystack.find(needle, from)) != std::string::npos; from = at + pattern.size()) {
    out.append(text, from, at - from).append(replacement);
    if (out.size() > kMaxStringBytes) call.Fail("the string would be longer than 16 MiB");
  }
  out.append(text, from, std::string::npos);
  return call.Text(std::move(out));
}

Value TimeOf(Call& call) {
  const std::string format = call.String(0, "");
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char buffer[1024];
  const std::size_t n = std::strftime(buffer, sizeof buffer, format.c_str(), &local);
  if (n == 0 && !format.empty()) call.Fail("the time's text would be too long");
  return Value(std::string(buffer, n));
}

}  // namespace

void RegisterScriptTextFunctions(std::map<std::string, Function>& table) {
  table["string"] = {"value:. ?format:s", StringOf};
  table["value"] = {"text:s", NumberOf};
  table["hexvalue"] = {"text:s ?pos:i", HexValueOf};
  table["hex"] = {"value:i ?width:i", HexOf};
  table["strlen"] = {"text:s", [](Call& call) -> Value { return Value(static_cast<int64_t>(call.String(0, "").size())); }};
  table["ucase"] = TextOf([](const std::string& s) {
    std::string out = s;
    for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return out;
  });
  table["lcase"] = TextOf([](const std::string& s) { return Lower(s); });
  table["revstr"] = TextOf([](const std::string& s) { return std::string(s.rbegin(), s.rend()); });
  table["trimleft"] = TextOf(TrimmedLeft);
  table["trimright"] = TextOf(TrimmedRight);
  table["trimall"] = TextOf([](const std::string& s) { return TrimmedLeft(TrimmedRight(s)); });
  table["leftstr"] = {"text:s length:i", [](Call& call) -> Value {
                        return Value(call.String(0, "").substr(0, Count(call, 1, "length")));
                      }};
  table["rightstr"] = {"text:s length:i", [](Call& call) -> Value {
                         const std::string text = call.String(0, "");
                         return Value(text.substr(text.size() - std::min(text.size(), Count(call, 1, "length"))));
                       }};
  table["midstr"] = {"text:s start:i ?length:i", MidStr};
  // FindStr: the position of the first occurrence counted from 1, 0 if none.
  table["findstr"] = {"text:s sought:s", [](Call& call) -> Value {
                        const std::size_t at = call.String(0, "").find(call.String(1, ""));
                        return Value(at == std::string::npos ? int64_t{0} : static_cast<int64_t>(at) + 1);
                      }};
  table["fillstr"] = {"count:i ?text:s", FillStr};
  table["replacestr"] = {"text:s pattern:s replacement:s ?sig:b", ReplaceStr};
  table["strcmp"] = {"a:s b:s", [](Call& call) -> Value { return Value(Sign(call.String(0, "").compare(call.String(1, "")))); }};
  table["strcmpi"] = {"a:s b:s", [](Call& call) -> Value {
                        return Value(Sign(Lower(call.String(0, "")).compare(Lower(call.String(1, "")))));
                      }};
  table["chr"] = {"code:i", [](Call& call) -> Value { return Value(std::string(1, static_cast<char>(call.Int(0, 0) & 0xFF))); }};
  table["ord"] = {"text:s", [](Call& call) -> Value {
                    const std::string text = call.String(0, "");
                    return Value(text.empty() ? 0 : static_cast<int>(static_cast<unsigned char>(text[0])));
                  }};
  table["time"] = {"format:s", TimeOf};
  table["format"] = {"format:s values:.*", Format};
  // Texts are UTF-8 everywhere here.
  table["strtoutf8"] = TextOf([](const std::string& s) { return s; });
  table["strfromutf8"] = TextOf([](const std::string& s) { return s; });
}

}  // namespace avs
