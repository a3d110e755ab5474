// Runs edsim.exe on scripts against zentrel.dll and the probe DLL and checks what it prints.
// Scripts and expected UTF-8 output are u8 literals (plain literals here are code page 932).
#include <windows.h>

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "support/TestPaths.h"

using orivel::test::TempDir;
using orivel::test::windowsPath;

namespace {

struct Result {
  DWORD exitCode = 0;
  std::string out;
  std::string err;
};

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

HANDLE inheritable(const std::string& path, bool write) {
  SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
  return CreateFileA(path.c_str(), write ? GENERIC_WRITE : GENERIC_READ, FILE_SHARE_READ, &sa,
                     write ? CREATE_ALWAYS : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

std::string quote(const std::string& s) { return "\"" + s + "\""; }

const std::string kEdsim = windowsPath(EDSIM_EXE);

// Runs edsim with $zentrel, $probe and $edsim defined; the script goes in as a file or on stdin.
Result runEdsim(const std::string& script, const std::vector<std::string>& options = {}, bool viaStdin = false,
                bool withScript = true) {
  TempDir dir;
  const std::string scriptPath = dir.write("script.edsim", script);
  std::string command = quote(kEdsim) + " " + quote("-Dzentrel=" + windowsPath(ZENTREL_DLL)) + " " +
                        quote("-Dprobe=" + windowsPath(PROBE_DLL)) + " " + quote("-Dedsim=" + kEdsim);
  for (const std::string& o : options) command += " " + o;
  if (withScript) command += " " + (viaStdin ? std::string("-") : quote(scriptPath));

  HANDLE in = viaStdin ? inheritable(scriptPath, false) : nullptr;
  HANDLE out = inheritable(dir.file("out.txt"), true);
  HANDLE err = inheritable(dir.file("err.txt"), true);
  Result r;
  if (out == INVALID_HANDLE_VALUE || err == INVALID_HANDLE_VALUE || in == INVALID_HANDLE_VALUE) {
    ADD_FAILURE() << "cannot create the output files";
    return r;
  }
  STARTUPINFOA si{};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdInput = in;
  si.hStdOutput = out;
  si.hStdError = err;
  PROCESS_INFORMATION pi{};
  const BOOL started = CreateProcessA(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi);
  if (in) CloseHandle(in);
  CloseHandle(out);
  CloseHandle(err);
  if (!started) {
    ADD_FAILURE() << "cannot start " << command << ": error " << GetLastError();
    return r;
  }
  if (WaitForSingleObject(pi.hProcess, 120000) != WAIT_OBJECT_0) {
    TerminateProcess(pi.hProcess, 99);
    WaitForSingleObject(pi.hProcess, 5000);
    ADD_FAILURE() << "edsim did not finish: " << script;
  }
  GetExitCodeProcess(pi.hProcess, &r.exitCode);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  r.out = readFile(dir.file("out.txt"));
  r.err = readFile(dir.file("err.txt"));
  return r;
}

std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> result;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) result.push_back(line);
  return result;
}

struct Step {
  std::string script;  // one statement
  const char* output;  // the line it prints, null for none
};

// Runs the steps as one script after a prefix and expects their lines in order.
void expectSteps(const std::string& prefix, const std::vector<Step>& steps,
                 const std::vector<std::string>& options = {}) {
  std::string script = prefix;
  std::vector<std::string> expected;
  for (const Step& s : steps) {
    script += s.script + "\n";
    if (s.output) expected.push_back(s.output);
  }
  const Result r = runEdsim(script, options);
  EXPECT_EQ(0u, r.exitCode) << r.err;
  EXPECT_EQ("", r.err);
  const std::vector<std::string> got = lines(r.out);
  for (size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(expected[i], i < got.size() ? got[i] : std::string("<missing>")) << "output line " << i + 1;
  }
  EXPECT_EQ(expected.size(), got.size()) << r.out;
}

TEST(EdsimCalls, ZentrelIntegerTextAndVariableResults) {
  expectSteps("load $zentrel\n",
              {
                  {"int GETVERSIONINT()", "GETVERSIONINT() = 10100"},
                  {"text GETVERSIONSTR()", "GETVERSIONSTR() = \"1.01.00\""},
                  {"text GETLASTERROR()  # empty after a call that reported nothing", "GETLASTERROR() = \"\""},
                  {"$v = text GETVERSIONSTR()", "$v = GETVERSIONSTR() = \"1.01.00\""},
                  {"$n = int zentrel.GETVERSIONINT()", "$n = zentrel.GETVERSIONINT() = 10100"},
                  {"$copy = $v", nullptr},
                  {"show $copy", "$copy = \"1.01.00\""},
                  {"echo \"v=\" + $v + \" n=\" + $n", "v=1.01.00 n=10100"},
                  {"show $n", "$n = 10100"},
                  {"echo", ""},
                  {"echo \"last\"", "last"},
              });
}

TEST(EdsimCalls, CompileDateIsAText) {
  const Result r = runEdsim("load $zentrel\ntext GETCOMPILEDATE()\n");
  ASSERT_EQ(0u, r.exitCode) << r.err;
  // "Oct  2 2018": month, day padded to two places, year.
  EXPECT_TRUE(std::regex_match(r.out, std::regex("GETCOMPILEDATE\\(\\) = \"[A-Z][a-z]{2} [ 1-3][0-9] [0-9]{4}\"\n")))
      << r.out;
}

TEST(EdsimCalls, ArgumentsReachTheExportAsMacrosPassThem) {
  expectSteps(
      "load $probe\n",
      {
          // Texts are converted to code page 932; 表 and ソ end in the byte 0x5C.
          {u8"text PROBE_HEX(\"表とソース\")", u8"PROBE_HEX(\"表とソース\") = \"95 5C 82 C6 83 5C 81 5B 83 58\""},
          {"text PROBE_HEX(\"a\\tb\\n\\\"\\\\\\x80\")",
           "PROBE_HEX(\"a\\tb\\n\\\"\\\\\\x80\") = \"61 09 62 0A 22 5C 80\""},
          {"text PROBE_HEX(null)", "PROBE_HEX(null) = \"null\""},
          {u8"text PROBE_WHEX(L\"表a\")", u8"PROBE_WHEX(L\"表a\") = \"8868 0061\""},
          {"text PROBE_ARGS(1, -2, 0x10, 0xFFFFFFFF, 2147483647, -2147483648, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16)",
           "PROBE_ARGS(1, -2, 0x10, 0xFFFFFFFF, 2147483647, -2147483648, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16) = "
           "\"1 -2 16 -1 2147483647 -2147483648 7 8 9 10 11 12 13 14 15 16\""},
          {"int PROBE_SUM(3, 10, 20, 30)", "PROBE_SUM(3, 10, 20, 30) = 60"},
          {"int PROBE_SUM(0)", "PROBE_SUM(0) = 0"},
          // Results print in the script's quoted form; a trail byte 0x5C is not escaped.
          {u8"text PROBE_ECHO(\"表\\\\\")", u8"PROBE_ECHO(\"表\\\\\") = \"表\\\\\""},
          {"text PROBE_ECHO(\"x\\ny\\r\\x01\")", "PROBE_ECHO(\"x\\ny\\r\\x01\") = \"x\\ny\\r\\x01\""},
          {u8"wtext PROBE_WECHO(L\"ワイド\\n\")", u8"PROBE_WECHO(L\"ワイド\\n\") = L\"ワイド\\n\""},
          {"text PROBE_NULL()", "PROBE_NULL() = null"},
          // A text variable keeps its copy when the DLL reuses its buffer.
          {"$a = text PROBE_ECHO(\"one\")", "$a = PROBE_ECHO(\"one\") = \"one\""},
          {"text PROBE_ECHO($a + \"+two\")", "PROBE_ECHO($a + \"+two\") = \"one+two\""},
          {"show $a", "$a = \"one\""},
          {u8"show L\"w\" + \"表\" + 1", u8"L\"w\" + \"表\" + 1 = L\"w表1\""},
          {"$n = -5", nullptr},
          {"int PROBE_SUM(2, $n, 0x7FFFFFFF)", "PROBE_SUM(2, $n, 0x7FFFFFFF) = 2147483642"},
      });
}

TEST(EdsimCalls, EditorWindowAndCaret) {
  expectSteps("load $probe\n", {
                                   {"text PROBE_CLASS(hwnd)", "PROBE_CLASS(hwnd) = \"EdsimFrame\""},
                                   {"text PROBE_CLASS(caret)", "PROBE_CLASS(caret) = \"EdsimText\""},
                                   {"int PROBE_ISPARENT(caret, hwnd)", "PROBE_ISPARENT(caret, hwnd) = 1"},
                                   {"int PROBE_CARETAT(caretx, carety)", "PROBE_CARETAT(caretx, carety) = 1"},
                                   {"$x = caretx", nullptr},
                                   {"$y = carety", nullptr},
                                   {"moveto 3, 4", nullptr},
                                   {"int PROBE_CARETAT(caretx, carety)", "PROBE_CARETAT(caretx, carety) = 1"},
                                   {"int PROBE_CARETAT($x, $y)", "PROBE_CARETAT($x, $y) = 0"},
                                   {"pump 100", nullptr},
                               });
}

TEST(EdsimOutput, Utf8UnlessRaw) {
  const std::string script = u8"load $probe\necho \"表とソース\"\ntext PROBE_ECHO(\"表\")\n";
  const Result utf8 = runEdsim(script);
  EXPECT_EQ(0u, utf8.exitCode) << utf8.err;
  EXPECT_EQ(u8"表とソース\nPROBE_ECHO(\"表\") = \"表\"\n", utf8.out);

  const Result raw = runEdsim(script, {"--raw"});
  EXPECT_EQ(0u, raw.exitCode) << raw.err;
  EXPECT_EQ("\x95\x5C\x82\xC6\x83\x5C\x81\x5B\x83\x58\nPROBE_ECHO(\"\x95\x5C\") = \"\x95\x5C\"\n", raw.out);
}

TEST(EdsimOutput, TraceLinesComeBeforeTheResult) {
  const Result r = runEdsim(
      u8"load $zentrel\nload $probe\ntext zentrel.GETVERSIONSTR()\nint PROBE_TRACE(\"表\")\n"
      u8"int PROBE_WTRACE(L\"wide\")\n",
      {"--trace"});
  EXPECT_EQ(0u, r.exitCode) << r.err;
  EXPECT_EQ(
      u8"trace: zentrel:GETVERSIONSTR:\nzentrel.GETVERSIONSTR() = \"1.01.00\"\n"
      u8"trace: 表\nPROBE_TRACE(\"表\") = 1\n"
      u8"trace: wide\nPROBE_WTRACE(L\"wide\") = 1\n",
      r.out);
  // Without --trace nothing of it is printed.
  EXPECT_EQ("zentrel.GETVERSIONSTR() = \"1.01.00\"\n", runEdsim("load $zentrel\ntext zentrel.GETVERSIONSTR()\n").out);
}

TEST(EdsimScript, FromStandardInput) {
  const Result ok = runEdsim("load $zentrel\r\nint GETVERSIONINT()\r\n", {}, true);
  EXPECT_EQ(0u, ok.exitCode) << ok.err;
  EXPECT_EQ("GETVERSIONINT() = 10100\n", ok.out);

  const Result bad = runEdsim("echo 1\nbogus\n", {}, true);
  EXPECT_EQ(2u, bad.exitCode);
  EXPECT_EQ("<stdin>:2: unknown command 'bogus'\n", bad.err);
}

TEST(EdsimScript, RunWaitsForTheProgramAndQuotesItsArguments) {
  // The child writes into the same output, between what edsim prints before and after.
  const Result order = runEdsim("echo \"before\"\nrun \"cmd\", \"/c\", \"echo from cmd\"\necho \"after\"\n");
  EXPECT_EQ(0u, order.exitCode) << order.err;
  EXPECT_EQ("before\nfrom cmd\r\nafter\n", order.out);

  // edsim runs itself: arguments with blanks, quotes and backslashes arrive unchanged.
  TempDir dir;
  const std::string inner = dir.write("inner script.edsim", "show $v\n");
  std::string script = "$inner = \"";
  for (char c : inner) script += (c == '\\') ? std::string("\\\\") : std::string(1, c);
  script += "\"\nrun $edsim, \"-Dv=a b \\\"q\\\" c:\\\\dir\\\\\", $inner\n";
  const Result nested = runEdsim(script);
  EXPECT_EQ(0u, nested.exitCode) << nested.err;
  EXPECT_EQ("$v = \"a b \\\"q\\\" c:\\\\dir\\\\\"\n", nested.out);

  const Result failing = runEdsim("run \"cmd\", \"/c\", \"exit 3\"\necho \"not reached\"\n");
  EXPECT_EQ(2u, failing.exitCode);
  EXPECT_EQ("", failing.out);
  EXPECT_NE(std::string::npos, failing.err.find("script.edsim:1: run: exit code 3 from cmd /c \"exit 3\"\n"))
      << failing.err;
}

struct ErrorCase {
  const char* script;
  const char* out;      // printed before the error
  const char* message;  // stderr begins with script.edsim:<line>: and this
};

TEST(EdsimErrors, ReportedWithTheLineAndExitCode2) {
  const ErrorCase cases[] = {
      // Syntax errors stop the script before anything runs.
      {"echo \"ok\"\n\nfrobnicate 1\n", "", "3: unknown command 'frobnicate'"},
      {"echo \"abc\n", "", "1: unterminated text"},
      {"echo \"\\q\"\n", "", "1: unknown escape '\\q'"},
      {"echo \"\\x4\"\n", "", "1: \\x needs two hexadecimal digits"},
      {"echo 4294967296\n", "", "1: integer out of range"},
      {"echo -2147483649\n", "", "1: integer out of range"},
      {"echo 0x1FFFFFFFF\n", "", "1: integer out of range: 0x1FFFFFFFF"},
      {"echo -0x1\n", "", "1: a negative number is written in decimal: -0x1"},
      {"echo 12ab\n", "", "1: bad number '12ab'"},
      {u8"echo \"😀\"\n", "", "1: text holds a character that code page 932 lacks"},
      {"echo \"\xff\"\n", "", "1: line is not valid UTF-8"},
      {"$x =\n", "", "1: expected a value"},
      {"int F(1 2)\n", "", "1: expected ',' or ')' in the arguments of F, found '2'"},
      {"int F(1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16,17)\n", "", "1: a call takes at most 16 arguments"},
      {"int (1)\n", "", "1: expected the name of an export after 'int'"},
      {"echo 1 2\n", "", "1: unexpected '2' at the end of the statement"},
      {"echo foo\n", "", "1: unknown value 'foo'"},
      {"\"x\"\n", "", "1: a statement begins with a command or a $variable"},
      // Run-time errors stop at their line; what ran before has printed.
      {"echo \"before\"\nint GETVERSIONINT()\n", "before\n",
       "2: no DLL is loaded; load one before calling GETVERSIONINT"},
      {"load $zentrel\nint NOPE()\n", "", "2: zentrel.dll has no export NOPE"},
      {"load $zentrel\nint other.GETVERSIONINT()\n", "", "2: no DLL named 'other' is loaded"},
      {"load $zentrel\nload $zentrel\n", "", "2: a DLL named 'zentrel' is already loaded"},
      {"load \"Z:\\\\no\\\\such.dll\"\n", "", "1: cannot load \"Z:\\no\\such.dll\": "},
      {"load $zentrel\ntext GETVERSIONINT()\n", "", "2: GETVERSIONINT returned 0x2774, which is not a readable text"},
      {"echo $nothing\n", "", "1: undefined variable $nothing"},
      {"pump \"x\"\n", "", "1: pump takes an integer, but \"x\" is a text"},
      {"pump -1\n", "", "1: pump takes a number of milliseconds, not -1"},
      {"load 5\n", "", "1: load takes a text, but 5 is an integer"},
      {"echo \"a\" + null\n", "", "1: '+' cannot join null"},
      {"open \"Z:\\\\no\\\\such.tex\"\n", "", "1: cannot open \"Z:\\no\\such.tex\": "},
      {"run \"Z:\\\\no\\\\such.exe\"\n", "", "1: cannot run \"Z:\\no\\such.exe\": "},
      {"unload\n", "", "1: no DLL is loaded"},
      {"load $zentrel\nunload\nint GETVERSIONINT()\n", "",
       "3: no DLL is loaded; load one before calling GETVERSIONINT"},
  };
  for (const ErrorCase& c : cases) {
    SCOPED_TRACE(c.script);
    const Result r = runEdsim(c.script);
    EXPECT_EQ(2u, r.exitCode);
    EXPECT_EQ(c.out, r.out);
    const size_t at = r.err.find("script.edsim:");
    ASSERT_NE(std::string::npos, at) << r.err;
    EXPECT_EQ(0u, r.err.compare(at + 13, std::string(c.message).size(), c.message)) << r.err;
    EXPECT_EQ('\n', r.err.empty() ? 0 : r.err.back());
  }
}

TEST(EdsimErrors, CrashInsideAnExportEndsWithCode3) {
  const Result r = runEdsim("load $probe\necho \"first\"\nint PROBE_CRASH()\necho \"not reached\"\n");
  EXPECT_EQ(3u, r.exitCode);
  EXPECT_EQ("first\n", r.out);
  EXPECT_NE(std::string::npos, r.err.find("script.edsim:3: PROBE_CRASH raised exception 0xC0000005")) << r.err;
}

TEST(EdsimErrors, CommandLine) {
  const struct {
    std::vector<std::string> options;
    bool withScript;
    const char* message;
  } cases[] = {
      {{}, false, "edsim: no script given"},
      {{"--bogus"}, true, "edsim: unexpected argument '--bogus'"},
      {{"-Dnoequals"}, true, "edsim: -D needs name=value, got 'noequals'"},
      {{"-D"}, false, "edsim: -D needs name=value"},
      {{"Z:\\no\\such.edsim"}, false, "edsim: cannot open the script Z:\\no\\such.edsim: "},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.message);
    const Result r = runEdsim("echo 1\n", c.options, false, c.withScript);
    EXPECT_EQ(2u, r.exitCode);
    EXPECT_EQ("", r.out);
    EXPECT_EQ(0u, r.err.rfind(c.message, 0)) << r.err;
  }
}

}  // namespace
