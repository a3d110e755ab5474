#include "zentrel/frame/LastError.h"

#include <windows.h>

namespace zentrel {

const char kBadTextPointer[] = "文字列ポインタが妥当ではありません．";

void LastError::clear() noexcept { text_.clear(); }

void LastError::set(const char* text) {
  if (text) {
    text_.assign(text);
  } else {
    text_.clear();
  }
}

void LastError::set(const std::string& text) { text_ = text; }

void LastError::setWin32(unsigned long code) {
  constexpr DWORD kBufferChars = 4095;
  char buffer[kBufferChars + 1];
  const DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                      code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), buffer, kBufferChars,
                                      nullptr);
  if (length == 0) {
    text_.clear();
  } else {
    text_.assign(buffer, length);
  }
}

LastError& lastError() noexcept {
  static LastError instance;
  return instance;
}

}  // namespace zentrel
