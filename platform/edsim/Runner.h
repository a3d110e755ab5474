// Runs parsed statements: loads DLLs, calls their exports as editor macros do, keeps variables
// and prints results.
#pragma once

#include <windows.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "platform/edsim/Editor.h"
#include "platform/edsim/Script.h"
#include "platform/edsim/Text.h"

namespace edsim {

struct Value {
  enum Type { Int, Text, WideText, Null };
  Type type = Null;
  std::int32_t integer = 0;
  std::string text;  // code page 932
  std::wstring wide;
};

class Runner {
 public:
  // trace: print what the DLLs write with OutputDebugString, as "trace: ..." lines.
  Runner(Editor& editor, Output& out, bool trace);
  ~Runner();  // unloads the DLLs, most recent first
  Runner(const Runner&) = delete;
  Runner& operator=(const Runner&) = delete;

  // A text variable given on the command line (code page 932).
  void define(const std::string& name, const std::string& ansiValue);
  // Throws ScriptError; a crash inside an export is reported with scriptName and the line.
  void run(const std::vector<Statement>& script, const std::string& scriptName);

 private:
  struct Module {
    std::string name;  // file name without extension, for qualified calls
    std::string file;  // file name, for messages (UTF-8)
    HMODULE handle;
  };

  void execute(const Statement& st);
  Value eval(const Expr& e, int line);
  Value term(const Term& t, int line);
  Value call(const Call& c, int line);
  const Module& moduleFor(const Call& c, int line) const;
  void load(const std::string& ansiPath, int line);
  void unload(const std::string& name, int line);
  void runCommand(const std::vector<std::string>& ansiArgs, int line);
  void print(const Value& v);        // as echo writes it
  void printQuoted(const Value& v);  // in the script's quoted form
  void printTrace();
  std::string text(const Expr& e, int line, const char* what);
  std::int32_t integer(const Expr& e, int line, const char* what);

  Editor& editor_;
  Output& out_;
  bool trace_;
  void* traceHandler_ = nullptr;
  std::vector<Module> modules_;
  std::map<std::string, Value> variables_;
};

}  // namespace edsim
