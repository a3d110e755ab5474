#include "platform/edsim/Runner.h"

#include <array>
#include <climits>
#include <cstdio>
#include <cstring>
#include <utility>

namespace edsim {
namespace {

#ifndef DBG_PRINTEXCEPTION_C
#define DBG_PRINTEXCEPTION_C 0x40010006L
#endif
#ifndef DBG_PRINTEXCEPTION_WIDE_C
#define DBG_PRINTEXCEPTION_WIDE_C 0x4001000AL
#endif

// ---- Calling an export with exactly the given number of pointer-sized values (cdecl).

using Word = std::intptr_t;
using Invoker = Word (*)(FARPROC, const Word*);

template <size_t I>
using WordAt = Word;

template <size_t... I>
Word invoke(FARPROC proc, [[maybe_unused]] const Word* args, std::index_sequence<I...>) {
  using Fn = Word(__cdecl*)(WordAt<I>...);
  return reinterpret_cast<Fn>(reinterpret_cast<void*>(proc))(args[I]...);
}

template <size_t N>
Word invokeN(FARPROC proc, const Word* args) {
  return invoke(proc, args, std::make_index_sequence<N>{});
}

template <size_t... N>
constexpr std::array<Invoker, sizeof...(N)> makeInvokers(std::index_sequence<N...>) {
  return {&invokeN<N>...};
}

constexpr auto kInvokers = makeInvokers(std::make_index_sequence<kMaxArguments + 1>{});

// ---- A crash inside an export ends edsim with the script line and exit code 3.

struct CrashSite {
  char script[MAX_PATH * 3] = "";
  int line = 0;
  char name[128] = "";
} g_crashSite;

LONG WINAPI reportCrash(EXCEPTION_POINTERS* info) {
  char message[MAX_PATH * 3 + 256];
  const int n = std::snprintf(message, sizeof message, "%s:%d: %s raised exception 0x%08lX\n", g_crashSite.script,
                              g_crashSite.line, g_crashSite.name[0] ? g_crashSite.name : "edsim",
                              static_cast<unsigned long>(info->ExceptionRecord->ExceptionCode));
  DWORD written = 0;
  std::fflush(stdout);
  WriteFile(GetStdHandle(STD_ERROR_HANDLE), message, n > 0 ? static_cast<DWORD>(n) : 0, &written, nullptr);
  ExitProcess(3);
}

// ---- Trace capture: OutputDebugString raises an exception that a vectored handler can take.

struct TraceBuffer {
  TraceBuffer() { InitializeCriticalSection(&lock); }
  ~TraceBuffer() { DeleteCriticalSection(&lock); }
  CRITICAL_SECTION lock;
  std::string text;  // code page 932
};
TraceBuffer* g_trace = nullptr;

LONG CALLBACK takeDebugString(EXCEPTION_POINTERS* info) {
  const EXCEPTION_RECORD* record = info->ExceptionRecord;
  if (!g_trace || record->NumberParameters < 2) return EXCEPTION_CONTINUE_SEARCH;
  const auto length = static_cast<size_t>(record->ExceptionInformation[0]);
  std::string piece;
  if (record->ExceptionCode == static_cast<DWORD>(DBG_PRINTEXCEPTION_C)) {
    const auto* p = reinterpret_cast<const char*>(record->ExceptionInformation[1]);
    if (p) piece.assign(p, strnlen(p, length));
  } else if (record->ExceptionCode == static_cast<DWORD>(DBG_PRINTEXCEPTION_WIDE_C)) {
    const auto* p = reinterpret_cast<const wchar_t*>(record->ExceptionInformation[1]);
    if (p) {
      std::string ansi;
      wideToAnsi(std::wstring(p, wcsnlen(p, length)), ansi);
      piece = ansi;
    }
  } else {
    return EXCEPTION_CONTINUE_SEARCH;
  }
  EnterCriticalSection(&g_trace->lock);
  g_trace->text += piece;
  LeaveCriticalSection(&g_trace->lock);
  return EXCEPTION_CONTINUE_EXECUTION;
}

// DLL names compare without regard to ASCII case, as Windows file names do.
std::string lower(std::string s) {
  for (size_t i = 0; i < s.size(); ++i) {
    if (IsDBCSLeadByteEx(kAnsiCodePage, static_cast<unsigned char>(s[i])))
      ++i;
    else if (s[i] >= 'A' && s[i] <= 'Z')
      s[i] = static_cast<char>(s[i] - 'A' + 'a');
  }
  return s;
}

// The file name of a code page 932 path (a trail byte 0x5C is no separator).
std::string fileName(const std::string& path) {
  size_t start = 0;
  for (size_t i = 0; i < path.size(); ++i) {
    const auto c = static_cast<unsigned char>(path[i]);
    if (IsDBCSLeadByteEx(kAnsiCodePage, c))
      ++i;
    else if (c == '\\' || c == '/' || c == ':')
      start = i + 1;
  }
  return path.substr(start);
}

// One argument of a command line, quoted the way CommandLineToArgvW splits it again.
std::string quoteArgument(const std::string& arg) {
  if (!arg.empty() && arg.find_first_of(" \t\"") == std::string::npos) return arg;
  std::string quoted = "\"";
  size_t backslashes = 0;
  for (size_t i = 0; i < arg.size(); ++i) {
    const char c = arg[i];
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    // Backslashes double only before a quote; a trail byte 0x5C is no backslash.
    quoted.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
    backslashes = 0;
    quoted += c;
    if (IsDBCSLeadByteEx(kAnsiCodePage, static_cast<unsigned char>(c)) && i + 1 < arg.size()) quoted += arg[++i];
  }
  quoted.append(backslashes * 2, '\\');
  return quoted + "\"";
}

std::string decimal(std::int32_t v) { return std::to_string(v); }

Value intValue(std::int32_t v) {
  Value r;
  r.type = Value::Int;
  r.integer = v;
  return r;
}

const char* typeName(Value::Type t) {
  switch (t) {
    case Value::Int:
      return "an integer";
    case Value::Text:
      return "a text";
    case Value::WideText:
      return "a wide text";
    case Value::Null:
      return "null";
  }
  return "?";
}

}  // namespace

Runner::Runner(Editor& editor, Output& out, bool trace) : editor_(editor), out_(out), trace_(trace) {
  if (trace_) {
    g_trace = new TraceBuffer;
    traceHandler_ = AddVectoredExceptionHandler(1, &takeDebugString);
  }
}

Runner::~Runner() {
  while (!modules_.empty()) {
    FreeLibrary(modules_.back().handle);
    modules_.pop_back();
  }
  if (traceHandler_) RemoveVectoredExceptionHandler(traceHandler_);
  delete g_trace;
  g_trace = nullptr;
}

void Runner::define(const std::string& name, const std::string& ansiValue) {
  Value v;
  v.type = Value::Text;
  v.text = ansiValue;
  variables_[name] = v;
}

void Runner::run(const std::vector<Statement>& script, const std::string& scriptName) {
  std::snprintf(g_crashSite.script, sizeof g_crashSite.script, "%s", scriptName.c_str());
  SetUnhandledExceptionFilter(&reportCrash);
  for (const Statement& st : script) {
    g_crashSite.line = st.line;
    g_crashSite.name[0] = '\0';
    execute(st);
    editor_.pumpPending();
    if (editor_.closed()) throw ScriptError(st.line, "the editor window was closed");
  }
}

void Runner::execute(const Statement& st) {
  switch (st.type) {
    case Statement::Load:
      load(text(st.exprs[0], st.line, "load"), st.line);
      break;
    case Statement::Unload:
      unload(st.target, st.line);
      break;
    case Statement::Echo:
      if (!st.exprs.empty()) print(eval(st.exprs[0], st.line));
      out_.endLine();
      break;
    case Statement::Show: {
      const Value v = eval(st.exprs[0], st.line);
      out_.utf8(st.exprs[0].source + " = ");
      printQuoted(v);
      out_.endLine();
      break;
    }
    case Statement::Pump: {
      const std::int32_t ms = integer(st.exprs[0], st.line, "pump");
      if (ms < 0) throw ScriptError(st.line, "pump takes a number of milliseconds, not " + decimal(ms));
      editor_.pumpFor(static_cast<DWORD>(ms));
      break;
    }
    case Statement::Open:
      try {
        editor_.open(text(st.exprs[0], st.line, "open"));
      } catch (const std::runtime_error& e) {
        if (dynamic_cast<const ScriptError*>(&e)) throw;
        throw ScriptError(st.line, e.what());
      }
      break;
    case Statement::MoveTo:
      editor_.moveTo(integer(st.exprs[0], st.line, "moveto"), integer(st.exprs[1], st.line, "moveto"));
      break;
    case Statement::Run: {
      std::vector<std::string> args;
      for (const Expr& e : st.exprs) args.push_back(text(e, st.line, "run"));
      runCommand(args, st.line);
      break;
    }
    case Statement::CallOnly:
    case Statement::AssignCall: {
      const Value v = call(st.call, st.line);
      if (st.type == Statement::AssignCall) {
        variables_[st.target] = v;
        out_.utf8("$" + st.target + " = ");
      }
      out_.utf8(st.call.source + " = ");
      printQuoted(v);
      out_.endLine();
      break;
    }
    case Statement::AssignValue:
      variables_[st.target] = eval(st.exprs[0], st.line);
      break;
  }
}

Value Runner::term(const Term& t, int line) {
  Value v;
  switch (t.type) {
    case Term::Integer:
      return intValue(t.integer);
    case Term::Text:
      v.type = Value::Text;
      v.text = t.text;
      return v;
    case Term::WideText:
      v.type = Value::WideText;
      v.wide = t.wide;
      return v;
    case Term::Variable: {
      const auto found = variables_.find(t.text);
      if (found == variables_.end()) throw ScriptError(line, "undefined variable $" + t.text);
      return found->second;
    }
    // Window handles go to the exports as 32-bit integers, as macros pass them.
    case Term::Hwnd:
      return intValue(static_cast<std::int32_t>(reinterpret_cast<INT_PTR>(editor_.frame())));
    case Term::Caret:
      return intValue(static_cast<std::int32_t>(reinterpret_cast<INT_PTR>(editor_.text())));
    case Term::CaretX:
      return intValue(editor_.caretOnScreen().x);
    case Term::CaretY:
      return intValue(editor_.caretOnScreen().y);
    case Term::Null:
      return v;
  }
  return v;
}

Value Runner::eval(const Expr& e, int line) {
  if (e.terms.size() == 1) return term(e.terms[0], line);
  std::vector<Value> parts;
  bool wide = false;
  for (const Term& t : e.terms) {
    parts.push_back(term(t, line));
    if (parts.back().type == Value::Null) throw ScriptError(line, "'+' cannot join null");
    wide = wide || parts.back().type == Value::WideText;
  }
  Value joined;
  joined.type = wide ? Value::WideText : Value::Text;
  for (const Value& p : parts) {
    std::string ansi = p.type == Value::Int ? decimal(p.integer) : p.text;
    if (!wide)
      joined.text += ansi;
    else
      joined.wide += p.type == Value::WideText ? p.wide : ansiToWide(ansi);
  }
  return joined;
}

std::string Runner::text(const Expr& e, int line, const char* what) {
  const Value v = eval(e, line);
  if (v.type != Value::Text) {
    throw ScriptError(line, std::string(what) + " takes a text, but " + e.source + " is " + typeName(v.type));
  }
  return v.text;
}

std::int32_t Runner::integer(const Expr& e, int line, const char* what) {
  const Value v = eval(e, line);
  if (v.type != Value::Int) {
    throw ScriptError(line, std::string(what) + " takes an integer, but " + e.source + " is " + typeName(v.type));
  }
  return v.integer;
}

void Runner::print(const Value& v) {
  switch (v.type) {
    case Value::Int:
      out_.utf8(decimal(v.integer));
      break;
    case Value::Text:
      out_.ansi(v.text);
      break;
    case Value::WideText:
      out_.wide(v.wide);
      break;
    case Value::Null:
      out_.utf8("null");
      break;
  }
}

void Runner::printQuoted(const Value& v) {
  if (v.type == Value::Text) {
    out_.ansi(quoteAnsi(v.text));
  } else if (v.type == Value::WideText) {
    out_.wide(quoteWide(v.wide));
  } else {
    print(v);
  }
}

void Runner::printTrace() {
  if (!g_trace) return;
  EnterCriticalSection(&g_trace->lock);
  std::string all;
  all.swap(g_trace->text);
  LeaveCriticalSection(&g_trace->lock);
  size_t start = 0;
  while (start < all.size()) {
    size_t end = all.find('\n', start);
    if (end == std::string::npos) end = all.size();
    out_.utf8("trace: ").ansi(all.substr(start, end - start));
    out_.endLine();
    start = end + 1;
  }
}

const Runner::Module& Runner::moduleFor(const Call& c, int line) const {
  if (modules_.empty()) throw ScriptError(line, "no DLL is loaded; load one before calling " + c.name);
  if (c.module.empty()) return modules_.back();
  const std::string wanted = lower(c.module);
  for (auto it = modules_.rbegin(); it != modules_.rend(); ++it) {
    if (lower(it->name) == wanted) return *it;
  }
  throw ScriptError(line, "no DLL named '" + c.module + "' is loaded");
}

Value Runner::call(const Call& c, int line) {
  const Module& module = moduleFor(c, line);
  FARPROC proc = GetProcAddress(module.handle, c.name.c_str());
  if (!proc) throw ScriptError(line, module.file + " has no export " + c.name);

  // The values own the texts that the pointers point into until the call returns.
  std::vector<Value> values;
  values.reserve(c.args.size());
  for (const Expr& e : c.args) values.push_back(eval(e, line));
  std::array<Word, kMaxArguments> words{};
  for (size_t i = 0; i < values.size(); ++i) {
    const Value& v = values[i];
    switch (v.type) {
      case Value::Int:
        words[i] = static_cast<Word>(v.integer);
        break;
      case Value::Text:
        words[i] = reinterpret_cast<Word>(v.text.c_str());
        break;
      case Value::WideText:
        words[i] = reinterpret_cast<Word>(v.wide.c_str());
        break;
      case Value::Null:
        words[i] = 0;
        break;
    }
  }

  std::snprintf(g_crashSite.name, sizeof g_crashSite.name, "%s", c.name.c_str());
  const Word result = kInvokers[values.size()](proc, words.data());
  g_crashSite.name[0] = '\0';
  printTrace();

  Value r;
  char address[32];
  std::snprintf(address, sizeof address, "0x%llX",
                static_cast<unsigned long long>(static_cast<std::uintptr_t>(result)));
  switch (c.kind) {
    case ResultKind::Int:
      return intValue(static_cast<std::int32_t>(static_cast<std::uint32_t>(result)));
    case ResultKind::Text: {
      const auto* p = reinterpret_cast<const char*>(result);
      if (!p) return r;
      if (IsBadStringPtrA(p, UINT_PTR(-1))) {
        throw ScriptError(line, c.name + " returned " + address + ", which is not a readable text");
      }
      r.type = Value::Text;
      r.text = p;  // a copy: the DLL owns its result only until the next call
      return r;
    }
    case ResultKind::WideText: {
      const auto* p = reinterpret_cast<const wchar_t*>(result);
      if (!p) return r;
      if (IsBadStringPtrW(p, UINT_PTR(-1))) {
        throw ScriptError(line, c.name + " returned " + address + ", which is not a readable wide text");
      }
      r.type = Value::WideText;
      r.wide = p;
      return r;
    }
  }
  return r;
}

void Runner::load(const std::string& ansiPath, int line) {
  const std::string file = fileName(ansiPath);
  const size_t dot = file.rfind('.');
  const std::string name = dot == std::string::npos ? file : file.substr(0, dot);
  for (const Module& m : modules_) {
    if (lower(m.name) == lower(name))
      throw ScriptError(line, "a DLL named '" + ansiToUtf8(name) + "' is already loaded");
  }
  HMODULE handle = LoadLibraryA(ansiPath.c_str());
  if (!handle) {
    throw ScriptError(line, "cannot load \"" + ansiToUtf8(ansiPath) + "\": " + systemMessage(GetLastError()));
  }
  modules_.push_back(Module{name, ansiToUtf8(file), handle});
}

void Runner::unload(const std::string& name, int line) {
  if (modules_.empty()) throw ScriptError(line, "no DLL is loaded");
  auto it = modules_.end() - 1;
  if (!name.empty()) {
    it = modules_.begin();
    while (it != modules_.end() && lower(it->name) != lower(name)) ++it;
    if (it == modules_.end()) throw ScriptError(line, "no DLL named '" + name + "' is loaded");
  }
  const HMODULE handle = it->handle;
  const std::string file = it->file;
  modules_.erase(it);
  if (!FreeLibrary(handle)) throw ScriptError(line, "cannot unload " + file + ": " + systemMessage(GetLastError()));
}

void Runner::runCommand(const std::vector<std::string>& ansiArgs, int line) {
  std::string ansiCommand;
  for (const std::string& arg : ansiArgs) ansiCommand += (ansiCommand.empty() ? "" : " ") + quoteArgument(arg);
  // The child writes into the same streams; what edsim printed so far goes first.
  out_.flush();
  std::fflush(stderr);
  HANDLE self = GetCurrentProcess();
  std::array<HANDLE, 3> inherited{};
  const std::array<DWORD, 3> ids{STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE};
  for (size_t i = 0; i < ids.size(); ++i) {
    HANDLE h = GetStdHandle(ids[i]);
    if (h && h != INVALID_HANDLE_VALUE) DuplicateHandle(self, h, self, &inherited[i], 0, TRUE, DUPLICATE_SAME_ACCESS);
  }
  STARTUPINFOA si{};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdInput = inherited[0];
  si.hStdOutput = inherited[1];
  si.hStdError = inherited[2];
  PROCESS_INFORMATION pi{};
  std::string commandLine = ansiCommand;  // CreateProcessA may write into it
  const BOOL started =
      CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi);
  const DWORD error = GetLastError();
  for (HANDLE h : inherited) {
    if (h) CloseHandle(h);
  }
  if (!started) {
    throw ScriptError(line, "cannot run \"" + ansiToUtf8(ansiCommand) + "\": " + systemMessage(error));
  }
  CloseHandle(pi.hThread);
  DWORD code = 0;
  try {
    editor_.pumpUntil(pi.hProcess);
  } catch (const std::runtime_error& e) {
    CloseHandle(pi.hProcess);
    throw ScriptError(line, e.what());
  }
  const BOOL gotCode = GetExitCodeProcess(pi.hProcess, &code);
  CloseHandle(pi.hProcess);
  if (!gotCode) throw ScriptError(line, "GetExitCodeProcess: " + systemMessage(GetLastError()));
  if (code != 0) {
    throw ScriptError(line, "run: exit code " + std::to_string(code) + " from " + ansiToUtf8(ansiCommand));
  }
}

}  // namespace edsim
