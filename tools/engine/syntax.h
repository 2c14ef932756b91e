// The script language's syntax: script text read into statements and
// expression trees, with the user-defined functions gathered apart so that a
// script may call a function it defines further down.
#pragma once

#include "tools/engine/script.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace avs {

// A fault in the text itself, at a line of the text being read.
struct SyntaxError {
  int line;
  std::string message;
};

struct Node {
  // Array: [a, b, ...] of its kids; Index: kids[0] indexed by the others,
  // a[i, j] as a[i][j].
  enum Kind { Literal, Name, Call, Unary, Binary, Ternary, Array, Index } kind;
  int line;
  Value literal;
  std::string name;     // variable, function or operator, as written
  std::string lowered;  // the name lower-cased: names ignore letter case
  std::vector<std::unique_ptr<Node>> kids;
  // Call: per argument, lower-cased, "" when positional; empty when none is
  // named. Binary: a chain of comparisons' operators after the first.
  std::vector<std::string> argNames;
  int depth = 1;
};
using NodePtr = std::unique_ptr<Node>;

struct Statement;
using Block = std::vector<Statement>;

struct Statement {
  enum Kind { Expression, Assign, Return, If, While, For, Try } kind = Expression;
  int line = 0;
  std::string target;  // Assign and For: the variable, lower-cased; Try: the catch variable
  bool global = false;
  NodePtr expr;        // value, condition, or the start of a For
  NodePtr limit, step; // For: the last value and the step (may be null)
  Block body, otherwise;
};

struct ParamDecl {
  std::string name;  // lower-cased
  char type;         // as in Function::params: c i f s b .
  bool optional;     // quoted in the definition: may be left out or named
  // An array of `type` (val_array, int_array...), of at least one value
  // when `nonEmpty` (int_array_nz...).
  bool array = false;
  bool nonEmpty = false;
};

struct FunctionDecl {
  std::string name;
  int line;
  std::vector<ParamDecl> params;
  Block body;
};

// The functions a script defines; they stay alive as long as any of them
// may still be called.
struct Program {
  std::vector<std::shared_ptr<const FunctionDecl>> functions;
};

// Reads a script statement by statement: `each` gets every statement outside
// the function definitions, in order, and its tree is freed once `each`
// returns, so that a long script never holds the trees of all its lines at
// once; `each` returning false ends the reading there. Gives the functions
// defined on the way. Throws SyntaxError.
using StatementSink = std::function<bool(const Statement&)>;
std::shared_ptr<const Program> ParseScript(const std::string& text, const StatementSink& each);
NodePtr ParseExpression(const std::string& text);

// Deeper expressions and blocks are refused, so that neither parsing,
// evaluating nor freeing a hostile script can exhaust the stack.
constexpr int kMaxNesting = 400;

}  // namespace avs
