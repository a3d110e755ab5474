#include "support/TraceCapture.h"

#include <windows.h>

#ifndef DBG_PRINTEXCEPTION_C
#define DBG_PRINTEXCEPTION_C 0x40010006L
#endif
#ifndef DBG_PRINTEXCEPTION_WIDE_C
#define DBG_PRINTEXCEPTION_WIDE_C 0x4001000AL
#endif

namespace orivel::test {
namespace {
TraceCapture* g_active = nullptr;
long __stdcall onException(EXCEPTION_POINTERS* info);
}  // namespace

struct TraceSink {
  static void add(const char* text, size_t length) { g_active->pieces_.emplace_back(text, length); }
};

TraceCapture::TraceCapture() {
  g_active = this;
  handle_ = AddVectoredExceptionHandler(1, &onException);
}

TraceCapture::~TraceCapture() {
  if (handle_) RemoveVectoredExceptionHandler(handle_);
  g_active = nullptr;
}

namespace {
long __stdcall onException(EXCEPTION_POINTERS* info) {
  const EXCEPTION_RECORD* record = info->ExceptionRecord;
  const DWORD code = record->ExceptionCode;
  const bool narrow = code == static_cast<DWORD>(DBG_PRINTEXCEPTION_C);
  const bool wide = code == static_cast<DWORD>(DBG_PRINTEXCEPTION_WIDE_C);
  if ((!narrow && !wide) || record->NumberParameters < 2 || !g_active) return EXCEPTION_CONTINUE_SEARCH;
  // The length counts the terminating zero.
  const auto length = static_cast<size_t>(record->ExceptionInformation[0]);
  const size_t chars = length > 0 ? length - 1 : 0;
  if (narrow) {
    const auto* text = reinterpret_cast<const char*>(record->ExceptionInformation[1]);
    if (text) TraceSink::add(text, chars);
  } else {
    // A wide line is kept in the ANSI code page, as the narrow form of the same call would be.
    const auto* text = reinterpret_cast<const wchar_t*>(record->ExceptionInformation[1]);
    if (text) {
      std::string converted(chars * 2 + 1, '\0');
      const int n = WideCharToMultiByte(CP_ACP, 0, text, static_cast<int>(chars), converted.data(),
                                        static_cast<int>(converted.size()), nullptr, nullptr);
      TraceSink::add(converted.data(), n > 0 ? static_cast<size_t>(n) : 0);
    }
  }
  return EXCEPTION_CONTINUE_EXECUTION;
}
}  // namespace

std::vector<std::string> TraceCapture::lines() const {
  std::string all;
  for (const auto& piece : pieces_) all += piece;
  std::vector<std::string> result;
  size_t start = 0;
  for (size_t end; (end = all.find('\n', start)) != std::string::npos; start = end + 1) {
    result.push_back(all.substr(start, end - start));
  }
  if (start < all.size()) result.push_back(all.substr(start));
  return result;
}

}  // namespace orivel::test
