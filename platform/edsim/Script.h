// edsim scripts: one statement per line, parsed whole before anything runs (README.md).
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace edsim {

// A failure tied to a script line; the message is UTF-8.
struct ScriptError : std::runtime_error {
  ScriptError(int line, const std::string& message) : std::runtime_error(message), line(line) {}
  int line;
};

// The most values one call passes.
constexpr size_t kMaxArguments = 16;

struct Term {
  enum Type { Integer, Text, WideText, Variable, Hwnd, Caret, CaretX, CaretY, Null };
  Type type = Null;
  std::int32_t integer = 0;
  std::string text;   // Text: code page 932 bytes; Variable: the name without '$'
  std::wstring wide;  // WideText
};

// Terms joined by '+'; source is the expression as written (UTF-8), for the output.
struct Expr {
  std::vector<Term> terms;
  std::string source;
};

enum class ResultKind { Int, Text, WideText };

struct Call {
  ResultKind kind = ResultKind::Int;
  std::string module;  // empty: the most recently loaded DLL
  std::string name;
  std::vector<Expr> args;
  std::string source;  // NAME(arg, ...) as written, normalised
};

struct Statement {
  enum Type { Load, Unload, Echo, Show, Pump, Open, MoveTo, Run, CallOnly, AssignCall, AssignValue };
  Type type = Echo;
  int line = 0;
  std::string target;       // assignments: the variable name without '$'; Unload: the module or empty
  std::vector<Expr> exprs;  // operands of the statement
  Call call;                // CallOnly, AssignCall
};

// Parses a UTF-8 script (a leading byte-order mark is skipped). Throws ScriptError.
std::vector<Statement> parseScript(const std::string& utf8);

}  // namespace edsim
