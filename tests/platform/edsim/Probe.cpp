// edsim_probe.dll: exports that report what edsim passed to them, called the way macros call.
#include <windows.h>

#include <cstdarg>
#include <cstdio>
#include <string>

// Exported by name through probe.def.
#define PROBE_EXPORT extern "C"

namespace {
std::string g_text;
std::wstring g_wide;

const char* result(const std::string& s) {
  g_text = s;
  return g_text.c_str();
}

HWND handle(int h) { return reinterpret_cast<HWND>(static_cast<INT_PTR>(h)); }
}  // namespace

// The bytes of a text in hexadecimal, "null" for a null pointer.
PROBE_EXPORT const char* PROBE_HEX(const char* s) {
  if (!s) return result("null");
  std::string out;
  for (const char* p = s; *p; ++p) {
    char hex[4];
    std::snprintf(hex, sizeof hex, "%02X", static_cast<unsigned char>(*p));
    out += (out.empty() ? "" : " ") + std::string(hex);
  }
  return result(out);
}

// The units of a wide text in hexadecimal.
PROBE_EXPORT const char* PROBE_WHEX(const wchar_t* s) {
  if (!s) return result("null");
  std::string out;
  for (const wchar_t* p = s; *p; ++p) {
    char hex[8];
    std::snprintf(hex, sizeof hex, "%04X", static_cast<unsigned>(*p));
    out += (out.empty() ? "" : " ") + std::string(hex);
  }
  return result(out);
}

// The text itself, from a buffer that the next call overwrites.
PROBE_EXPORT const char* PROBE_ECHO(const char* s) { return result(s ? s : ""); }

PROBE_EXPORT const wchar_t* PROBE_WECHO(const wchar_t* s) {
  g_wide = s ? s : L"";
  return g_wide.c_str();
}

// Sixteen integers in decimal, in order.
PROBE_EXPORT const char* PROBE_ARGS(int a0, int a1, int a2, int a3, int a4, int a5, int a6, int a7, int a8, int a9,
                                    int a10, int a11, int a12, int a13, int a14, int a15) {
  const int v[] = {a0, a1, a2, a3, a4, a5, a6, a7, a8, a9, a10, a11, a12, a13, a14, a15};
  std::string out;
  for (int x : v) out += (out.empty() ? "" : " ") + std::to_string(x);
  return result(out);
}

// A variable argument list: count, then that many integers.
PROBE_EXPORT int PROBE_SUM(int count, ...) {
  va_list args;
  va_start(args, count);
  int sum = 0;
  for (int i = 0; i < count; ++i) sum += va_arg(args, int);
  va_end(args);
  return sum;
}

PROBE_EXPORT const char* PROBE_NULL() { return nullptr; }

PROBE_EXPORT const char* PROBE_CLASS(int h) {
  char name[256] = "";
  if (!GetClassNameA(handle(h), name, sizeof name)) return result("");
  return result(name);
}

PROBE_EXPORT int PROBE_ISPARENT(int child, int parent) { return GetParent(handle(child)) == handle(parent) ? 1 : 0; }

// 1 when the calling thread's caret sits at the screen point (x, y) in a window of class EdsimText.
PROBE_EXPORT int PROBE_CARETAT(int x, int y) {
  GUITHREADINFO info{};
  info.cbSize = sizeof info;
  if (!GetGUIThreadInfo(GetCurrentThreadId(), &info) || !info.hwndCaret) return 0;
  char name[64] = "";
  GetClassNameA(info.hwndCaret, name, sizeof name);
  POINT p{info.rcCaret.left, info.rcCaret.top};
  ClientToScreen(info.hwndCaret, &p);
  return std::string(name) == "EdsimText" && p.x == x && p.y == y ? 1 : 0;
}

// A trace line as zentrel writes one: the text, then a separate line end.
PROBE_EXPORT int PROBE_TRACE(const char* s) {
  OutputDebugStringA(s);
  OutputDebugStringA("\n");
  return 1;
}

PROBE_EXPORT int PROBE_WTRACE(const wchar_t* s) {
  OutputDebugStringW(s);
  OutputDebugStringW(L"\n");
  return 1;
}

// An access violation inside an export (raised: Wine run as root may map page zero).
PROBE_EXPORT int PROBE_CRASH() {
  RaiseException(EXCEPTION_ACCESS_VIOLATION, EXCEPTION_NONCONTINUABLE, 0, nullptr);
  return 0;
}
