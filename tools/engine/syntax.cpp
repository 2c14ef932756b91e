#include "tools/engine/syntax.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cstdlib>

namespace avs {

namespace {

enum class Tok { Int, Float, String, Name, Op, Newline, End };

struct Token {
  Tok kind;
  std::string text;
  int line;
  int64_t intValue = 0;
  double floatValue = 0;
};

bool IsNameStart(char c) { return std::isalpha(static_cast<unsigned char>(c)) || c == '_'; }
bool IsNameChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; }
bool IsDigit(char c) { return std::isdigit(static_cast<unsigned char>(c)); }

class Lexer {
 public:
  explicit Lexer(const std::string& src) : src_(src) {}

  std::vector<Token> Run() {
    if (src_.compare(0, 3, "\xEF\xBB\xBF") == 0) i_ = 3;
    while (i_ < src_.size()) {
      char c = src_[i_];
      if (c == ' ' || c == '\t' || c == '\r') {
        ++i_;
      } else if (c == '\n') {
        EndLine();
      } else if (c == '#') {
        while (i_ < src_.size() && src_[i_] != '\n') ++i_;
      } else if (src_.compare(i_, 2, "/*") == 0) {
        std::size_t end = src_.find("*/", i_ + 2);
        if (end == std::string::npos) throw SyntaxError{line_, "a /* comment is not closed"};
        CountLines(i_, end);
        i_ = end + 2;
      } else if (src_.compare(i_, 2, "[*") == 0) {
        NestedComment();
      } else if (c == '\\') {
        Backslash();
      } else if (IsDigit(c) || (c == '.' && i_ + 1 < src_.size() && IsDigit(src_[i_ + 1]))) {
        Number();
      } else if (c == '$') {
        Hexadecimal();
      } else if (c == '"') {
        String();
      } else if (IsNameStart(c)) {
        std::size_t start = i_;
        while (i_ < src_.size() && IsNameChar(src_[i_])) ++i_;
        std::string name = src_.substr(start, i_ - start);
        // __END__ at the start of a line ends the script: the rest is not read.
        if (name == "__END__" && tokensOnLine_ == 0) break;
        Push(Tok::Name, std::move(name));
      } else {
        Operator(c);
      }
    }
    Push(Tok::End, "");
    return std::move(out_);
  }

 private:
  void Push(Tok kind, std::string text) {
    out_.push_back(Token{kind, std::move(text), line_});
    ++tokensOnLine_;
  }

  void EndLine() {
    if (!joinNextLine_ && depth_ == 0 && !out_.empty() && out_.back().kind != Tok::Newline) Push(Tok::Newline, "\n");
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
      if (!out_.empty() && out_.back().kind == Tok::Newline) out_.pop_back();
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
    std::string text = src_.substr(start, i_ - start);
    Token token{isFloat ? Tok::Float : Tok::Int, text, line_};
    if (isFloat) {
      std::from_chars(text.data(), text.data() + text.size(), token.floatValue);
    } else {
      errno = 0;
      token.intValue = std::strtoll(text.c_str(), nullptr, 10);
      if (errno == ERANGE || token.intValue > INT32_MAX) throw SyntaxError{line_, "the number " + text + " is too large"};
    }
    out_.push_back(token);
    ++tokensOnLine_;
  }

  // $RRGGBB and the like: up to 32 bits, read as a signed int as AviSynth
  // does ($FFFFFFFF is -1).
  void Hexadecimal() {
    std::size_t start = ++i_;
    while (i_ < src_.size() && std::isxdigit(static_cast<unsigned char>(src_[i_]))) ++i_;
    if (i_ == start || i_ - start > 8) throw SyntaxError{line_, "a bad hexadecimal number"};
    Token token{Tok::Int, src_.substr(start - 1, i_ - start + 1), line_};
    token.intValue = static_cast<int32_t>(static_cast<uint32_t>(std::stoul(src_.substr(start, i_ - start), nullptr, 16)));
    out_.push_back(token);
    ++tokensOnLine_;
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
    out_.push_back(Token{Tok::String, src_.substr(contentStart, contentEnd - contentStart), startLine});
    ++tokensOnLine_;
  }

  void Operator(char c) {
    static const char* const kTwoCharOps[] = {"==", "!=", "<>", "<=", ">=", "&&", "||", "++"};
    std::string op(1, c);
    for (const char* two : kTwoCharOps)
      if (src_.compare(i_, 2, two) == 0) op = two;
    if (op.size() == 1 && std::string("=+-*/%!<>?:(),.{}").find(c) == std::string::npos)
      throw SyntaxError{line_, std::string("unexpected character '") + c + "'"};
    // Inside parentheses a line break does not end the statement.
    if (op == "(") ++depth_;
    if (op == ")" && depth_ > 0) --depth_;
    i_ += op.size();
    Push(Tok::Op, std::move(op));
  }

  const std::string& src_;
  std::size_t i_ = 0;
  int line_ = 1;
  int depth_ = 0;
  int tokensOnLine_ = 0;
  bool joinNextLine_ = false;
  std::vector<Token> out_;
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

class Parser {
 public:
  explicit Parser(std::vector<Token> tokens) : t_(std::move(tokens)) {}

  std::shared_ptr<const Program> Script() {
    auto program = std::make_shared<Program>();
    program->statements = Statements(false);
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
  const Token& Peek(std::size_t ahead = 0) const { return t_[std::min(pos_ + ahead, t_.size() - 1)]; }
  bool IsOp(const char* op, std::size_t ahead = 0) const {
    return Peek(ahead).kind == Tok::Op && Peek(ahead).text == op;
  }
  bool IsWord(const char* word, std::size_t ahead = 0) const {
    return Peek(ahead).kind == Tok::Name && Lower(Peek(ahead).text) == word;
  }
  bool TakeOp(const char* op) {
    if (!IsOp(op)) return false;
    ++pos_;
    return true;
  }
  void ExpectOp(const char* op) {
    if (!TakeOp(op)) throw SyntaxError{Peek().line, std::string("expected '") + op + "' but found " + Describe()};
  }
  std::string ExpectName(const char* what) {
    if (Peek().kind != Tok::Name) throw SyntaxError{Peek().line, std::string("expected ") + what + " but found " + Describe()};
    return t_[pos_++].text;
  }
  void SkipNewlines() {
    while (Peek().kind == Tok::Newline) ++pos_;
  }
  std::string Describe() const {
    if (Peek().kind == Tok::End) return "the end of the script";
    if (Peek().kind == Tok::Newline) return "the end of the line";
    return "'" + Peek().text + "'";
  }
  [[noreturn]] void Unexpected() const { throw SyntaxError{Peek().line, "unexpected " + Describe()}; }

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
      if (IsWord("function") && Peek(1).kind == Tok::Name) {
        if (inBlock) throw SyntaxError{Peek().line, "a function can only be defined outside blocks"};
        FunctionDefinition();
      } else {
        out.push_back(OneStatement());
      }
      if (Peek().kind != Tok::Newline && Peek().kind != Tok::End && !(inBlock && IsOp("}"))) Unexpected();
    }
  }

  Statement OneStatement() {
    Statement st;
    st.line = Peek().line;
    if (IsWord("return")) {
      ++pos_;
      st.kind = Statement::Return;
      st.expr = Expression();
    } else if (IsWord("if") && IsOp("(", 1)) {
      return IfStatement();
    } else if (IsWord("while") && IsOp("(", 1)) {
      pos_ += 2;
      st.kind = Statement::While;
      st.expr = Expression();
      ExpectOp(")");
      st.body = BlockBody();
    } else if (IsWord("for") && IsOp("(", 1)) {
      pos_ += 2;
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
      ++pos_;
      st.kind = Statement::Try;
      st.body = BlockBody();
      SkipNewlines();
      if (!IsWord("catch")) throw SyntaxError{Peek().line, "expected 'catch' after the try block but found " + Describe()};
      ++pos_;
      ExpectOp("(");
      st.target = Lower(ExpectName("the name of the error's variable"));
      ExpectOp(")");
      st.otherwise = BlockBody();
    } else {
      std::size_t nameAt = pos_;
      if (IsWord("global") && Peek(1).kind == Tok::Name) {
        st.global = true;
        nameAt = pos_ + 1;
      }
      if (t_[nameAt].kind == Tok::Name && t_[nameAt + 1].kind == Tok::Op && t_[nameAt + 1].text == "=") {
        st.kind = Statement::Assign;
        st.target = Lower(t_[nameAt].text);
        pos_ = nameAt + 2;
      } else if (st.global) {
        throw SyntaxError{st.line, "expected '=' after the global's name"};
      }
      st.expr = Expression();
    }
    return st;
  }

  bool NextNonNewlineIs(const char* op, std::size_t ahead) const {
    while (Peek(ahead).kind == Tok::Newline) ++ahead;
    return IsOp(op, ahead);
  }

  Statement IfStatement() {
    Statement st;
    st.kind = Statement::If;
    st.line = Peek().line;
    pos_ += 2;
    st.expr = Expression();
    ExpectOp(")");
    st.body = BlockBody();
    const std::size_t afterBody = pos_;
    SkipNewlines();
    if (!IsWord("else")) {
      pos_ = afterBody;
      return st;
    }
    ++pos_;
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
    ++pos_;
    decl->name = ExpectName("the function's name");
    SkipNewlines();
    ExpectOp("(");
    if (!TakeOp(")")) {
      do {
        ParamDecl param{"", '.', false};
        if (Peek().kind == Tok::Name && ParamType(Lower(Peek().text)) &&
            (Peek(1).kind == Tok::Name || Peek(1).kind == Tok::String))
          param.type = ParamType(Lower(t_[pos_++].text));
        if (Peek().kind == Tok::String) param.optional = true;
        else if (Peek().kind != Tok::Name) throw SyntaxError{Peek().line, "expected a parameter's name but found " + Describe()};
        param.name = Lower(t_[pos_++].text);
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
    Adopt(*n, std::move(cond));
    Adopt(*n, std::move(yes));
    Adopt(*n, std::move(no));
    return n;
  }

  // Binary operators from the loosest to the tightest binding.
  NodePtr Binary(int level) {
    static const std::vector<std::vector<std::string>> kLevels = {
        {"||"}, {"&&"}, {"==", "!=", "<>", "<", ">", "<=", ">="}, {"+", "++", "-"}, {"*", "/", "%"}};
    if (level == static_cast<int>(kLevels.size())) return Unary();
    NodePtr left = Binary(level + 1);
    for (;;) {
      const auto& ops = kLevels[static_cast<std::size_t>(level)];
      if (Peek().kind != Tok::Op || std::find(ops.begin(), ops.end(), Peek().text) == ops.end()) return left;
      NodePtr n = Make(Node::Binary, Peek().line, Peek().text == "<>" ? "!=" : Peek().text);
      ++pos_;
      Adopt(*n, std::move(left));
      Adopt(*n, Binary(level + 1));
      left = std::move(n);
    }
  }

  NodePtr Unary() {
    Nest nest(*this);
    if (IsOp("-") || IsOp("!") || IsOp("+")) {
      NodePtr n = Make(Node::Unary, Peek().line, Peek().text);
      ++pos_;
      Adopt(*n, Unary());
      return n;
    }
    return Postfix();
  }

  // a.F(b) calls F(a, b); a.F calls F(a).
  NodePtr Postfix() {
    NodePtr e = Primary();
    while (IsOp(".")) {
      ++pos_;
      if (Peek().kind != Tok::Name) throw SyntaxError{Peek().line, "expected a function name after '.'"};
      NodePtr call = Make(Node::Call, Peek().line, Peek().text);
      ++pos_;
      Adopt(*call, std::move(e));
      call->argNames.emplace_back();
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
      if (Peek().kind == Tok::Name && IsOp("=", 1)) {
        name = Lower(Peek().text);
        pos_ += 2;
      }
      Adopt(call, Expression());
      call.argNames.push_back(name);
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
        else n->literal = Value(tok.text);
        ++pos_;
        return n;
      }
      case Tok::Name: {
        std::string lower = Lower(tok.text);
        std::string name = tok.text;
        ++pos_;
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
        break;
      default:
        break;
    }
    Unexpected();
  }

  std::vector<Token> t_;
  std::size_t pos_ = 0;
  int nesting_ = 0;
  std::vector<std::shared_ptr<const FunctionDecl>> functions_;
};

}  // namespace

std::shared_ptr<const Program> ParseScript(const std::string& text) { return Parser(Lexer(text).Run()).Script(); }

NodePtr ParseExpression(const std::string& text) { return Parser(Lexer(text).Run()).SingleExpression(); }

}  // namespace avs
