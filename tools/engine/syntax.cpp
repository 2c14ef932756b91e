#include "tools/engine/syntax.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <deque>
#include <string_view>

namespace avs {

namespace {

enum class Tok { Int, Float, String, Name, Op, Newline, End };

// Tokens point into the script's text, which outlives the parsing.
struct Token {
  Tok kind;
  int line;
  std::string_view text;
  union {
    int64_t intValue = 0;
    double floatValue;
  };
};

bool IsNameStart(char c) { return std::isalpha(static_cast<unsigned char>(c)) || c == '_'; }
bool IsNameChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; }
bool IsDigit(char c) { return std::isdigit(static_cast<unsigned char>(c)); }

bool EqualsIgnoringCase(std::string_view text, std::string_view lowerWord) {
  return text.size() == lowerWord.size() &&
         std::equal(text.begin(), text.end(), lowerWord.begin(),
                    [](char a, char b) { return std::tolower(static_cast<unsigned char>(a)) == b; });
}

class Lexer {
 public:
  explicit Lexer(const std::string& src) : src_(src) {}

  // The next token; End for ever after the last.
  Token Next() {
    while (out_.empty()) Scan();
    Token token = out_.front();
    out_.pop_front();
    return token;
  }

 private:
  // Reads on until at least one token is ready.
  void Scan() {
    if (i_ == 0 && src_.compare(0, 3, "\xEF\xBB\xBF") == 0) i_ = 3;
    if (i_ >= src_.size() || ended_) {
      out_.push_back(Token{Tok::End, line_, "", {}});
      ended_ = true;
      return;
    }
    const char c = src_[i_];
    const char next = i_ + 1 < src_.size() ? src_[i_ + 1] : '\0';
    if (c == ' ' || c == '\t' || c == '\r') {
      while (i_ < src_.size() && (src_[i_] == ' ' || src_[i_] == '\t' || src_[i_] == '\r')) ++i_;
    } else if (c == '\n') {
      EndLine();
    } else if (c == '#') {
      while (i_ < src_.size() && src_[i_] != '\n') ++i_;
    } else if (c == '/' && next == '*') {
      std::size_t end = src_.find("*/", i_ + 2);
      if (end == std::string::npos) throw SyntaxError{line_, "a /* comment is not closed"};
      CountLines(i_, end);
      i_ = end + 2;
    } else if (c == '[' && next == '*') {
      NestedComment();
    } else if (c == '\\') {
      Backslash();
    } else if (IsDigit(c) || (c == '.' && IsDigit(next))) {
      Number();
    } else if (c == '$') {
      Hexadecimal();
    } else if (c == '"') {
      String();
    } else if (IsNameStart(c)) {
      std::size_t start = i_;
      while (i_ < src_.size() && IsNameChar(src_[i_])) ++i_;
      std::string_view name = Text(start, i_);
      // __END__ at the start of a line ends the script: the rest is not read.
      if (name == "__END__" && tokensOnLine_ == 0) ended_ = true;
      else Push(Tok::Name, name);
    } else {
      Operator(c);
    }
  }

  std::string_view Text(std::size_t from, std::size_t to) const { return std::string_view(src_).substr(from, to - from); }

  // The whole UTF-8 character that starts at `at` (its lead byte alone when
  // the bytes after it do not continue it).
  std::string_view CharacterAt(std::size_t at) const {
    const auto lead = static_cast<unsigned char>(src_[at]);
    const std::size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
    std::size_t end = at + 1;
    while (end < src_.size() && end < at + length && (static_cast<unsigned char>(src_[end]) & 0xC0) == 0x80) ++end;
    return Text(at, end);
  }

  // A line's end becomes a token only when another token follows it and no
  // backslash joins the two lines.
  Token& Push(Tok kind, std::string_view text, int line = 0) {
    if (newlinePending_) out_.push_back(Token{Tok::Newline, newlineLine_, "\n", {}});
    newlinePending_ = false;
    out_.push_back(Token{kind, line ? line : line_, text, {}});
    ++tokensOnLine_;
    anyToken_ = true;
    return out_.back();
  }

  void EndLine() {
    if (!joinNextLine_ && depth_ == 0 && anyToken_ && !newlinePending_) {
      newlinePending_ = true;
      newlineLine_ = line_;
    }
    joinNextLine_ = false;
    tokensOnLine_ = 0;
    ++line_;
    ++i_;
  }

  void CountLines(std::size_t from, std::size_t to) {
    line_ += static_cast<int>(std::count(src_.begin() + static_cast<std::ptrdiff_t>(from),
                                         src_.begin() + static_cast<std::ptrdiff_t>(to), '\n'));
  }

  // [* ... *] comments nest.
  void NestedComment() {
    int open = 0;
    const int startLine = line_;
    do {
      if (i_ >= src_.size()) throw SyntaxError{startLine, "a [* comment is not closed"};
      if (src_.compare(i_, 2, "[*") == 0) {
        ++open;
        i_ += 2;
      } else if (src_.compare(i_, 2, "*]") == 0) {
        --open;
        i_ += 2;
      } else {
        if (src_[i_] == '\n') ++line_;
        ++i_;
      }
    } while (open > 0);
  }

  // A backslash as the first thing on a line joins the line to the one
  // before; as the last thing on a line (a comment may follow), it joins the
  // next line to this one. Anywhere else it is a fault.
  void Backslash() {
    if (tokensOnLine_ == 0) {
      newlinePending_ = false;
      ++i_;
      return;
    }
    std::size_t j = i_ + 1;
    while (j < src_.size() && (src_[j] == ' ' || src_[j] == '\t' || src_[j] == '\r')) ++j;
    if (j < src_.size() && src_[j] != '\n' && src_[j] != '#')
      throw SyntaxError{line_, "a '\\' may only begin or end a line"};
    joinNextLine_ = true;
    i_ = j;
  }

  void Number() {
    std::size_t start = i_;
    while (i_ < src_.size() && IsDigit(src_[i_])) ++i_;
    bool isFloat = false;
    if (i_ < src_.size() && src_[i_] == '.') {
      // "1.5" and "1." are floats; "1.Name" is not a number followed by a call.
      bool fraction = i_ + 1 < src_.size() && IsDigit(src_[i_ + 1]);
      if (fraction || i_ + 1 >= src_.size() || !IsNameStart(src_[i_ + 1])) {
        isFloat = true;
        ++i_;
        while (i_ < src_.size() && IsDigit(src_[i_])) ++i_;
      }
    }
    std::string_view text = Text(start, i_);
    Token& token = Push(isFloat ? Tok::Float : Tok::Int, text);
    if (isFloat) {
      double value = 0;
      std::from_chars(text.data(), text.data() + text.size(), value);
      token.floatValue = value;
    } else {
      int64_t value = 0;
      auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
      if (ec != std::errc() || value > INT32_MAX) throw SyntaxError{line_, "the number " + std::string(text) + " is too large"};
      token.intValue = value;
    }
  }

  // $RRGGBB and the like: up to 32 bits, read as a signed int as AviSynth
  // does ($FFFFFFFF is -1).
  void Hexadecimal() {
    std::size_t start = ++i_;
    while (i_ < src_.size() && std::isxdigit(static_cast<unsigned char>(src_[i_]))) ++i_;
    if (i_ == start || i_ - start > 8) throw SyntaxError{line_, "a bad hexadecimal number"};
    uint32_t bits = 0;
    std::from_chars(src_.data() + start, src_.data() + i_, bits, 16);
    Push(Tok::Int, Text(start - 1, i_)).intValue = static_cast<int32_t>(bits);
  }

  // "text" or """text""": the triple form may hold quotes; a run of more
  // than three quotes ends it at the last quote of the run.
  void String() {
    const int startLine = line_;
    std::size_t contentStart, contentEnd;
    if (src_.compare(i_, 3, "\"\"\"") == 0) {
      contentStart = i_ + 3;
      std::size_t close = src_.find("\"\"\"", contentStart);
      if (close == std::string::npos) throw SyntaxError{line_, "a string is not closed"};
      std::size_t runEnd = close;
      while (runEnd < src_.size() && src_[runEnd] == '"') ++runEnd;
      contentEnd = runEnd - 3;
      i_ = runEnd;
    } else {
      contentStart = i_ + 1;
      contentEnd = src_.find('"', contentStart);
      if (contentEnd == std::string::npos) throw SyntaxError{line_, "a string is not closed"};
      i_ = contentEnd + 1;
    }
    CountLines(contentStart, contentEnd);
    Push(Tok::String, Text(contentStart, contentEnd), startLine);
  }

  void Operator(char c) {
    const char next = i_ + 1 < src_.size() ? src_[i_ + 1] : '\0';
    const bool twoChars = (next == '=' && (c == '=' || c == '!' || c == '<' || c == '>')) ||
                          (c == '<' && next == '>') || (c == '&' && next == '&') || (c == '|' && next == '|') ||
                          (c == '+' && next == '+');
    const std::string_view op = Text(i_, i_ + (twoChars ? 2 : 1));
    if (op.size() == 1 && std::string_view("=+-*/%!<>?:(),.{}[]").find(c) == std::string_view::npos)
      throw SyntaxError{line_, "unexpected character '" + std::string(CharacterAt(i_)) + "'"};
    // Inside parentheses and brackets a line break does not end the statement.
    if (op == "(" || op == "[") ++depth_;
    if ((op == ")" || op == "]") && depth_ > 0) --depth_;
    i_ += op.size();
    Push(Tok::Op, op);
  }

  const std::string& src_;
  std::size_t i_ = 0;
  int line_ = 1;
  int depth_ = 0;
  int tokensOnLine_ = 0;
  bool joinNextLine_ = false;
  bool newlinePending_ = false;
  int newlineLine_ = 0;
  bool anyToken_ = false;
  bool ended_ = false;
  std::deque<Token> out_;
};

void Adopt(Node& parent, NodePtr kid) {
  parent.depth = std::max(parent.depth, kid->depth + 1);
  if (parent.depth > kMaxNesting) throw SyntaxError{parent.line, "the expression is nested too deeply"};
  parent.kids.push_back(std::move(kid));
}

char ParamType(const std::string& word) {
  if (word == "clip") return 'c';
  if (word == "int") return 'i';
  if (word == "float") return 'f';
  if (word == "string") return 's';
  if (word == "bool") return 'b';
  if (word == "val" || word == "any") return '.';
  return 0;
}

// A parameter's type word: a plain type, "array" (of anything), or a type
// followed by "_array" and optionally "_nz" (at least one value).
bool ReadParamType(const std::string& word, ParamDecl& param) {
  std::string base = word;
  if (base.ends_with("_nz")) {
    param.nonEmpty = true;
    base.resize(base.size() - 3);
  }
  if (base == "array") base = "val_array";
  if (base.ends_with("_array")) {
    param.array = true;
    base.resize(base.size() - 6);
  }
  param.type = ParamType(base);
  if (param.type && (param.array || !param.nonEmpty)) return true;
  param = ParamDecl{"", '.', false};
  return false;
}

class Parser {
 public:
  explicit Parser(const std::string& text) : lexer_(text) {}

  std::shared_ptr<const Program> Script(const StatementSink& each) {
    each_ = &each;
    Statements(false);
    auto program = std::make_shared<Program>();
    program->functions = std::move(functions_);
    return program;
  }

  NodePtr SingleExpression() {
    SkipNewlines();
    NodePtr e = Expression();
    SkipNewlines();
    if (Peek().kind != Tok::End) Unexpected();
    return e;
  }

 private:
  // The token `ahead` places on, read from the text when first needed.
  const Token& Peek(std::size_t ahead = 0) {
    while (ahead_.size() <= ahead) ahead_.push_back(lexer_.Next());
    return ahead_[ahead];
  }
  Token Take() {
    Token token = Peek();
    ahead_.pop_front();
    return token;
  }
  void Skip(std::size_t count = 1) {
    for (std::size_t i = 0; i < count; ++i) Take();
  }
  // The operators and words are string_views so that their lengths are
  // known where these are called: most tokens differ in length and are
  // passed over without comparing a character.
  bool IsOp(std::string_view op, std::size_t ahead = 0) {
    const Token& token = Peek(ahead);
    return token.kind == Tok::Op && token.text == op;
  }
  bool IsWord(std::string_view word, std::size_t ahead = 0) {
    const Token& token = Peek(ahead);
    return token.kind == Tok::Name && EqualsIgnoringCase(token.text, word);
  }
  bool TakeOp(const char* op) {
    if (!IsOp(op)) return false;
    Skip();
    return true;
  }
  void ExpectOp(const char* op) {
    if (!TakeOp(op)) throw SyntaxError{Peek().line, std::string("expected '") + op + "' but found " + Describe()};
  }
  std::string ExpectName(const char* what) {
    if (Peek().kind != Tok::Name) throw SyntaxError{Peek().line, std::string("expected ") + what + " but found " + Describe()};
    return std::string(Take().text);
  }
  void SkipNewlines() {
    while (Peek().kind == Tok::Newline) Skip();
  }
  // The next token as a message names it: "the end of the line", or its
  // text, shortened at a character's boundary when it is long.
  std::string Describe() { return AtEnding() ? "the " + Ending() : Quoted(); }
  bool AtEnding() { return Peek().kind == Tok::End || Peek().kind == Tok::Newline; }
  std::string Ending() { return Peek().kind == Tok::End ? "end of the script" : "end of the line"; }
  std::string Quoted() {
    constexpr std::size_t kShown = 60;
    std::string_view text = Peek().text;
    if (text.size() <= kShown) return "'" + std::string(text) + "'";
    std::size_t cut = kShown;
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
    return "'" + std::string(text.substr(0, cut)) + "...'";
  }
  [[noreturn]] void Unexpected() { throw SyntaxError{Peek().line, "unexpected " + (AtEnding() ? Ending() : Quoted())}; }

  // Counts the parser's own recursion (parentheses, signs, arguments, blocks).
  struct Nest {
    Parser& parser;
    explicit Nest(Parser& p, const char* what = "the expression") : parser(p) {
      if (++parser.nesting_ > kMaxNesting)
        throw SyntaxError{parser.Peek().line, std::string(what) + " is nested too deeply"};
    }
    ~Nest() { --parser.nesting_; }
  };

  // --- statements -----------------------------------------------------------

  Block Statements(bool inBlock) {
    Block out;
    for (;;) {
      SkipNewlines();
      if (Peek().kind == Tok::End) {
        if (inBlock) throw SyntaxError{Peek().line, "a '{' block is not closed"};
        return out;
      }
      if (inBlock && IsOp("}")) return out;
      // A definition inside a function's body or another block is global
      // from the start, like one at the top: definitions are taken when the
      // script is read, not when their block runs.
      if (IsWord("function") && Peek(1).kind == Tok::Name) {
        FunctionDefinition();
      } else if (inBlock) {
        out.push_back(OneStatement());
      } else if (!(*each_)(OneStatement())) {
        return out;
      }
      if (Peek().kind != Tok::Newline && Peek().kind != Tok::End && !(inBlock && IsOp("}"))) Unexpected();
    }
  }

  Statement OneStatement() {
    Statement st;
    st.line = Peek().line;
    if (IsWord("return")) {
      Skip();
      st.kind = Statement::Return;
      st.expr = Expression();
    } else if (IsWord("if") && IsOp("(", 1)) {
      return IfStatement();
    } else if (IsWord("while") && IsOp("(", 1)) {
      Skip(2);
      st.kind = Statement::While;
      st.expr = Expression();
      ExpectOp(")");
      st.body = BlockBody();
    } else if (IsWord("for") && IsOp("(", 1)) {
      Skip(2);
      st.kind = Statement::For;
      st.target = Lower(ExpectName("the loop's variable"));
      ExpectOp("=");
      st.expr = Expression();
      ExpectOp(",");
      st.limit = Expression();
      if (TakeOp(",")) st.step = Expression();
      ExpectOp(")");
      st.body = BlockBody();
    } else if (IsWord("try") && NextNonNewlineIs("{", 1)) {
      Skip();
      st.kind = Statement::Try;
      st.body = BlockBody();
      SkipNewlines();
      if (!IsWord("catch")) throw SyntaxError{Peek().line, "expected 'catch' after the try block but found " + Describe()};
      Skip();
      ExpectOp("(");
      st.target = Lower(ExpectName("the name of the error's variable"));
      ExpectOp(")");
      st.otherwise = BlockBody();
    } else {
      std::size_t nameAt = 0;
      if (IsWord("global") && Peek(1).kind == Tok::Name) {
        st.global = true;
        nameAt = 1;
      }
      if (Peek(nameAt).kind == Tok::Name && IsOp("=", nameAt + 1)) {
        st.kind = Statement::Assign;
        st.target = Lower(std::string(Peek(nameAt).text));
        Skip(nameAt + 2);
      } else if (st.global) {
        throw SyntaxError{st.line, "expected '=' after the global's name"};
      }
      st.expr = Expression();
    }
    return st;
  }

  bool NextNonNewlineIs(const char* op, std::size_t ahead) {
    while (Peek(ahead).kind == Tok::Newline) ++ahead;
    return IsOp(op, ahead);
  }

  Statement IfStatement() {
    Statement st;
    st.kind = Statement::If;
    st.line = Peek().line;
    Skip(2);
    st.expr = Expression();
    ExpectOp(")");
    st.body = BlockBody();
    std::size_t elseAt = 0;
    while (Peek(elseAt).kind == Tok::Newline) ++elseAt;
    if (!IsWord("else", elseAt)) return st;
    Skip(elseAt + 1);
    SkipNewlines();
    if (IsWord("if") && IsOp("(", 1)) {
      Nest nest(*this, "the block");
      st.otherwise.push_back(IfStatement());
    } else {
      st.otherwise = BlockBody();
    }
    return st;
  }

  Block BlockBody() {
    Nest nest(*this, "the block");
    SkipNewlines();
    ExpectOp("{");
    Block body = Statements(true);
    ExpectOp("}");
    return body;
  }

  // function Name(clip c, int "x", y) { ... }: typed or untyped parameters;
  // a quoted name makes the parameter optional and nameable in calls.
  void FunctionDefinition() {
    auto decl = std::make_shared<FunctionDecl>();
    decl->line = Peek().line;
    Skip();
    decl->name = ExpectName("the function's name");
    SkipNewlines();
    ExpectOp("(");
    if (!TakeOp(")")) {
      do {
        ParamDecl param{"", '.', false};
        if (Peek().kind == Tok::Name && (Peek(1).kind == Tok::Name || Peek(1).kind == Tok::String) &&
            ReadParamType(Lower(std::string(Peek().text)), param))
          Skip();
        if (Peek().kind == Tok::String) param.optional = true;
        else if (Peek().kind != Tok::Name) throw SyntaxError{Peek().line, "expected a parameter's name but found " + Describe()};
        param.name = Lower(std::string(Take().text));
        if (param.name.empty() || !IsNameStart(param.name[0]) ||
            !std::all_of(param.name.begin(), param.name.end(), IsNameChar))
          throw SyntaxError{Peek().line, "\"" + param.name + "\" is not a parameter name"};
        for (const ParamDecl& other : decl->params)
          if (other.name == param.name) throw SyntaxError{Peek().line, decl->name + " has two parameters named " + param.name};
        decl->params.push_back(param);
      } while (TakeOp(","));
      ExpectOp(")");
    }
    decl->body = BlockBody();
    functions_.push_back(std::move(decl));
  }

  // --- expressions ----------------------------------------------------------

  NodePtr Make(Node::Kind kind, int line, std::string name = {}) {
    auto n = std::make_unique<Node>();
    n->kind = kind;
    n->line = line;
    n->lowered = Lower(name);
    n->name = std::move(name);
    // One allocation for the operands instead of a vector grown one by one.
    static constexpr std::size_t kOperands[] = {0, 0, 4, 1, 2, 3, 4, 2};
    n->kids.reserve(kOperands[kind]);
    return n;
  }

  NodePtr Expression() {
    Nest nest(*this);
    NodePtr cond = Binary(0);
    if (!IsOp("?")) return cond;
    int line = Peek().line;
    Skip();
    NodePtr yes = Expression();
    ExpectOp(":");
    NodePtr no = Expression();
    NodePtr n = Make(Node::Ternary, line);
    Adopt(*n, std::move(cond));
    Adopt(*n, std::move(yes));
    Adopt(*n, std::move(no));
    return n;
  }

  static constexpr int kComparisonLevel = 2;
  // How tightly a binary operator binds, from 0 (||) to 4 (* / %); -1 for
  // any other token.
  static int BinaryLevel(const Token& token) {
    if (token.kind != Tok::Op) return -1;
    static constexpr std::pair<std::string_view, int> kOperators[] = {
        {"||", 0}, {"&&", 1}, {"==", 2}, {"!=", 2}, {"<>", 2}, {"<", 2}, {">", 2}, {"<=", 2},
        {">=", 2}, {"+", 3},  {"++", 3}, {"-", 3},  {"*", 4},  {"/", 4}, {"%", 4}};
    for (const auto& [op, level] : kOperators)
      if (token.text == op) return level;
    return -1;
  }

  // Operators binding at `lowest` or tighter, each level left-associative:
  // the operator's level is looked up once per operator, not once per level.
  NodePtr Binary(int lowest) {
    NodePtr left = Unary();
    // Comparisons chain as AviSynth reads them: a == b == c is a == b and
    // b == c. A chain is one node with every operand once, its first
    // operator as its name and the others in argNames.
    bool chain = false;
    for (int level = BinaryLevel(Peek()); level >= lowest; level = BinaryLevel(Peek())) {
      std::string op(Peek().text == "<>" ? "!=" : Peek().text);
      const int line = Peek().line;
      Skip();
      if (chain && level == kComparisonLevel) {
        left->argNames.push_back(std::move(op));
        Adopt(*left, Binary(level + 1));
        continue;
      }
      NodePtr n = Make(Node::Binary, line, std::move(op));
      Adopt(*n, std::move(left));
      Adopt(*n, Binary(level + 1));
      left = std::move(n);
      chain = level == kComparisonLevel;
    }
    return left;
  }

  NodePtr Unary() {
    Nest nest(*this);
    if (IsOp("-") || IsOp("!") || IsOp("+")) {
      NodePtr n = Make(Node::Unary, Peek().line, std::string(Peek().text));
      Skip();
      Adopt(*n, Unary());
      return n;
    }
    return Postfix();
  }

  // a.F(b) calls F(a, b); a.F calls F(a); a[i, j] indexes.
  NodePtr Postfix() {
    NodePtr e = Primary();
    for (;;) {
      if (IsOp("[")) {
        NodePtr index = Make(Node::Index, Peek().line);
        Adopt(*index, std::move(e));
        Items(*index, "]");
        if (index->kids.size() < 2) throw SyntaxError{index->line, "an index is missing between '[' and ']'"};
        e = std::move(index);
        continue;
      }
      if (!IsOp(".")) break;
      Skip();
      if (Peek().kind != Tok::Name) throw SyntaxError{Peek().line, "expected a function name after '.'"};
      NodePtr call = Make(Node::Call, Peek().line, std::string(Peek().text));
      Skip();
      Adopt(*call, std::move(e));
      if (IsOp("(")) Arguments(*call);
      e = std::move(call);
    }
    return e;
  }

  // "[" expressions separated by commas, then `close`.
  void Items(Node& parent, const char* close) {
    Nest nest(*this);
    ExpectOp("[");
    if (TakeOp(close)) return;
    do Adopt(parent, Expression());
    while (TakeOp(","));
    ExpectOp(close);
  }

  void Arguments(Node& call) {
    ExpectOp("(");
    if (TakeOp(")")) return;
    do {
      std::string name;
      if (Peek().kind == Tok::Name && IsOp("=", 1)) {
        name = Lower(std::string(Peek().text));
        Skip(2);
      }
      Adopt(call, Expression());
      // Names are kept only for calls that name an argument.
      if (!name.empty() || !call.argNames.empty()) call.argNames.resize(call.kids.size());
      if (!name.empty()) call.argNames.back() = name;
    } while (TakeOp(","));
    ExpectOp(")");
  }

  NodePtr Primary() {
    const Token& tok = Peek();
    int line = tok.line;
    switch (tok.kind) {
      case Tok::Int:
      case Tok::Float:
      case Tok::String: {
        NodePtr n = Make(Node::Literal, line);
        if (tok.kind == Tok::Int) n->literal = Value(tok.intValue);
        else if (tok.kind == Tok::Float) n->literal = Value(tok.floatValue);
        else n->literal = Value(std::string(tok.text));
        Skip();
        return n;
      }
      case Tok::Name: {
        std::string name(tok.text);
        std::string lower = Lower(name);
        Skip();
        if (lower == "true" || lower == "false" || lower == "yes" || lower == "no") {
          NodePtr n = Make(Node::Literal, line);
          n->literal = Value(lower == "true" || lower == "yes");
          return n;
        }
        if (IsOp("(")) {
          NodePtr n = Make(Node::Call, line, name);
          Arguments(*n);
          return n;
        }
        return Make(Node::Name, line, name);
      }
      case Tok::Op:
        if (TakeOp("(")) {
          NodePtr e = Expression();
          ExpectOp(")");
          return e;
        }
        if (IsOp("[")) {
          NodePtr n = Make(Node::Array, line);
          Items(*n, "]");
          return n;
        }
        break;
      default:
        break;
    }
    Unexpected();
  }

  Lexer lexer_;
  std::deque<Token> ahead_;
  const StatementSink* each_ = nullptr;  // where the script's own statements go
  int nesting_ = 0;
  std::vector<std::shared_ptr<const FunctionDecl>> functions_;
};

}  // namespace

std::shared_ptr<const Program> ParseScript(const std::string& text, const StatementSink& each) {
  return Parser(text).Script(each);
}

NodePtr ParseExpression(const std::string& text) { return Parser(text).SingleExpression(); }

}  // namespace avs
