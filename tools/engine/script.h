// The script language: values, the evaluator and the table of functions.
#pragma once

#include "tools/engine/clip.h"

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <type_traits>
#include <variant>
#include <vector>

namespace avs {

struct Value {
  std::variant<std::monostate, bool, int64_t, double, std::string, ClipPtr> data;

  Value() = default;
  Value(bool b) : data(b) {}
  Value(int64_t i) : data(i) {}
  Value(int i) : data(static_cast<int64_t>(i)) {}
  Value(double d) : data(d) {}
  Value(std::string s) : data(std::move(s)) {}
  Value(const char* s) : data(std::string(s)) {}
  template <class T>
    requires std::is_base_of_v<Clip, T>
  Value(std::shared_ptr<T> c) : data(ClipPtr(std::move(c))) {}

  bool defined() const { return !std::holds_alternative<std::monostate>(data); }
  bool isBool() const { return std::holds_alternative<bool>(data); }
  bool isInt() const { return std::holds_alternative<int64_t>(data); }
  bool isFloat() const { return std::holds_alternative<double>(data); }
  bool isNumber() const { return isInt() || isFloat(); }
  bool isString() const { return std::holds_alternative<std::string>(data); }
  bool isClip() const { return std::holds_alternative<ClipPtr>(data); }

  bool asBool() const { return std::get<bool>(data); }
  int64_t asInt() const { return std::get<int64_t>(data); }
  double asFloat() const { return isInt() ? static_cast<double>(asInt()) : std::get<double>(data); }
  const std::string& asString() const { return std::get<std::string>(data); }
  const ClipPtr& asClip() const { return std::get<ClipPtr>(data); }

  const char* typeName() const;
  // The text WriteFileStart writes: floats with six decimals and ".".
  std::string toText() const;
};

class Interpreter;

// What a function sees of the call: its arguments bound to its parameters
// (undefined where left out), and where it was called from.
struct Call {
  Interpreter& interp;
  std::string functionName;
  std::string origin;     // "Vid.avs, line 3"
  std::string scriptDir;  // folder of the calling script, with "/"
  std::vector<Value> args;
  std::vector<Value> rest;  // the values of a trailing variadic parameter

  [[noreturn]] void Fail(const std::string& message) const;
  // Resolves a file name against the calling script's folder.
  std::string Path(const std::string& name) const;
  int64_t Int(std::size_t i, int64_t fallback) const;
  double Float(std::size_t i, double fallback) const;
  bool Bool(std::size_t i, bool fallback) const;
  std::string String(std::size_t i, const std::string& fallback) const;
  const ClipPtr& Clip(std::size_t i) const { return args[i].asClip(); }
};

// A function of the language. `params` lists the parameters separated by
// spaces as name:type, type one of c (clip), i (int), f (float, int
// accepted), s (string), b (bool), . (any); a leading "?" marks an optional
// one, a trailing "*" a parameter that takes all remaining positional values.
// A lenient function ignores named arguments it does not know (source
// filters whose tuning options have no meaning here).
struct Function {
  std::string params;
  std::function<Value(Call&)> body;
  bool lenient = false;
};

class Interpreter {
 public:
  Interpreter();

  // Evaluates a script file and gives its value. `origin` names the Import
  // call that asks for it, for the messages about the file itself.
  Value RunFile(const std::string& path, const std::string& origin = {});
  // Evaluates script text as if it were the file `displayName` in `dir`.
  Value RunText(const std::string& text, const std::string& displayName, const std::string& dir);
  // Evaluates one expression in the current variables (WriteFileStart).
  Value EvalExpression(const std::string& text, const std::string& origin, const std::string& dir);

  const Value* Variable(const std::string& name) const;

 private:
  friend class Evaluator;
  std::map<std::string, Value> variables_;  // keys lower-cased
  std::map<std::string, Function> functions_;
  std::vector<std::string> importChain_;  // canonical paths of the scripts being evaluated
};

std::string Lower(std::string text);

}  // namespace avs
