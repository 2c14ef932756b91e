#include "tools/engine/script.h"

#include "tools/engine/functions/families.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>

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
    default: return "a clip";
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
  return "";
}

void Call::Fail(const std::string& message) const {
  throw ScriptError(origin + ": " + functionName + ": " + message);
}

std::string Call::Path(const std::string& name) const {
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

namespace {

// Scripts bigger than this are not scripts; refusing them keeps a mistaken
// Import of a media file from being parsed.
constexpr std::uintmax_t kMaxScriptBytes = 4 << 20;
constexpr std::size_t kMaxImportDepth = 64;
// Deeper expressions are refused, so that neither parsing, evaluating nor
// freeing a hostile script can exhaust the stack.
constexpr int kMaxNesting = 400;

struct SyntaxError {
  int line;
  std::string message;
};

enum class Tok { Int, Float, String, Name, Op, Newline, End };

struct Token {
  Tok kind;
  std::string text;
  int line;
  int64_t intValue = 0;
  double floatValue = 0;
};

std::vector<Token> Lex(const std::string& src) {
  std::vector<Token> out;
  int line = 1;
  int depth = 0;  // inside parentheses a line break does not end the statement
  bool joinNextLine = false;
  std::size_t i = 0;
  if (src.compare(0, 3, "\xEF\xBB\xBF") == 0) i = 3;
  auto push = [&](Tok kind, std::string text) { out.push_back(Token{kind, std::move(text), line}); };
  while (i < src.size()) {
    char c = src[i];
    if (c == ' ' || c == '\t' || c == '\r') {
      ++i;
    } else if (c == '\n') {
      if (!joinNextLine && depth == 0 && (out.empty() || out.back().kind != Tok::Newline))
        push(Tok::Newline, "\n");
      joinNextLine = false;
      ++line;
      ++i;
    } else if (c == '#') {
      while (i < src.size() && src[i] != '\n') ++i;
    } else if (c == '/' && i + 1 < src.size() && src[i + 1] == '*') {
      std::size_t end = src.find("*/", i + 2);
      if (end == std::string::npos) throw SyntaxError{line, "a /* comment is not closed"};
      line += static_cast<int>(std::count(src.begin() + i, src.begin() + end, '\n'));
      i = end + 2;
    } else if (c == '\\') {
      // A backslash ending a line or starting the next joins the two lines.
      if (!out.empty() && out.back().kind == Tok::Newline) out.pop_back();
      else joinNextLine = true;
      ++i;
    } else if (std::isdigit(static_cast<unsigned char>(c)) ||
               (c == '.' && i + 1 < src.size() && std::isdigit(static_cast<unsigned char>(src[i + 1])))) {
      std::size_t start = i;
      while (i < src.size() && std::isdigit(static_cast<unsigned char>(src[i]))) ++i;
      bool isFloat = i < src.size() && src[i] == '.' && i + 1 < src.size() &&
                     std::isdigit(static_cast<unsigned char>(src[i + 1]));
      if (isFloat) {
        ++i;
        while (i < src.size() && std::isdigit(static_cast<unsigned char>(src[i]))) ++i;
      }
      std::string text = src.substr(start, i - start);
      Token token{isFloat ? Tok::Float : Tok::Int, text, line};
      if (isFloat) {
        std::from_chars(text.data(), text.data() + text.size(), token.floatValue);
      } else {
        errno = 0;
        token.intValue = std::strtoll(text.c_str(), nullptr, 10);
        if (errno == ERANGE || token.intValue > INT32_MAX)
          throw SyntaxError{line, "the number " + text + " is too large"};
      }
      out.push_back(token);
    } else if (c == '$') {
      std::size_t start = ++i;
      while (i < src.size() && std::isxdigit(static_cast<unsigned char>(src[i]))) ++i;
      if (i == start || i - start > 8) throw SyntaxError{line, "a bad hexadecimal number"};
      Token token{Tok::Int, src.substr(start - 1, i - start + 1), line};
      token.intValue = static_cast<int64_t>(std::stoull(src.substr(start, i - start), nullptr, 16));
      out.push_back(token);
    } else if (c == '"') {
      bool triple = src.compare(i, 3, "\"\"\"") == 0;
      std::size_t open = triple ? 3 : 1;
      std::size_t end = src.find(triple ? "\"\"\"" : "\"", i + open);
      if (end == std::string::npos) throw SyntaxError{line, "a string is not closed"};
      std::string text = src.substr(i + open, end - i - open);
      push(Tok::String, text);
      line += static_cast<int>(std::count(text.begin(), text.end(), '\n'));
      i = end + open;
    } else if (std::isalpha(static_cast<unsigned char>(c)) || c == '_') {
      std::size_t start = i;
      while (i < src.size() && (std::isalnum(static_cast<unsigned char>(src[i])) || src[i] == '_')) ++i;
      push(Tok::Name, src.substr(start, i - start));
    } else {
      static const char* const kTwoCharOps[] = {"==", "!=", "<>", "<=", ">=", "&&", "||", "++"};
      std::string op(1, c);
      for (const char* two : kTwoCharOps)
        if (src.compare(i, 2, two) == 0) op = two;
      if (op.size() == 1 && std::string("=+-*/%!<>?:(),.{}").find(c) == std::string::npos)
        throw SyntaxError{line, std::string("unexpected character '") + c + "'"};
      if (op == "(") ++depth;
      if (op == ")" && depth > 0) --depth;
      push(Tok::Op, op);
      i += op.size();
    }
  }
  push(Tok::End, "");
  return out;
}

struct Node {
  enum Kind { Literal, Name, Call, Unary, Binary, Ternary } kind;
  int line;
  Value literal;
  std::string name;  // variable, function or operator
  std::vector<std::unique_ptr<Node>> kids;
  std::vector<std::string> argNames;  // per call argument; empty when positional
  int depth = 1;

  void Adopt(std::unique_ptr<Node> kid);
};
using NodePtr = std::unique_ptr<Node>;

void Node::Adopt(NodePtr kid) {
  depth = std::max(depth, kid->depth + 1);
  if (depth > kMaxNesting) throw SyntaxError{line, "the expression is nested too deeply"};
  kids.push_back(std::move(kid));
}

struct Statement {
  int line;
  std::string assignTo;  // empty for a bare expression
  bool isReturn = false;
  NodePtr expr;
};

class Parser {
 public:
  explicit Parser(std::vector<Token> tokens) : t_(std::move(tokens)) {}

  std::vector<Statement> Script() {
    std::vector<Statement> out;
    while (Peek().kind != Tok::End) {
      if (Peek().kind == Tok::Newline) {
        ++pos_;
        continue;
      }
      Statement st{Peek().line, "", false, nullptr};
      std::string first = Lower(Peek().text);
      if (Peek().kind == Tok::Name && first == "function")
        throw SyntaxError{st.line, "user-defined functions are not supported"};
      if (Peek().kind == Tok::Name && first == "return") {
        ++pos_;
        st.isReturn = true;
      } else {
        std::size_t nameAt = pos_;
        if (Peek().kind == Tok::Name && first == "global" && t_[pos_ + 1].kind == Tok::Name) nameAt = pos_ + 1;
        if (t_[nameAt].kind == Tok::Name && t_[nameAt + 1].kind == Tok::Op && t_[nameAt + 1].text == "=") {
          st.assignTo = Lower(t_[nameAt].text);
          pos_ = nameAt + 2;
        }
      }
      st.expr = Expression();
      if (Peek().kind != Tok::Newline && Peek().kind != Tok::End) Unexpected();
      out.push_back(std::move(st));
    }
    return out;
  }

  NodePtr SingleExpression() {
    while (Peek().kind == Tok::Newline) ++pos_;
    NodePtr e = Expression();
    while (Peek().kind == Tok::Newline) ++pos_;
    if (Peek().kind != Tok::End) Unexpected();
    return e;
  }

 private:
  const Token& Peek() const { return t_[pos_]; }
  bool IsOp(const char* op) const { return Peek().kind == Tok::Op && Peek().text == op; }
  bool TakeOp(const char* op) {
    if (!IsOp(op)) return false;
    ++pos_;
    return true;
  }
  void ExpectOp(const char* op) {
    if (!TakeOp(op)) throw SyntaxError{Peek().line, std::string("expected '") + op + "' but found " + Describe()};
  }
  std::string Describe() const {
    if (Peek().kind == Tok::End) return "the end of the script";
    if (Peek().kind == Tok::Newline) return "the end of the line";
    return "'" + Peek().text + "'";
  }
  [[noreturn]] void Unexpected() const { throw SyntaxError{Peek().line, "unexpected " + Describe()}; }

  NodePtr Make(Node::Kind kind, int line, std::string name = {}) {
    auto n = std::make_unique<Node>();
    n->kind = kind;
    n->line = line;
    n->name = std::move(name);
    return n;
  }

  NodePtr Expression() {
    Nest nest(*this);
    NodePtr cond = Binary(0);
    if (!IsOp("?")) return cond;
    int line = Peek().line;
    ++pos_;
    NodePtr yes = Expression();
    ExpectOp(":");
    NodePtr no = Expression();
    NodePtr n = Make(Node::Ternary, line);
    n->Adopt(std::move(cond));
    n->Adopt(std::move(yes));
    n->Adopt(std::move(no));
    return n;
  }

  // Binary operators from the loosest to the tightest binding.
  NodePtr Binary(int level) {
    static const std::vector<std::vector<std::string>> kLevels = {
        {"||"}, {"&&"}, {"==", "!=", "<>", "<", ">", "<=", ">="}, {"+", "++", "-"}, {"*", "/", "%"}};
    if (level == static_cast<int>(kLevels.size())) return Unary();
    NodePtr left = Binary(level + 1);
    for (;;) {
      const auto& ops = kLevels[level];
      if (Peek().kind != Tok::Op || std::find(ops.begin(), ops.end(), Peek().text) == ops.end()) return left;
      NodePtr n = Make(Node::Binary, Peek().line, Peek().text == "<>" ? "!=" : Peek().text);
      ++pos_;
      n->Adopt(std::move(left));
      n->Adopt(Binary(level + 1));
      left = std::move(n);
    }
  }

  NodePtr Unary() {
    Nest nest(*this);
    if (IsOp("-") || IsOp("!") || IsOp("+")) {
      NodePtr n = Make(Node::Unary, Peek().line, Peek().text);
      ++pos_;
      n->Adopt(Unary());
      return n;
    }
    return Postfix();
  }

  NodePtr Postfix() {
    NodePtr e = Primary();
    while (IsOp(".")) {
      ++pos_;
      if (Peek().kind != Tok::Name) throw SyntaxError{Peek().line, "expected a function name after '.'"};
      NodePtr call = Make(Node::Call, Peek().line, Peek().text);
      ++pos_;
      call->Adopt(std::move(e));
      call->argNames.push_back("");
      if (IsOp("(")) Arguments(*call);
      e = std::move(call);
    }
    return e;
  }

  void Arguments(Node& call) {
    ExpectOp("(");
    if (TakeOp(")")) return;
    do {
      std::string name;
      if (Peek().kind == Tok::Name && t_[pos_ + 1].kind == Tok::Op && t_[pos_ + 1].text == "=") {
        name = Lower(Peek().text);
        pos_ += 2;
      }
      call.Adopt(Expression());
      call.argNames.push_back(name);
    } while (TakeOp(","));
    ExpectOp(")");
  }

  NodePtr Primary() {
    const Token& tok = Peek();
    int line = tok.line;
    switch (tok.kind) {
      case Tok::Int: {
        NodePtr n = Make(Node::Literal, line);
        n->literal = Value(tok.intValue);
        ++pos_;
        return n;
      }
      case Tok::Float: {
        NodePtr n = Make(Node::Literal, line);
        n->literal = Value(tok.floatValue);
        ++pos_;
        return n;
      }
      case Tok::String: {
        NodePtr n = Make(Node::Literal, line);
        n->literal = Value(tok.text);
        ++pos_;
        return n;
      }
      case Tok::Name: {
        std::string lower = Lower(tok.text);
        ++pos_;
        if (lower == "true" || lower == "false") {
          NodePtr n = Make(Node::Literal, line);
          n->literal = Value(lower == "true");
          return n;
        }
        if (IsOp("(")) {
          NodePtr n = Make(Node::Call, line, tok.text);
          Arguments(*n);
          return n;
        }
        return Make(Node::Name, line, tok.text);
      }
      case Tok::Op:
        if (TakeOp("(")) {
          NodePtr e = Expression();
          ExpectOp(")");
          return e;
        }
        break;
      default:
        break;
    }
    Unexpected();
  }

  // Counts the parser's own recursion (parentheses, signs, arguments).
  struct Nest {
    Parser& parser;
    explicit Nest(Parser& p) : parser(p) {
      if (++parser.nesting_ > kMaxNesting) throw SyntaxError{parser.Peek().line, "the expression is nested too deeply"};
    }
    ~Nest() { --parser.nesting_; }
  };

  std::vector<Token> t_;
  std::size_t pos_ = 0;
  int nesting_ = 0;
};

struct ParamSpec {
  std::string name;
  char type;
  bool optional;
  bool variadic;
};

std::vector<ParamSpec> ParseParams(const std::string& spec) {
  std::vector<ParamSpec> out;
  std::istringstream in(spec);
  std::string word;
  while (in >> word) {
    ParamSpec p{"", '.', false, false};
    if (word[0] == '?') {
      p.optional = true;
      word.erase(0, 1);
    }
    if (word.back() == '*') {
      p.variadic = true;
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

}  // namespace

class Evaluator {
 public:
  Evaluator(Interpreter& interp, std::string where, std::string dir, bool lineNumbers)
      : interp_(interp), where_(std::move(where)), dir_(std::move(dir)), lineNumbers_(lineNumbers) {}

  Value Run(const std::vector<Statement>& script) {
    Value result;
    bool lastWasBare = false;
    for (const Statement& st : script) {
      Value v = Eval(*st.expr);
      if (st.isReturn) return v;
      if (!st.assignTo.empty()) {
        if (!v.defined()) Fail(st.line, "the value assigned to " + st.assignTo + " is nothing");
        interp_.variables_[st.assignTo] = v;
        lastWasBare = false;
      } else {
        if (v.isClip()) interp_.variables_["last"] = v;
        result = v;
        lastWasBare = true;
      }
    }
    if (!lastWasBare) {
      const Value* last = interp_.Variable("last");
      result = last ? *last : Value();
    }
    return result;
  }

  Value Eval(const Node& n) {
    switch (n.kind) {
      case Node::Literal: return n.literal;
      case Node::Name: {
        if (const Value* v = interp_.Variable(n.name)) return *v;
        if (!interp_.functions_.count(Lower(n.name)))
          Fail(n.line, "I don't know what '" + n.name + "' means");
        return Invoke(n, {}, {});
      }
      case Node::Call: {
        std::vector<Value> values;
        for (const NodePtr& k : n.kids) values.push_back(Eval(*k));
        return Invoke(n, std::move(values), n.argNames);
      }
      case Node::Unary: return Unary(n);
      case Node::Binary: return Binary(n);
      case Node::Ternary: {
        Value cond = Eval(*n.kids[0]);
        if (!cond.isBool()) Fail(n.line, std::string("the condition before '?' is ") + cond.typeName() + ", not a bool");
        return Eval(*n.kids[cond.asBool() ? 1 : 2]);
      }
    }
    return {};
  }

  [[noreturn]] void Fail(int line, const std::string& message) const {
    throw ScriptError(Where(line) + ": " + message);
  }

 private:
  std::string Where(int line) const {
    return lineNumbers_ ? where_ + ", line " + std::to_string(line) : where_;
  }

  Value Invoke(const Node& n, std::vector<Value> values, std::vector<std::string> names) {
    auto found = interp_.functions_.find(Lower(n.name));
    if (found == interp_.functions_.end()) Fail(n.line, "there is no function named " + n.name);
    const Function& fn = found->second;
    std::vector<ParamSpec> params = ParseParams(fn.params);

    std::vector<Value> positional;
    std::vector<std::pair<std::string, Value>> named;
    for (std::size_t i = 0; i < values.size(); ++i) {
      if (names[i].empty()) {
        if (!named.empty()) Fail(n.line, n.name + ": a positional argument follows a named one");
        positional.push_back(std::move(values[i]));
      } else {
        named.emplace_back(names[i], std::move(values[i]));
      }
    }
    // A function of a clip called without one works on `last`.
    if (!params.empty() && params[0].type == 'c' && (positional.empty() || !positional[0].isClip())) {
      const Value* last = interp_.Variable("last");
      if (last && last->isClip()) positional.insert(positional.begin(), *last);
      else if (!params[0].optional) Fail(n.line, n.name + " needs a clip, and no clip was given or made before");
    }

    Call call{interp_, n.name, Where(n.line), dir_, std::vector<Value>(params.size()), {}};
    std::size_t p = 0;
    for (Value& v : positional) {
      if (p >= params.size()) Fail(n.line, n.name + ": too many arguments");
      if (params[p].variadic) {
        if (!Matches(v, params[p].type))
          Fail(n.line, n.name + ": each " + params[p].name + " must be " + TypeWord(params[p].type) + ", not " + v.typeName());
        call.rest.push_back(std::move(v));
      } else {
        call.args[p++] = std::move(v);
      }
    }
    for (auto& [name, v] : named) {
      auto it = std::find_if(params.begin(), params.end(), [&](const ParamSpec& ps) { return ps.name == name; });
      if (it == params.end() || it->variadic) {
        if (fn.lenient) continue;
        Fail(n.line, n.name + " has no argument named " + name);
      }
      std::size_t idx = static_cast<std::size_t>(it - params.begin());
      if (call.args[idx].defined()) Fail(n.line, n.name + ": " + name + " is given twice");
      call.args[idx] = std::move(v);
    }
    for (std::size_t i = 0; i < params.size(); ++i) {
      if (params[i].variadic) continue;
      if (!call.args[i].defined()) {
        if (!params[i].optional) Fail(n.line, n.name + " needs " + TypeWord(params[i].type) + " for " + params[i].name);
        continue;
      }
      if (!Matches(call.args[i], params[i].type))
        Fail(n.line, n.name + ": " + params[i].name + " must be " + TypeWord(params[i].type) + ", not " +
                         call.args[i].typeName());
    }
    return fn.body(call);
  }

  Value Unary(const Node& n) {
    Value v = Eval(*n.kids[0]);
    if (n.name == "!") {
      if (!v.isBool()) Fail(n.line, std::string("'!' needs a bool, not ") + v.typeName());
      return Value(!v.asBool());
    }
    if (!v.isNumber()) Fail(n.line, "'" + n.name + "' needs a number, not " + std::string(v.typeName()));
    if (n.name == "+") return v;
    return v.isInt() ? Value(-v.asInt()) : Value(-v.asFloat());
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
    Value b = Eval(*n.kids[1]);
    const std::string mismatch = "'" + op + "' cannot combine " + a.typeName() + " and " + b.typeName();
    if (a.isString() && b.isString()) {
      if (op == "+") return Value(a.asString() + b.asString());
      if (!IsComparison(op)) Fail(n.line, mismatch);
      // Text comparisons ignore letter case, as names do.
      return Value(Compare(n, op, Lower(a.asString()).compare(Lower(b.asString()))));
    }
    if (a.isBool() && b.isBool() && (op == "==" || op == "!=")) return Value((a.asBool() == b.asBool()) == (op == "=="));
    if (a.isClip() && b.isClip() && (op == "+" || op == "++")) {
      // Clips join end to end: "++" keeps each clip's sound with its frames.
      Call call{interp_, op == "+" ? "UnalignedSplice" : "AlignedSplice", Where(n.line), dir_, {a}, {b}};
      return interp_.functions_.at(Lower(call.functionName)).body(call);
    }
    if (!a.isNumber() || !b.isNumber()) Fail(n.line, mismatch);
    if (IsComparison(op)) {
      if (a.isInt() && b.isInt()) return Value(Compare(n, op, a.asInt() < b.asInt() ? -1 : a.asInt() > b.asInt()));
      double x = a.asFloat(), y = b.asFloat();
      return Value(Compare(n, op, x < y ? -1 : x > y));
    }
    if (a.isInt() && b.isInt()) {
      int64_t x = a.asInt(), y = b.asInt();
      if ((op == "/" || op == "%") && y == 0) Fail(n.line, "division by zero");
      if (op == "+") return Value(x + y);
      if (op == "-") return Value(x - y);
      if (op == "*") return Value(x * y);
      if (op == "/") return Value(x / y);
      return Value(x % y);
    }
    double x = a.asFloat(), y = b.asFloat();
    if (op == "+") return Value(x + y);
    if (op == "-") return Value(x - y);
    if (op == "*") return Value(x * y);
    if (op == "/") return Value(x / y);
    return Value(std::fmod(x, y));
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
  std::string dir_;
  bool lineNumbers_;
};

Interpreter::Interpreter() {
  RegisterAllFunctions(functions_);
}

const Value* Interpreter::Variable(const std::string& name) const {
  auto it = variables_.find(Lower(name));
  return it == variables_.end() ? nullptr : &it->second;
}

Value Interpreter::RunText(const std::string& text, const std::string& displayName, const std::string& dir) {
  try {
    std::vector<Statement> script = Parser(Lex(text)).Script();
    return Evaluator(*this, displayName, dir, true).Run(script);
  } catch (const SyntaxError& e) {
    throw ScriptError(displayName + ", line " + std::to_string(e.line) + ": " + e.message);
  }
}

Value Interpreter::EvalExpression(const std::string& text, const std::string& origin, const std::string& dir) {
  std::string where = origin + ", in \"" + text + "\"";
  try {
    NodePtr expr = Parser(Lex(text)).SingleExpression();
    return Evaluator(*this, where, dir, false).Eval(*expr);
  } catch (const SyntaxError& e) {
    throw ScriptError(where + ": " + e.message);
  }
}

Value Interpreter::RunFile(const std::string& path, const std::string& origin) {
  std::error_code ec;
  fs::path canonical = fs::weakly_canonical(fs::absolute(path, ec), ec);
  if (ec) canonical = fs::path(path).lexically_normal();
  std::string displayName = fs::path(path).filename().string();
  const std::string prefix = origin.empty() ? "" : origin + ": Import: ";
  if (std::find(importChain_.begin(), importChain_.end(), canonical.string()) != importChain_.end())
    throw ScriptError(prefix + displayName + " imports itself");
  if (importChain_.size() >= kMaxImportDepth) throw ScriptError(prefix + "scripts are imported too deeply");
  if (!fs::is_regular_file(canonical, ec)) throw ScriptError(prefix + "cannot open the script " + path);
  if (fs::file_size(canonical, ec) > kMaxScriptBytes) throw ScriptError(prefix + path + " is too large to be a script");
  std::ifstream in(canonical, std::ios::binary);
  if (!in) throw ScriptError(prefix + "cannot read the script " + path);
  std::stringstream text;
  text << in.rdbuf();

  importChain_.push_back(canonical.string());
  struct Pop {
    std::vector<std::string>& chain;
    ~Pop() { chain.pop_back(); }
  } pop{importChain_};
  return RunText(text.str(), displayName, canonical.parent_path().string() + "/");
}

}  // namespace avs
