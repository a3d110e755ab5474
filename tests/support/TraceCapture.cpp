#include "support/TraceCapture.h"

#include <windows.h>

#ifndef DBG_PRINTEXCEPTION_C
#define DBG_PRINTEXCEPTION_C 0x40010006L
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
  if (record->ExceptionCode != static_cast<DWORD>(DBG_PRINTEXCEPTION_C) || record->NumberParameters < 2 ||
      !g_active) {
    return EXCEPTION_CONTINUE_SEARCH;
  }
  const auto length = static_cast<size_t>(record->ExceptionInformation[0]);
  const auto* text = reinterpret_cast<const char*>(record->ExceptionInformation[1]);
  // The length counts the terminating zero.
  if (text) TraceSink::add(text, length > 0 ? length - 1 : 0);
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
