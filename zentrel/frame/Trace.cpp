#include "zentrel/frame/Trace.h"

#include <windows.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>

// The system run-time's formatter, not MinGW's own replacement: its output is the one users see.
extern "C" {
_CRTIMP int __cdecl _vscprintf(const char*, va_list);
_CRTIMP int __cdecl _vsnprintf(char*, size_t, const char*, va_list);
_CRTIMP int __cdecl _vscwprintf(const wchar_t*, va_list);
_CRTIMP int __cdecl _vsnwprintf(wchar_t*, size_t, const wchar_t*, va_list);
}

namespace zentrel {

void trace(const char* format, ...) noexcept {
  if (!format) return;
  va_list args;
  va_start(args, format);
  va_list measure;
  va_copy(measure, args);
  const int length = _vscprintf(format, measure);
  va_end(measure);
  if (length >= 0) {
    char* line = static_cast<char*>(std::malloc(static_cast<size_t>(length) + 1));
    if (line) {
      _vsnprintf(line, static_cast<size_t>(length) + 1, format, args);
      line[length] = '\0';
      OutputDebugStringA(line);
      OutputDebugStringA("\n");
      std::free(line);
    }
  }
  va_end(args);
}

void traceW(const wchar_t* format, ...) noexcept {
  if (!format) return;
  va_list args;
  va_start(args, format);
  va_list measure;
  va_copy(measure, args);
  const int length = _vscwprintf(format, measure);
  va_end(measure);
  if (length >= 0) {
    auto* line = static_cast<wchar_t*>(std::malloc((static_cast<size_t>(length) + 1) * sizeof(wchar_t)));
    if (line) {
      _vsnwprintf(line, static_cast<size_t>(length) + 1, format, args);
      line[length] = L'\0';
      OutputDebugStringW(line);
      OutputDebugStringW(L"\n");
      std::free(line);
    }
  }
  va_end(args);
}

}  // namespace zentrel
