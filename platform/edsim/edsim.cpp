// edsim: the editor stand-in. Opens an editor-like window, then runs a script of export calls
// the way editor macros make them. See README.md beside this file for the script language.
//
//   edsim [--raw] [--trace] [-D name=value]... script.edsim | -
//
// Exit codes: 0 the script ran through; 2 a usage, script, load or call error (message with
// file:line on stderr); 3 an export raised an exception.
#include <windows.h>

#include <fcntl.h>
#include <io.h>
#include <shellapi.h>

#include <cctype>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/edsim/Editor.h"
#include "platform/edsim/Runner.h"
#include "platform/edsim/Script.h"
#include "platform/edsim/Text.h"

namespace {

constexpr int kExitError = 2;

const char kUsage[] =
    "usage: edsim [--raw] [--trace] [-D name=value]... SCRIPT\n"
    "  SCRIPT        an edsim script (UTF-8), or - for standard input\n"
    "  --raw         print texts as code page 932 bytes instead of UTF-8\n"
    "  --trace       print what the DLLs write with OutputDebugString\n"
    "  -D name=value define the text variable $name\n";

struct Options {
  bool raw = false;
  bool trace = false;
  std::vector<std::pair<std::string, std::string>> defines;  // code page 932 values
  std::wstring script;
};

void complain(const std::string& utf8) {
  std::fputs(utf8.c_str(), stderr);
  std::fputc('\n', stderr);
  std::fflush(stderr);
}

bool isName(const std::string& s) {
  if (s.empty() || !(std::isalpha(static_cast<unsigned char>(s[0])) || s[0] == '_')) return false;
  for (char c : s) {
    if (!(std::isalnum(static_cast<unsigned char>(c)) || c == '_')) return false;
  }
  return true;
}

// False with a message for a bad command line.
bool parseOptions(int argc, wchar_t** argv, Options& options, std::string& error) {
  bool haveScript = false;
  for (int i = 1; i < argc; ++i) {
    const std::wstring arg = argv[i];
    if (arg == L"--raw") {
      options.raw = true;
    } else if (arg == L"--trace") {
      options.trace = true;
    } else if (arg == L"--help" || arg == L"-h") {
      error.clear();
      return false;
    } else if (arg.compare(0, 2, L"-D") == 0) {
      std::wstring definition = arg.substr(2);
      if (definition.empty()) {
        if (++i >= argc) {
          error = "-D needs name=value";
          return false;
        }
        definition = argv[i];
      }
      const size_t eq = definition.find(L'=');
      const std::string name = edsim::wideToUtf8(definition.substr(0, eq));
      if (eq == std::wstring::npos || !isName(name)) {
        error = "-D needs name=value, got '" + edsim::wideToUtf8(definition) + "'";
        return false;
      }
      std::string value;
      if (!edsim::wideToAnsi(definition.substr(eq + 1), value)) {
        error = "the value of -D " + name + " holds a character that code page 932 lacks";
        return false;
      }
      options.defines.emplace_back(name, value);
    } else if ((arg.size() > 1 && arg[0] == L'-') || haveScript) {
      error = "unexpected argument '" + edsim::wideToUtf8(arg) + "'";
      return false;
    } else {
      options.script = arg;
      haveScript = true;
    }
  }
  if (!haveScript) error = "no script given";
  return haveScript;
}

bool readAll(std::FILE* f, std::string& bytes) {
  char buffer[4096];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) bytes.append(buffer, n);
  return !std::ferror(f);
}

int run(int argc, wchar_t** argv) {
  Options options;
  std::string error;
  if (!parseOptions(argc, argv, options, error)) {
    if (!error.empty()) complain("edsim: " + error);
    std::fputs(kUsage, stderr);
    return kExitError;
  }
  if (GetACP() != edsim::kAnsiCodePage) {
    complain("edsim: warning: the ANSI code page is " + std::to_string(GetACP()) + ", not 932");
  }

  const bool fromStdin = options.script == L"-";
  const std::string scriptName = fromStdin ? "<stdin>" : edsim::wideToUtf8(options.script);
  std::string source;
  if (fromStdin) {
    _setmode(_fileno(stdin), _O_BINARY);
    if (!readAll(stdin, source)) {
      complain("edsim: cannot read the script from standard input");
      return kExitError;
    }
  } else {
    std::FILE* f = _wfopen(options.script.c_str(), L"rb");
    if (!f) {
      complain("edsim: cannot open the script " + scriptName + ": " + edsim::systemMessage(GetLastError()));
      return kExitError;
    }
    const bool ok = readAll(f, source);
    std::fclose(f);
    if (!ok) {
      complain("edsim: cannot read the script " + scriptName);
      return kExitError;
    }
  }

  std::vector<edsim::Statement> script;
  try {
    script = edsim::parseScript(source);
  } catch (const edsim::ScriptError& e) {
    complain(scriptName + ":" + std::to_string(e.line) + ": " + e.what());
    return kExitError;
  }

  edsim::Output out(stdout, options.raw);
  edsim::Editor editor;
  try {
    editor.create();
  } catch (const std::exception& e) {
    complain(std::string("edsim: cannot open the editor window: ") + e.what());
    return kExitError;
  }
  // The runner goes first: the DLLs unload while the editor window still exists.
  edsim::Runner runner(editor, out, options.trace);
  for (const auto& [name, value] : options.defines) runner.define(name, value);
  try {
    runner.run(script, scriptName);
  } catch (const edsim::ScriptError& e) {
    out.flush();
    complain(scriptName + ":" + std::to_string(e.line) + ": " + e.what());
    return kExitError;
  }
  out.flush();
  return 0;
}

}  // namespace

int main() {
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  if (!argv) {
    complain("edsim: cannot read the command line");
    return kExitError;
  }
  int code = kExitError;
  try {
    code = run(argc, argv);
  } catch (const std::exception& e) {
    complain(std::string("edsim: ") + e.what());
  }
  LocalFree(argv);
  return code;
}
