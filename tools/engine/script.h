// The script language: values, the evaluator and the table of functions.
#pragma once

#include "tools/engine/clip.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <type_traits>
#include <unordered_map>
#include <variant>
#include <vector>

namespace avs {

struct Value;
struct Array;
// Arrays are immutable once made: a change makes a new array, and several
// values may share one.
using ArrayPtr = std::shared_ptr<const Array>;

struct Value {
  std::variant<std::monostate, bool, int64_t, double, std::string, ClipPtr, ArrayPtr> data;

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
  Value(ArrayPtr a) : data(std::move(a)) {}

  bool defined() const { return !std::holds_alternative<std::monostate>(data); }
  bool isBool() const { return std::holds_alternative<bool>(data); }
  bool isInt() const { return std::holds_alternative<int64_t>(data); }
  bool isFloat() const { return std::holds_alternative<double>(data); }
  bool isNumber() const { return isInt() || isFloat(); }
  bool isString() const { return std::holds_alternative<std::string>(data); }
  bool isClip() const { return std::holds_alternative<ClipPtr>(data); }
  bool isArray() const { return std::holds_alternative<ArrayPtr>(data); }

  bool asBool() const { return std::get<bool>(data); }
  int64_t asInt() const { return std::get<int64_t>(data); }
  double asFloat() const { return isInt() ? static_cast<double>(asInt()) : std::get<double>(data); }
  const std::string& asString() const { return std::get<std::string>(data); }
  const ClipPtr& asClip() const { return std::get<ClipPtr>(data); }
  const Array& asArray() const { return *std::get<ArrayPtr>(data); }

  const char* typeName() const;
  // The text WriteFileStart writes: floats with six decimals and ".".
  std::string toText() const;
};

// Arrays nest at most this deep, so that neither making, reading nor freeing
// one can exhaust the stack; and hold at most kMaxArrayItems values.
constexpr int kMaxArrayDepth = 100;
constexpr std::size_t kMaxArrayItems = 1 << 20;

struct Array {
  std::vector<Value> items;
  int depth = 1;  // 1 + the depth of the deepest array among the items
};

// Longest string a script may make; longer ones are refused with a message
// instead of exhausting memory.
constexpr std::size_t kMaxStringBytes = 16 << 20;

class Interpreter;

// Marks, for as long as it lives, work on this thread inside which scripts
// are evaluated: an evaluation, or a runtime script making a frame, whose
// script makes clips whose frames run runtime scripts in turn. The
// outermost one on the thread fixes where the stack starts; evaluations
// inside measure their depth from there and stop with a message before the
// stack runs out.
class StackScope {
 public:
  StackScope();
  ~StackScope();
  StackScope(const StackScope&) = delete;
  StackScope& operator=(const StackScope&) = delete;
};

// What a function sees of the call: its arguments bound to its parameters
// (undefined where left out), and where it was called from.
struct Call {
  Interpreter& interp;
  std::string functionName;
  std::string origin;     // "Vid.avs, line 3"
  std::string scriptDir;  // folder of the calling script, with "/"
  std::vector<Value> args;
  std::vector<Value> rest;  // the values of the array parameter

  [[noreturn]] void Fail(const std::string& message) const;
  // Resolves a file name against the calling script's folder; refuses one
  // that holds a NUL character.
  std::string Path(const std::string& name) const;
  int64_t Int(std::size_t i, int64_t fallback) const;
  double Float(std::size_t i, double fallback) const;
  bool Bool(std::size_t i, bool fallback) const;
  std::string String(std::size_t i, const std::string& fallback) const;
  const ClipPtr& Clip(std::size_t i) const { return args[i].asClip(); }
  // A text result, within the limits of ChargeText.
  Value Text(std::string text) const;
  // An array result, within the limits of kMaxArrayDepth and kMaxArrayItems;
  // making it is charged as work.
  Value MakeArray(std::vector<Value> items) const;
};

// A new array of `items`, or an empty pointer with `problem` set when it
// would nest too deeply or hold too many values.
ArrayPtr NewArray(std::vector<Value> items, std::string& problem);
// Item `index` of an array: an int counts from 0; a string looks the array
// up as a dictionary, whose items are [key, value] arrays, and gives the
// value of the first key equal to it (ignoring letter case). nullptr with
// `problem` set when there is no such item.
const Value* ArrayItem(const Value& array, const Value& index, std::string& problem);

// A function of the language. `params` lists the parameters separated by
// spaces as name:type, type one of c (clip), i (int), f (float, int
// accepted), s (string), b (bool), . (any); a leading "?" marks an optional
// one. A trailing "*" marks an array of that type, "+" one of at least one
// value: given positionally it takes the values of its type that follow (an
// array of them given alone is taken whole; "." takes all the rest), given
// by name it must be an array. A built-in function finds the values in
// Call::rest.
// A lenient function ignores named arguments it does not know (source
// filters whose tuning options have no meaning here).
struct Function {
  std::string params;
  std::function<Value(Call&)> body;
  bool lenient = false;
};

struct FunctionEntry;

class Interpreter {
 public:
  Interpreter();
  ~Interpreter();
  Interpreter(const Interpreter&) = delete;
  Interpreter& operator=(const Interpreter&) = delete;

  // Evaluates a script file and gives its value. `origin` names the call of
  // `caller` that asks for it, for the messages about the file itself.
  Value RunFile(const std::string& path, const std::string& origin = {}, const std::string& caller = "Import");
  // Evaluates a script file in an interpreter of its own, as a source that
  // opens a script does (AviSource of an .avs): its variables and functions
  // stay its own; a script that opens itself so is refused as an Import loop
  // is, and the files it reads count among this one's.
  Value RunFileApart(const std::string& path, const std::string& origin, const std::string& caller);
  // Evaluates script text as if it were the file `displayName` in `dir`.
  Value RunText(const std::string& text, const std::string& displayName, const std::string& dir);
  // Evaluates one expression in the current variables (WriteFileStart).
  Value EvalExpression(const std::string& text, const std::string& origin, const std::string& dir);
  // Eval: statements run in the current variables as if they stood at the
  // calling line; the value is the last statement's when that is an
  // expression. Errors name `displayName` and the text's own lines.
  Value EvalStatements(const std::string& text, const std::string& displayName);
  // Apply: a function called by its name with positional arguments.
  Value CallFunction(const std::string& name, std::vector<Value> args, const std::string& origin);

  // A variable of the current function or script, else a global.
  const Value* Variable(const std::string& name) const;
  void SetVariable(const std::string& name, Value value, bool global = false);
  bool HasFunction(const std::string& name) const;

  // The folder relative names resolve against (with "/"), SetWorkingDir's
  // or else the script being evaluated's; and that script's path.
  const std::string& CurrentDir() const;
  void SetCurrentDir(std::string dir);
  const std::string& CurrentScript() const;

  // The files the evaluation read: the scripts, and the media files their
  // sources opened.
  void NoteInputFile(const std::string& path) { inputFiles_.push_back(path); }
  const std::vector<std::string>& inputFiles() const { return inputFiles_; }

  // A copy of the variables and functions as they stand, for filters that
  // evaluate expressions while frames are read (WriteFile).
  std::shared_ptr<Interpreter> Snapshot() const;

  // Counts the work of making a text of `bytes` bytes against the script's
  // budget, and refuses texts longer than kMaxStringBytes; both fail with a
  // message that starts with `origin`.
  void ChargeText(std::size_t bytes, const std::string& origin);
  void ChargeSteps(int64_t steps, const std::string& origin);

  // The work one evaluation may do: statements, calls, loop rounds, and a
  // step for every 64 bytes of text made. The default takes a few seconds;
  // a loop or a recursion that does not end stops there with a message.
  static constexpr int64_t kDefaultStepBudget = 10'000'000;
  void SetStepBudget(int64_t steps) { stepBudget_ = steps; }

  // Withdraws a built-in function, for hosts that must not offer it (a
  // fuzzer keeps scripts from writing files).
  void Forget(const std::string& name);

  // Rand's numbers: 31 random bits, the same sequence on every run of a
  // script unless `reseed` starts a new one from the clock.
  uint32_t Random(bool reseed);

 private:
  friend class Evaluator;
  // An interpreter without functions, which Snapshot fills with a copy of
  // another's.
  struct Empty {};
  explicit Interpreter(Empty);
  using Variables = std::unordered_map<std::string, Value>;  // keys lower-cased
  Variables globals_;
  std::deque<Variables> scopes_;  // the script's own, then one per user function call
  std::unordered_map<std::string, std::shared_ptr<const FunctionEntry>> functions_;
  std::vector<std::string> importChain_;  // canonical paths of the scripts being evaluated
  std::vector<std::string> dirs_;         // the current folder of each script being evaluated
  std::vector<std::string> inputFiles_;
  int64_t steps_ = 0;                     // work done, against stepBudget_
  int64_t stepBudget_ = kDefaultStepBudget;
  uint64_t randomState_ = 1;
  int callDepth_ = 0;
  int entries_ = 0;                       // evaluations under way, nested
};

std::string Lower(std::string text);

}  // namespace avs
