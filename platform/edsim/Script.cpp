#include "platform/edsim/Script.h"

#include <cctype>

#include "platform/edsim/Text.h"

namespace edsim {
namespace {

struct Token {
  enum Type { End, Ident, Variable, Integer, String, WideString, Punct };
  Type type = End;
  std::string text;  // Ident, Variable (without '$'), Punct
  std::int32_t integer = 0;
  std::string bytes;  // String: code page 932
  std::wstring wide;  // WideString
  size_t begin = 0, end = 0;
};

bool isIdentStart(char c) { return std::isalpha(static_cast<unsigned char>(c)) || c == '_'; }
bool isIdentChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; }

class Lexer {
 public:
  Lexer(const std::string& line, int number) : s_(line), line_(number) {}

  Token next() {
    while (pos_ < s_.size() && (s_[pos_] == ' ' || s_[pos_] == '\t')) ++pos_;
    Token t;
    t.begin = pos_;
    if (pos_ >= s_.size() || s_[pos_] == '#') {
      pos_ = s_.size();
      t.end = t.begin;
      return t;
    }
    const char c = s_[pos_];
    if (c == 'L' && pos_ + 1 < s_.size() && s_[pos_ + 1] == '"') {
      ++pos_;
      t.type = Token::WideString;
      readString(nullptr, &t.wide);
    } else if (c == '"') {
      t.type = Token::String;
      readString(&t.bytes, nullptr);
    } else if (isIdentStart(c)) {
      t.type = Token::Ident;
      while (pos_ < s_.size() && isIdentChar(s_[pos_])) t.text += s_[pos_++];
    } else if (c == '$') {
      ++pos_;
      t.type = Token::Variable;
      while (pos_ < s_.size() && isIdentChar(s_[pos_])) t.text += s_[pos_++];
      if (t.text.empty()) fail("'$' must be followed by a variable name");
    } else if (std::isdigit(static_cast<unsigned char>(c)) ||
               (c == '-' && pos_ + 1 < s_.size() && std::isdigit(static_cast<unsigned char>(s_[pos_ + 1])))) {
      t.type = Token::Integer;
      t.integer = readInteger();
    } else if (c == '(' || c == ')' || c == ',' || c == '=' || c == '+' || c == '.') {
      t.type = Token::Punct;
      t.text = std::string(1, c);
      ++pos_;
    } else {
      fail("unexpected character '" + std::string(1, c) + "'");
    }
    t.end = pos_;
    return t;
  }

  const std::string& source() const { return s_; }
  [[noreturn]] void fail(const std::string& message) const { throw ScriptError(line_, message); }

 private:
  std::int32_t readInteger() {
    const size_t start = pos_;
    bool negative = false;
    if (s_[pos_] == '-') {
      negative = true;
      ++pos_;
    }
    unsigned long long value = 0;
    int base = 10;
    if (s_[pos_] == '0' && pos_ + 1 < s_.size() && (s_[pos_ + 1] == 'x' || s_[pos_ + 1] == 'X')) {
      base = 16;
      pos_ += 2;
    }
    size_t digits = 0;
    bool tooLarge = false;
    for (; pos_ < s_.size(); ++pos_, ++digits) {
      const auto ch = static_cast<unsigned char>(s_[pos_]);
      unsigned d;
      if (std::isdigit(ch)) d = ch - '0';
      else if (base == 16 && std::isxdigit(ch)) d = static_cast<unsigned>(std::tolower(ch) - 'a' + 10);
      else break;
      value = value * static_cast<unsigned>(base) + d;
      tooLarge = tooLarge || value > 0xFFFFFFFFull;
      if (tooLarge) value = 0x100000000ull;  // stays out of range without overflowing
    }
    if (digits == 0 || (pos_ < s_.size() && isIdentChar(s_[pos_]))) {
      size_t end = pos_;
      while (end < s_.size() && isIdentChar(s_[end])) ++end;
      fail("bad number '" + s_.substr(start, end - start) + "'");
    }
    const std::string written = s_.substr(start, pos_ - start);
    if (negative && base == 16) fail("a negative number is written in decimal: " + written);
    if (tooLarge || (negative && value > 0x80000000ull)) fail("integer out of range: " + written);
    // Values above 0x7FFFFFFF are the 32-bit patterns of negative numbers (flags, colours).
    const auto bits = static_cast<std::uint32_t>(negative ? (0 - value) : value);
    return static_cast<std::int32_t>(bits);
  }

  // Reads "..." from the opening quote; narrow texts become code page 932, wide ones UTF-16.
  void readString(std::string* bytes, std::wstring* wide) {
    ++pos_;           // opening quote
    std::string run;  // UTF-8 not yet converted
    auto flush = [&] {
      if (run.empty()) return;
      std::wstring w;
      if (!utf8ToWide(run, w)) fail("text is not valid UTF-8");
      if (wide) {
        *wide += w;
      } else {
        std::string a;
        if (!wideToAnsi(w, a)) fail("text holds a character that code page 932 lacks");
        *bytes += a;
      }
      run.clear();
    };
    auto put = [&](unsigned value) {
      flush();
      if (wide)
        *wide += static_cast<wchar_t>(value);
      else
        *bytes += static_cast<char>(value);
    };
    for (;;) {
      if (pos_ >= s_.size()) fail("unterminated text");
      const char c = s_[pos_++];
      if (c == '"') break;
      if (c != '\\') {
        run += c;
        continue;
      }
      if (pos_ >= s_.size()) fail("unterminated text");
      const char e = s_[pos_++];
      switch (e) {
        case 'n':
          put('\n');
          break;
        case 't':
          put('\t');
          break;
        case 'r':
          put('\r');
          break;
        case '"':
          put('"');
          break;
        case '\\':
          put('\\');
          break;
        case 'x': {
          if (pos_ + 2 > s_.size() || !std::isxdigit(static_cast<unsigned char>(s_[pos_])) ||
              !std::isxdigit(static_cast<unsigned char>(s_[pos_ + 1]))) {
            fail("\\x needs two hexadecimal digits");
          }
          put(static_cast<unsigned>(std::stoul(s_.substr(pos_, 2), nullptr, 16)));
          pos_ += 2;
          break;
        }
        default:
          fail("unknown escape '\\" + std::string(1, e) + "'");
      }
    }
    flush();
  }

  const std::string& s_;
  int line_;
  size_t pos_ = 0;
};

class LineParser {
 public:
  LineParser(const std::string& line, int number) : lex_(line, number), number_(number) { advance(); }

  // False for an empty or comment-only line.
  bool parse(Statement& st) {
    st.line = number_;
    if (tok_.type == Token::End) return false;
    if (tok_.type == Token::Variable) {
      st.target = tok_.text;
      advance();
      expectPunct("=", "'=' after $" + st.target);
      if (isCallStart()) {
        st.type = Statement::AssignCall;
        st.call = parseCall();
      } else {
        st.type = Statement::AssignValue;
        st.exprs.push_back(parseExpr());
      }
    } else if (tok_.type != Token::Ident) {
      fail("a statement begins with a command or a $variable");
    } else if (isCallStart()) {
      st.type = Statement::CallOnly;
      st.call = parseCall();
    } else {
      const std::string word = tok_.text;
      advance();
      if (word == "load" || word == "open" || word == "show" || word == "pump") {
        st.type = word == "load"   ? Statement::Load
                  : word == "open" ? Statement::Open
                  : word == "show" ? Statement::Show
                                   : Statement::Pump;
        st.exprs.push_back(parseExpr());
      } else if (word == "run") {
        st.type = Statement::Run;
        st.exprs.push_back(parseExpr());
        while (isPunct(",")) {
          advance();
          st.exprs.push_back(parseExpr());
        }
      } else if (word == "echo") {
        st.type = Statement::Echo;
        if (tok_.type != Token::End) st.exprs.push_back(parseExpr());
      } else if (word == "moveto") {
        st.type = Statement::MoveTo;
        st.exprs.push_back(parseExpr());
        expectPunct(",", "',' between line and column");
        st.exprs.push_back(parseExpr());
      } else if (word == "unload") {
        st.type = Statement::Unload;
        if (tok_.type == Token::Ident) {
          st.target = tok_.text;
          advance();
        }
      } else {
        fail("unknown command '" + word + "'");
      }
    }
    if (tok_.type != Token::End) fail("unexpected '" + spelling() + "' at the end of the statement");
    return true;
  }

 private:
  void advance() { tok_ = lex_.next(); }
  [[noreturn]] void fail(const std::string& message) const { lex_.fail(message); }
  std::string spelling() const { return lex_.source().substr(tok_.begin, tok_.end - tok_.begin); }
  bool isPunct(const char* p) const { return tok_.type == Token::Punct && tok_.text == p; }
  void expectPunct(const char* p, const std::string& what) {
    if (!isPunct(p)) fail("expected " + what + (tok_.type == Token::End ? "" : ", found '" + spelling() + "'"));
    advance();
  }
  bool isCallStart() const {
    return tok_.type == Token::Ident && (tok_.text == "int" || tok_.text == "text" || tok_.text == "wtext");
  }

  Call parseCall() {
    Call call;
    call.kind = tok_.text == "int" ? ResultKind::Int : tok_.text == "text" ? ResultKind::Text : ResultKind::WideText;
    advance();
    if (tok_.type != Token::Ident) fail("expected the name of an export after '" + kindName(call.kind) + "'");
    call.name = tok_.text;
    advance();
    if (isPunct(".")) {
      advance();
      if (tok_.type != Token::Ident) fail("expected the name of an export after '" + call.name + ".'");
      call.module = call.name;
      call.name = tok_.text;
      advance();
    }
    expectPunct("(", "'(' after " + call.name);
    if (!isPunct(")")) {
      for (;;) {
        call.args.push_back(parseExpr());
        if (call.args.size() > kMaxArguments) fail("a call takes at most 16 arguments");
        if (isPunct(")")) break;
        expectPunct(",", "',' or ')' in the arguments of " + call.name);
      }
    }
    advance();  // ')'
    call.source = (call.module.empty() ? "" : call.module + ".") + call.name + "(";
    for (size_t i = 0; i < call.args.size(); ++i) call.source += (i ? ", " : "") + call.args[i].source;
    call.source += ")";
    return call;
  }

  Expr parseExpr() {
    Expr e;
    const size_t begin = tok_.begin;
    size_t end = begin;
    for (;;) {
      end = tok_.end;
      e.terms.push_back(parseTerm());
      if (!isPunct("+")) break;
      advance();
    }
    e.source = lex_.source().substr(begin, end - begin);
    return e;
  }

  Term parseTerm() {
    Term t;
    switch (tok_.type) {
      case Token::Integer:
        t.type = Term::Integer;
        t.integer = tok_.integer;
        break;
      case Token::String:
        t.type = Term::Text;
        t.text = tok_.bytes;
        break;
      case Token::WideString:
        t.type = Term::WideText;
        t.wide = tok_.wide;
        break;
      case Token::Variable:
        t.type = Term::Variable;
        t.text = tok_.text;
        break;
      case Token::Ident:
        if (tok_.text == "hwnd")
          t.type = Term::Hwnd;
        else if (tok_.text == "caret")
          t.type = Term::Caret;
        else if (tok_.text == "caretx")
          t.type = Term::CaretX;
        else if (tok_.text == "carety")
          t.type = Term::CaretY;
        else if (tok_.text == "null")
          t.type = Term::Null;
        else
          fail("unknown value '" + tok_.text + "'");
        break;
      case Token::End:
        fail("expected a value");
      default:
        fail("expected a value, found '" + spelling() + "'");
    }
    advance();
    return t;
  }

  static std::string kindName(ResultKind k) {
    return k == ResultKind::Int ? "int" : k == ResultKind::Text ? "text" : "wtext";
  }

  Lexer lex_;
  int number_;
  Token tok_;
};

}  // namespace

std::vector<Statement> parseScript(const std::string& utf8) {
  std::vector<Statement> script;
  size_t start = utf8.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
  for (int number = 1; start <= utf8.size(); ++number) {
    size_t end = utf8.find('\n', start);
    if (end == std::string::npos) end = utf8.size();
    std::string line = utf8.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::wstring check;
    if (!utf8ToWide(line, check)) throw ScriptError(number, "line is not valid UTF-8");
    Statement st;
    if (LineParser(line, number).parse(st)) script.push_back(std::move(st));
    start = end + 1;
  }
  return script;
}

}  // namespace edsim
