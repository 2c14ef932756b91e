#include "tools/engine/script.h"

#include "tools/engine/functions/families.h"
#include "tools/engine/syntax.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>

#include <pthread.h>

namespace avs {

namespace fs = std::filesystem;

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

const char* Value::typeName() const {
  switch (data.index()) {
    case 0: return "nothing";
    case 1: return "a bool";
    case 2: return "an int";
    case 3: return "a float";
    case 4: return "a string";
    case 5: return "a clip";
    default: return "an array";
  }
}

std::string Value::toText() const {
  if (isBool()) return asBool() ? "true" : "false";
  if (isInt()) return std::to_string(asInt());
  if (isFloat()) {
    // to_chars ignores the locale: the decimal separator is always ".".
    char buffer[400];
    auto end = std::to_chars(buffer, buffer + sizeof buffer, asFloat(), std::chars_format::fixed, 6).ptr;
    return std::string(buffer, end);
  }
  if (isString()) return asString();
  if (isClip()) return "clip";
  if (isArray()) return "array";
  return "";
}

void Call::Fail(const std::string& message) const {
  throw ScriptError(origin + ": " + functionName + ": " + message);
}

std::string Call::Path(const std::string& name) const {
  // The system would read such a name only up to the NUL, and so open
  // another file than the one named.
  if (name.find('\0') != std::string::npos) Fail("the file name \"" + name + "\" holds a NUL character");
  if (name.empty() || name[0] == '/') return name;
  return scriptDir + name;
}

int64_t Call::Int(std::size_t i, int64_t fallback) const {
  return i < args.size() && args[i].defined() ? args[i].asInt() : fallback;
}
double Call::Float(std::size_t i, double fallback) const {
  return i < args.size() && args[i].defined() ? args[i].asFloat() : fallback;
}
bool Call::Bool(std::size_t i, bool fallback) const {
  return i < args.size() && args[i].defined() ? args[i].asBool() : fallback;
}
std::string Call::String(std::size_t i, const std::string& fallback) const {
  return i < args.size() && args[i].defined() ? args[i].asString() : fallback;
}

Value Call::Text(std::string text) const {
  interp.ChargeText(text.size(), origin + ": " + functionName);
  return Value(std::move(text));
}

Value Call::MakeArray(std::vector<Value> items) const {
  // Copying an array is most of the work of a change to it.
  interp.ChargeSteps(static_cast<int64_t>(items.size() >> 4), origin + ": " + functionName);
  std::string problem;
  ArrayPtr array = NewArray(std::move(items), problem);
  if (!array) Fail(problem);
  return Value(std::move(array));
}

ArrayPtr NewArray(std::vector<Value> items, std::string& problem) {
  if (items.size() > kMaxArrayItems) {
    problem = "an array may hold at most " + std::to_string(kMaxArrayItems) + " values";
    return nullptr;
  }
  auto array = std::make_shared<Array>();
  for (const Value& item : items)
    if (item.isArray()) array->depth = std::max(array->depth, item.asArray().depth + 1);
  if (array->depth > kMaxArrayDepth) {
    problem = "arrays may nest at most " + std::to_string(kMaxArrayDepth) + " deep";
    return nullptr;
  }
  array->items = std::move(items);
  return array;
}

const Value* ArrayItem(const Value& array, const Value& index, std::string& problem) {
  if (!array.isArray()) {
    problem = std::string("only an array can be indexed, not ") + array.typeName();
    return nullptr;
  }
  const std::vector<Value>& items = array.asArray().items;
  if (index.isInt()) {
    if (index.asInt() >= 0 && static_cast<uint64_t>(index.asInt()) < items.size())
      return &items[static_cast<std::size_t>(index.asInt())];
    problem = "the index " + std::to_string(index.asInt()) + " is outside the array of " +
              std::to_string(items.size()) + (items.size() == 1 ? " value" : " values");
    return nullptr;
  }
  if (!index.isString()) {
    problem = std::string("an index must be an int or a string, not ") + index.typeName();
    return nullptr;
  }
  for (const Value& entry : items)
    if (entry.isArray() && entry.asArray().items.size() >= 2 && entry.asArray().items[0].isString() &&
        Lower(entry.asArray().items[0].asString()) == Lower(index.asString()))
      return &entry.asArray().items[1];
  problem = "the array has no key \"" + index.asString() + "\"";
  return nullptr;
}

// A function with its parameters read once, shared so that a function that
// is redefined while it runs stays alive until it returns.
struct FunctionEntry {
  struct Param {
    std::string name;
    char type;
    bool optional;
    bool variadic;  // an array of `type`
    bool nonEmpty;  // ... of at least one value
  };
  Function function;
  std::vector<Param> params;
  bool scripted = false;  // a script's own function
};

namespace {

// Scripts bigger than this are not scripts; refusing them keeps a mistaken
// Import of a media file from being parsed.
constexpr std::uintmax_t kMaxScriptBytes = 4 << 20;
constexpr std::size_t kMaxImportDepth = 64;
// The work one evaluation may do: statements, calls, loop rounds, and a step
// for every 64 bytes of text made. Ten million steps take a few seconds; a
// loop or a recursion that does not end stops there with a message.
constexpr int kMaxCallDepth = 1000;

// Faults of the script as a whole (endless work, exhausted stack) that a
// try block does not catch: catching them would let the script go on.
class LimitError : public ScriptError {
 public:
  using ScriptError::ScriptError;
};

using Param = FunctionEntry::Param;

std::vector<Param> ParseParams(const std::string& spec) {
  std::vector<Param> out;
  std::istringstream in(spec);
  std::string word;
  while (in >> word) {
    Param p{"", '.', false, false, false};
    if (word[0] == '?') {
      p.optional = true;
      word.erase(0, 1);
    }
    if (word.back() == '*' || word.back() == '+') {
      p.variadic = true;
      p.nonEmpty = word.back() == '+';
      word.pop_back();
    }
    std::size_t colon = word.find(':');
    p.name = Lower(word.substr(0, colon));
    p.type = word[colon + 1];
    out.push_back(p);
  }
  return out;
}

bool Matches(const Value& v, char type) {
  switch (type) {
    case 'c': return v.isClip();
    case 'i': return v.isInt();
    case 'f': return v.isNumber();
    case 's': return v.isString();
    case 'b': return v.isBool();
    default: return true;
  }
}

const char* TypeWord(char type) {
  switch (type) {
    case 'c': return "a clip";
    case 'i': return "an int";
    case 'f': return "a number";
    case 's': return "a string";
    case 'b': return "a bool";
    default: return "a value";
  }
}

// Script ints are 32-bit as in AviSynth: sums, differences and products wrap
// around in two's complement, computed without overflow.
int64_t Wrap32(uint64_t bits) { return static_cast<int32_t>(static_cast<uint32_t>(bits)); }

int CompareIgnoringCase(const std::string& a, const std::string& b) {
  const std::size_t n = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < n; ++i) {
    int x = std::tolower(static_cast<unsigned char>(a[i])), y = std::tolower(static_cast<unsigned char>(b[i]));
    if (x != y) return x < y ? -1 : 1;
  }
  return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

std::uintptr_t StackPointer() { return reinterpret_cast<std::uintptr_t>(__builtin_frame_address(0)); }

// How far below `here` the calling thread's stack may grow, leaving room for
// what filters and decoders need at the deepest point. The stack's end is
// looked up once per thread: the lookup reads the process's memory map.
std::size_t StackRoom(std::uintptr_t here) {
  constexpr std::size_t kReserve = 512 << 10;
  thread_local std::uintptr_t low = [] {
    std::uintptr_t found = 0;
    pthread_attr_t attr;
    if (pthread_getattr_np(pthread_self(), &attr) == 0) {
      void* address = nullptr;
      std::size_t size = 0;
      if (pthread_attr_getstack(&attr, &address, &size) == 0) found = reinterpret_cast<std::uintptr_t>(address);
      pthread_attr_destroy(&attr);
    }
    return found;
  }();
  const std::size_t room = low && here > low ? here - low : std::size_t{1} << 20;
  return room > 2 * kReserve ? room - kReserve : room / 2;
}

// The stack that evaluations on this thread share (StackScope). A runtime
// script runs in an interpreter of its own while the evaluation or the
// frame that reads its frames waits further up the same stack, so the
// depth is measured from the outermost of any interpreter.
struct ThreadStack {
  int evaluations = 0;
  std::uintptr_t base = 0;
  std::size_t budget = 0;
};
thread_local ThreadStack tThreadStack;

}  // namespace

StackScope::StackScope() {
  if (tThreadStack.evaluations++ == 0) {
    tThreadStack.base = StackPointer();
    tThreadStack.budget = StackRoom(tThreadStack.base);
  }
}

StackScope::~StackScope() { --tThreadStack.evaluations; }

class Evaluator {
 public:
  Evaluator(Interpreter& interp, std::string where, bool lineNumbers)
      : interp_(interp), where_(std::move(where)), lineNumbers_(lineNumbers) {}

  // Marks an evaluation under way: the interpreter's outermost one restarts
  // its work budget.
  class Entry {
   public:
    explicit Entry(Interpreter& interp) : interp_(interp) {
      if (interp_.entries_++ == 0) interp_.steps_ = 0;
    }
    ~Entry() { --interp_.entries_; }
    Entry(const Entry&) = delete;
    Entry& operator=(const Entry&) = delete;

   private:
    Interpreter& interp_;
    StackScope stack_;
  };

  // Registers a script's functions before any of its statements runs, so
  // that a call may come before the definition.
  static void Define(Interpreter& interp, const std::shared_ptr<const Program>& program, const std::string& file) {
    for (const auto& decl : program->functions) {
      auto entry = std::make_shared<FunctionEntry>();
      for (const ParamDecl& p : decl->params) {
        entry->params.push_back(Param{p.name, p.type, p.optional, p.array, p.nonEmpty});
        entry->function.params += std::string(p.optional ? "?" : "") + p.name + ":" + p.type +
                                  (p.array ? (p.nonEmpty ? "+" : "*") : "") + " ";
      }
      entry->scripted = true;
      const FunctionDecl* raw = decl.get();
      entry->function.body = [program, raw, file](Call& call) {
        return Evaluator(call.interp, file, true).CallUser(*raw, call);
      };
      interp.functions_[Lower(decl->name)] = std::move(entry);
    }
  }

  // Runs statements in order; true when a return statement ended them. The
  // value of the last one run stays in result_ when it was an expression.
  bool Exec(const Block& block) {
    for (const Statement& st : block)
      if (Exec(st)) return true;
    return false;
  }

  // Runs one statement; true when a return statement ended it.
  bool Exec(const Statement& st) {
    CheckStack(st.line);
    Charge(st.line, 1);
    switch (st.kind) {
      case Statement::Expression: {
        Value v = Eval(*st.expr);
        if (v.isClip()) interp_.scopes_.back()["last"] = v;
        SetResult(std::move(v));
        break;
      }
      case Statement::Assign:
        interp_.SetVariable(st.target, Eval(*st.expr), st.global);
        SetResult({}, false);
        break;
      case Statement::Return:
        SetResult(Eval(*st.expr));
        return true;
      case Statement::If:
        SetResult({}, false);
        if (Exec(Condition(*st.expr, "if") ? st.body : st.otherwise)) return true;
        break;
      case Statement::While:
        SetResult({}, false);
        while (Condition(*st.expr, "while")) {
          Charge(st.line, 1);
          if (Exec(st.body)) return true;
        }
        break;
      case Statement::For:
        SetResult({}, false);
        if (For(st)) return true;
        break;
      case Statement::Try:
        SetResult({}, false);
        try {
          if (Exec(st.body)) return true;
        } catch (const LimitError&) {
          throw;
        } catch (const ScriptError& e) {
          interp_.SetVariable(st.target, Value(std::string(e.what())));
          if (Exec(st.otherwise)) return true;
        }
        break;
    }
    return false;
  }

  const Value& result() const { return result_; }
  bool resultIsExpression() const { return resultIsExpression_; }

  Value Eval(const Node& n) {
    CheckStack(n.line);
    switch (n.kind) {
      case Node::Literal: return n.literal;
      case Node::Name: {
        if (const Value* v = Find(n.lowered)) return *v;
        if (!interp_.functions_.count(n.lowered) && !IsKnownPluginFunction(n.lowered))
          Fail(n.line, "I don't know what '" + n.name + "' means");
        return Invoke(n.name, n.lowered, n.line, {}, {});
      }
      case Node::Call: {
        std::vector<Value> values;
        values.reserve(n.kids.size());
        for (const NodePtr& k : n.kids) values.push_back(Eval(*k));
        return Invoke(n.name, n.lowered, n.line, std::move(values), n.argNames);
      }
      case Node::Unary: return Unary(n);
      case Node::Binary: return Binary(n);
      case Node::Array: {
        std::vector<Value> items;
        items.reserve(n.kids.size());
        for (const NodePtr& k : n.kids) items.push_back(Eval(*k));
        Charge(n.line, static_cast<int64_t>(items.size() >> 4));
        std::string problem;
        ArrayPtr array = NewArray(std::move(items), problem);
        if (!array) Fail(n.line, problem);
        return Value(std::move(array));
      }
      case Node::Index: {
        Value container = Eval(*n.kids[0]);
        for (std::size_t i = 1; i < n.kids.size(); ++i) {
          std::string problem;
          const Value* item = ArrayItem(container, Eval(*n.kids[i]), problem);
          if (!item) Fail(n.line, problem);
          // The item lives in the container: copy it out before letting go.
          Value copy = *item;
          container = std::move(copy);
        }
        return container;
      }
      case Node::Ternary: {
        Value cond = Eval(*n.kids[0]);
        if (!cond.isBool()) Fail(n.line, std::string("the condition before '?' is ") + cond.typeName() + ", not a bool");
        return Eval(*n.kids[cond.asBool() ? 1 : 2]);
      }
    }
    return {};
  }

  Value Invoke(const std::string& name, const std::string& lowered, int line, std::vector<Value> values,
               const std::vector<std::string>& names) {
    Charge(line, 1);
    auto found = interp_.functions_.find(lowered);
    if (found == interp_.functions_.end()) {
      if (IsKnownPluginFunction(lowered)) Fail(line, name + " comes from a plugin; plugins cannot be loaded here");
      if (IsUnsupportedCoreFunction(lowered)) Fail(line, name + " is one of AviSynth's own functions, but it is not supported here");
      Fail(line, "there is no function named " + name);
    }
    std::shared_ptr<const FunctionEntry> entry = found->second;
    const std::vector<Param>& params = entry->params;

    std::vector<Value> positional;
    std::vector<std::pair<std::string, Value>> named;
    for (std::size_t i = 0; i < values.size(); ++i) {
      if (i >= names.size() || names[i].empty()) {
        if (!named.empty()) Fail(line, name + ": a positional argument follows a named one");
        positional.push_back(std::move(values[i]));
      } else {
        named.emplace_back(names[i], std::move(values[i]));
      }
    }
    Call call{interp_, name, Where(line), interp_.CurrentDir(), {}, {}};
    std::string problem = Bind(*entry, positional, named, call);
    // A function of a clip whose arguments do not fit works on `last` first
    // (Overlay(logo, x=8) overlays logo on last). When that does not fit
    // either, the message is about the arguments as written, unless they
    // began with something other than a clip. A script's function whose
    // first parameter takes any value takes `last` so too, as AviSynth
    // tries every call again with it (function Deflicker(last, ...)).
    const bool takesLast = !params.empty() && (params[0].type == 'c' || (entry->scripted && params[0].type == '.'));
    if (!problem.empty() && takesLast) {
      const bool clipGiven = !positional.empty() && positional[0].isClip();
      const Value* last = Find("last");
      if (last && last->isClip()) {
        positional.insert(positional.begin(), *last);
        std::string withLast = Bind(*entry, positional, named, call);
        if (withLast.empty() || !clipGiven) problem = std::move(withLast);
      } else if (params[0].type == 'c' && !params[0].optional && !clipGiven) {
        problem = "needs a clip, and no clip was given or made before";
      }
    }
    if (!problem.empty()) Fail(line, name + (problem.starts_with("needs") || problem.starts_with("has no") ? " " : ": ") + problem);
    return entry->function.body(call);
  }

  // A user function's body, run in a scope of its own that holds its
  // parameters; an int given for a float parameter becomes a float.
  Value CallUser(const FunctionDecl& decl, Call& call) {
    if (interp_.callDepth_ >= kMaxCallDepth)
      throw LimitError(call.origin + ": " + decl.name + ": user functions call each other more than " +
                       std::to_string(kMaxCallDepth) + " levels deep (a recursion that does not end?)");
    Interpreter::Variables scope;
    for (std::size_t i = 0; i < decl.params.size(); ++i) {
      Value v = std::move(call.args[i]);
      if (decl.params[i].type == 'f' && v.isInt()) v = Value(v.asFloat());
      if (decl.params[i].type == 'f' && v.isArray()) {
        std::vector<Value> items = v.asArray().items;
        for (Value& item : items)
          if (item.isInt()) item = Value(item.asFloat());
        v = call.MakeArray(std::move(items));
      }
      scope[decl.params[i].name] = std::move(v);
    }
    interp_.scopes_.push_back(std::move(scope));
    ++interp_.callDepth_;
    struct Leave {
      Interpreter& in;
      ~Leave() {
        in.scopes_.pop_back();
        --in.callDepth_;
      }
    } leave{interp_};
    Exec(decl.body);
    return resultIsExpression_ ? result_ : Value();
  }

  [[noreturn]] void Fail(int line, const std::string& message) const { throw ScriptError(Where(line) + ": " + message); }

 private:
  std::string Where(int line) const { return lineNumbers_ ? where_ + ", line " + std::to_string(line) : where_; }

  const Value* Find(const std::string& lowered) const {
    const Interpreter::Variables& scope = interp_.scopes_.back();
    auto it = scope.find(lowered);
    if (it != scope.end()) return &it->second;
    it = interp_.globals_.find(lowered);
    return it == interp_.globals_.end() ? nullptr : &it->second;
  }

  void SetResult(Value v, bool isExpression = true) {
    result_ = std::move(v);
    resultIsExpression_ = isExpression;
  }

  void Charge(int line, int64_t steps) {
    if (interp_.steps_ + steps > interp_.stepBudget_) interp_.ChargeSteps(steps, Where(line));
    interp_.steps_ += steps;
  }

  void CheckStack(int line) const {
    std::uintptr_t here = StackPointer();
    if (tThreadStack.base > here && tThreadStack.base - here > tThreadStack.budget)
      throw LimitError(Where(line) + ": the script nests too deeply (a recursion that does not end?)");
  }

  bool Condition(const Node& n, const char* statement) {
    Value v = Eval(n);
    if (!v.isBool()) Fail(n.line, std::string("the condition of '") + statement + "' is " + v.typeName() + ", not a bool");
    return v.asBool();
  }

  // for (i = start, end[, step]): the end and the step are read once; the
  // loop runs while the variable has not passed the end, and the body may
  // change the variable.
  bool For(const Statement& st) {
    Value start = Eval(*st.expr), limit = Eval(*st.limit), step = st.step ? Eval(*st.step) : Value(1);
    if (!start.isNumber() || !limit.isNumber() || !step.isNumber())
      Fail(st.line, "the start, end and step of 'for' must be numbers");
    if (step.asFloat() == 0) Fail(st.line, "the step of 'for' is 0");
    const bool up = step.asFloat() > 0;
    interp_.SetVariable(st.target, start);
    for (;;) {
      Charge(st.line, 1);
      Value at = LoopVariable(st);
      bool go = at.isInt() && limit.isInt() ? (up ? at.asInt() <= limit.asInt() : at.asInt() >= limit.asInt())
                                            : (up ? at.asFloat() <= limit.asFloat() : at.asFloat() >= limit.asFloat());
      if (!go) return false;
      if (Exec(st.body)) return true;
      at = LoopVariable(st);
      int64_t next = 0;
      if (at.isInt() && step.isInt()) {
        if (__builtin_add_overflow(at.asInt(), step.asInt(), &next)) return false;
        interp_.SetVariable(st.target, Value(next));
      } else {
        interp_.SetVariable(st.target, Value(at.asFloat() + step.asFloat()));
      }
    }
  }

  Value LoopVariable(const Statement& st) const {
    const Value* v = Find(st.target);
    if (!v || !v->isNumber()) Fail(st.line, "the variable of 'for', " + st.target + ", is no longer a number");
    return *v;
  }

  std::string Bind(const FunctionEntry& entry, const std::vector<Value>& positional,
                   const std::vector<std::pair<std::string, Value>>& named, Call& call) const {
    const std::vector<Param>& params = entry.params;
    call.args.assign(params.size(), Value());
    call.rest.clear();
    // The values gathered positionally by each array parameter.
    std::vector<std::vector<Value>> gathered(params.size());
    std::size_t p = 0;
    // An optional clip that comes first (BlankClip's template) is passed
    // over when the first value given is not a clip.
    if (!params.empty() && params[0].optional && params[0].type == 'c' && !positional.empty() &&
        !positional[0].isClip())
      p = 1;
    for (std::size_t k = 0; k < positional.size();) {
      const Value& v = positional[k];
      if (p >= params.size()) return "too many arguments";
      const Param& param = params[p];
      if (!param.variadic) {
        call.args[p++] = v;
        ++k;
      } else if (gathered[p].empty() && v.isArray() && (param.type != '.' || p + 1 < params.size())) {
        // An array given first is the parameter, unless the parameter takes
        // values of any type and is the last: then it is the first of them.
        call.args[p++] = v;
        ++k;
      } else if (Matches(v, param.type)) {
        gathered[p].push_back(v);
        ++k;
      } else if (p + 1 < params.size()) {
        ++p;  // the array ends at the first value of another type
      } else {
        return "each " + param.name + " must be " + TypeWord(param.type) + ", not " + v.typeName();
      }
    }
    for (const auto& [name, v] : named) {
      auto it = std::find_if(params.begin(), params.end(), [&name = name](const Param& ps) { return ps.name == name; });
      if (it == params.end()) {
        if (entry.function.lenient) continue;
        return "has no argument named " + name;
      }
      std::size_t idx = static_cast<std::size_t>(it - params.begin());
      if (call.args[idx].defined() || !gathered[idx].empty()) return name + " is given twice";
      if (it->variadic && !v.isArray()) return name + " must be an array, not " + v.typeName();
      call.args[idx] = v;
    }
    for (std::size_t i = 0; i < params.size(); ++i) {
      const Param& param = params[i];
      if (param.variadic) {
        // Left out, an unnamed array is empty; an optional one stays undefined.
        if (!call.args[i].defined() && (!gathered[i].empty() || !param.optional)) {
          std::string problem;
          ArrayPtr array = NewArray(std::move(gathered[i]), problem);
          if (!array) return problem;
          call.args[i] = Value(std::move(array));
        }
        if (!call.args[i].defined()) continue;
        const std::vector<Value>& items = call.args[i].asArray().items;
        for (const Value& item : items)
          if (!Matches(item, param.type))
            return "each " + param.name + " must be " + TypeWord(param.type) + ", not " + item.typeName();
        if (param.nonEmpty && items.empty()) return std::string("needs ") + TypeWord(param.type) + " for " + param.name;
        if (call.rest.empty()) call.rest = items;
        continue;
      }
      if (!call.args[i].defined()) {
        if (!param.optional) return std::string("needs ") + TypeWord(param.type) + " for " + param.name;
        continue;
      }
      if (!Matches(call.args[i], param.type))
        return param.name + " must be " + TypeWord(param.type) + ", not " + call.args[i].typeName();
    }
    return {};
  }

  Value Unary(const Node& n) {
    Value v = Eval(*n.kids[0]);
    if (n.name == "!") {
      if (!v.isBool()) Fail(n.line, std::string("'!' needs a bool, not ") + v.typeName());
      return Value(!v.asBool());
    }
    if (!v.isNumber()) Fail(n.line, "'" + n.name + "' needs a number, not " + std::string(v.typeName()));
    if (n.name == "+") return v;
    return v.isInt() ? Value(Wrap32(0 - static_cast<uint64_t>(v.asInt()))) : Value(-v.asFloat());
  }

  Value Binary(const Node& n) {
    const std::string& op = n.name;
    Value a = Eval(*n.kids[0]);
    if (op == "&&" || op == "||") {
      if (!a.isBool()) Fail(n.line, "'" + op + "' needs bools, not " + a.typeName());
      if (a.asBool() == (op == "||")) return a;
      Value b = Eval(*n.kids[1]);
      if (!b.isBool()) Fail(n.line, "'" + op + "' needs bools, not " + b.typeName());
      return b;
    }
    if (n.kids.size() > 2) {
      // A chain of comparisons: each with the next, until one is false.
      for (std::size_t i = 1; i < n.kids.size(); ++i) {
        Value b = Eval(*n.kids[i]);
        Value holds = Operate(n, i == 1 ? op : n.argNames[i - 2], a, b);
        if (!holds.asBool()) return holds;
        a = std::move(b);
      }
      return Value(true);
    }
    return Operate(n, op, a, Eval(*n.kids[1]));
  }

  // `a op b` for every operator but && and ||.
  Value Operate(const Node& n, const std::string& op, const Value& a, const Value& b) {
    if (a.isString() && b.isString()) {
      if (op == "+") {
        const std::size_t size = a.asString().size() + b.asString().size();
        if (size > kMaxStringBytes) Fail(n.line, "'+' would make a string longer than 16 MiB");
        Charge(n.line, static_cast<int64_t>(size >> 6));
        std::string joined;
        joined.reserve(size);
        joined.append(a.asString()).append(b.asString());
        return Value(std::move(joined));
      }
      if (!IsComparison(op)) Fail(n.line, Mismatch(op, a, b));
      // Text comparisons ignore letter case, as names do.
      return Value(Compare(n, op, CompareIgnoringCase(a.asString(), b.asString())));
    }
    if (a.isBool() && b.isBool() && (op == "==" || op == "!=")) return Value((a.asBool() == b.asBool()) == (op == "=="));
    if (a.isClip() && b.isClip() && (op == "+" || op == "++")) {
      // Clips join end to end: "++" keeps each clip's sound with its frames.
      const std::string splice = op == "+" ? "UnalignedSplice" : "AlignedSplice";
      return Invoke(splice, Lower(splice), n.line, {a, b}, {});
    }
    if (!a.isNumber() || !b.isNumber()) Fail(n.line, Mismatch(op, a, b));
    if (IsComparison(op)) {
      if (a.isInt() && b.isInt()) return Value(Compare(n, op, a.asInt() < b.asInt() ? -1 : a.asInt() > b.asInt()));
      double x = a.asFloat(), y = b.asFloat();
      return Value(Compare(n, op, x < y ? -1 : x > y));
    }
    if (a.isInt() && b.isInt()) return IntArithmetic(n, a.asInt(), b.asInt());
    double x = a.asFloat(), y = b.asFloat();
    if (op == "+") return Value(x + y);
    if (op == "-") return Value(x - y);
    if (op == "*") return Value(x * y);
    if (op == "/") return Value(x / y);
    return Value(std::fmod(x, y));
  }

  Value IntArithmetic(const Node& n, int64_t x, int64_t y) const {
    const std::string& op = n.name;
    const uint64_t ux = static_cast<uint64_t>(x), uy = static_cast<uint64_t>(y);
    if (op == "+") return Value(Wrap32(ux + uy));
    if (op == "-") return Value(Wrap32(ux - uy));
    if (op == "*") return Value(Wrap32(ux * uy));
    if (y == 0) Fail(n.line, "division by zero");
    // The one quotient that does not fit: the most negative int by -1.
    if (y == -1) return Value(op == "/" ? Wrap32(0 - ux) : int64_t{0});
    return Value(Wrap32(static_cast<uint64_t>(op == "/" ? x / y : x % y)));
  }

  static std::string Mismatch(const std::string& op, const Value& a, const Value& b) {
    return "'" + op + "' cannot combine " + a.typeName() + " and " + b.typeName();
  }

  static bool IsComparison(const std::string& op) {
    return op == "==" || op == "!=" || op == "<" || op == ">" || op == "<=" || op == ">=";
  }
  bool Compare(const Node& n, const std::string& op, int c) const {
    if (op == "==") return c == 0;
    if (op == "!=") return c != 0;
    if (op == "<") return c < 0;
    if (op == ">") return c > 0;
    if (op == "<=") return c <= 0;
    if (op == ">=") return c >= 0;
    Fail(n.line, "'" + op + "' cannot be used on strings");
  }

  Interpreter& interp_;
  std::string where_;
  bool lineNumbers_;
  Value result_;
  bool resultIsExpression_ = false;
};

Interpreter::Interpreter() {
  scopes_.emplace_back();
  std::map<std::string, Value> presets;
  RegisterColourPresets(presets);
  globals_.insert(presets.begin(), presets.end());
  FunctionTable table;
  RegisterAllFunctions(table);
  for (auto& [name, function] : table) {
    auto entry = std::make_shared<FunctionEntry>();
    entry->params = ParseParams(function.params);
    entry->function = std::move(function);
    functions_[name] = std::move(entry);
  }
}

Interpreter::Interpreter(Empty) { scopes_.emplace_back(); }

Interpreter::~Interpreter() = default;

const Value* Interpreter::Variable(const std::string& name) const {
  const std::string key = Lower(name);
  auto it = scopes_.back().find(key);
  if (it != scopes_.back().end()) return &it->second;
  it = globals_.find(key);
  return it == globals_.end() ? nullptr : &it->second;
}

void Interpreter::SetVariable(const std::string& name, Value value, bool global) {
  (global ? globals_ : scopes_.back())[Lower(name)] = std::move(value);
}

bool Interpreter::HasFunction(const std::string& name) const { return functions_.count(Lower(name)) > 0; }

const std::string& Interpreter::CurrentDir() const {
  static const std::string kNone;
  return dirs_.empty() ? kNone : dirs_.back();
}

void Interpreter::SetCurrentDir(std::string dir) {
  if (dirs_.empty()) dirs_.push_back(std::move(dir));
  else dirs_.back() = std::move(dir);
}

const std::string& Interpreter::CurrentScript() const {
  static const std::string kNone;
  return importChain_.empty() ? kNone : importChain_.back();
}

std::shared_ptr<Interpreter> Interpreter::Snapshot() const {
  // The built-in functions are copied with the rest, not registered again.
  std::shared_ptr<Interpreter> copy(new Interpreter(Empty{}));
  copy->globals_ = globals_;
  copy->scopes_ = {scopes_.back()};
  copy->functions_ = functions_;
  copy->importChain_ = importChain_;
  copy->dirs_ = {CurrentDir()};
  return copy;
}

void Interpreter::ChargeText(std::size_t bytes, const std::string& origin) {
  if (bytes > kMaxStringBytes) throw ScriptError(origin + ": the string would be longer than 16 MiB");
  ChargeSteps(static_cast<int64_t>(bytes >> 6), origin);
}

void Interpreter::ChargeSteps(int64_t steps, const std::string& origin) {
  if ((steps_ += steps) > stepBudget_)
    throw LimitError(origin + ": the script runs too long: more than " + std::to_string(stepBudget_) +
                     " steps (a loop or a recursion that does not end?)");
}

void Interpreter::Forget(const std::string& name) { functions_.erase(Lower(name)); }

uint32_t Interpreter::Random(bool reseed) {
  if (reseed) randomState_ = static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
  // splitmix64
  uint64_t z = (randomState_ += 0x9E3779B97F4A7C15ULL);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
  return static_cast<uint32_t>((z ^ (z >> 31)) >> 33);
}

Value Interpreter::RunText(const std::string& text, const std::string& displayName, const std::string& dir) {
  dirs_.push_back(dir);
  struct Pop {
    std::vector<std::string>& dirs;
    ~Pop() { dirs.pop_back(); }
  } pop{dirs_};
  Value value = EvalStatements(text, displayName);
  if (value.defined()) return value;
  // A script that ends with an assignment, or with a call that gives
  // nothing (Assert, a setting), gives the clip made last.
  const Value* last = Variable("last");
  return last ? *last : Value();
}

Value Interpreter::EvalStatements(const std::string& text, const std::string& displayName) {
  Evaluator::Entry entry(*this);
  // The text is read twice: first whole, for its faults and for the
  // functions it defines, which a line may call before their definition;
  // then each statement runs as soon as it is read again. Reading twice
  // costs far less than keeping the trees of a long script's every line.
  std::shared_ptr<const Program> program;
  try {
    program = ParseScript(text, [](const Statement&) { return true; });
  } catch (const SyntaxError& e) {
    throw ScriptError(displayName + ", line " + std::to_string(e.line) + ": " + e.message);
  }
  Evaluator::Define(*this, program, displayName);
  Evaluator evaluator(*this, displayName, true);
  ParseScript(text, [&evaluator](const Statement& st) { return !evaluator.Exec(st); });
  return evaluator.resultIsExpression() ? evaluator.result() : Value();
}

Value Interpreter::CallFunction(const std::string& name, std::vector<Value> args, const std::string& origin) {
  Evaluator::Entry entry(*this);
  return Evaluator(*this, origin, false).Invoke(name, Lower(name), 0, std::move(args), {});
}

Value Interpreter::EvalExpression(const std::string& text, const std::string& origin, const std::string& dir) {
  Evaluator::Entry entry(*this);
  std::string where = origin + ", in \"" + text + "\"";
  dirs_.push_back(dir);
  struct Pop {
    std::vector<std::string>& dirs;
    ~Pop() { dirs.pop_back(); }
  } pop{dirs_};
  try {
    NodePtr expr = ParseExpression(text);
    return Evaluator(*this, where, false).Eval(*expr);
  } catch (const SyntaxError& e) {
    throw ScriptError(where + ": " + e.message);
  }
}

Value Interpreter::RunFileApart(const std::string& path, const std::string& origin, const std::string& caller) {
  Interpreter apart;
  apart.importChain_ = importChain_;
  apart.stepBudget_ = stepBudget_;
  Value value = apart.RunFile(path, origin, caller);
  inputFiles_.insert(inputFiles_.end(), apart.inputFiles_.begin(), apart.inputFiles_.end());
  return value;
}

Value Interpreter::RunFile(const std::string& path, const std::string& origin, const std::string& caller) {
  std::error_code ec;
  fs::path canonical = fs::weakly_canonical(fs::absolute(path, ec), ec);
  if (ec) canonical = fs::path(path).lexically_normal();
  std::string displayName = fs::path(path).filename().string();
  const std::string prefix = origin.empty() ? "" : origin + ": " + caller + ": ";
  if (std::find(importChain_.begin(), importChain_.end(), canonical.string()) != importChain_.end())
    throw ScriptError(prefix + displayName + " imports itself");
  if (importChain_.size() >= kMaxImportDepth) throw ScriptError(prefix + "scripts are imported too deeply");
  if (!fs::is_regular_file(canonical, ec)) throw ScriptError(prefix + "cannot open the script " + path);
  if (fs::file_size(canonical, ec) > kMaxScriptBytes) throw ScriptError(prefix + path + " is too large to be a script");
  std::ifstream in(canonical, std::ios::binary);
  if (!in) throw ScriptError(prefix + "cannot read the script " + path);
  std::stringstream text;
  text << in.rdbuf();

  NoteInputFile(canonical.string());
  importChain_.push_back(canonical.string());
  struct Pop {
    std::vector<std::string>& chain;
    ~Pop() { chain.pop_back(); }
  } pop{importChain_};
  return RunText(text.str(), displayName, canonical.parent_path().string() + "/");
}

}  // namespace avs
