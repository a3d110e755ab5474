// The process-wide last-error text that macros read with GETLASTERROR.
#pragma once

#include <string>

namespace zentrel {

class LastError {
 public:
  void clear() noexcept;
  void set(const char* text);
  void set(const std::string& text);
  // The system's message for a Win32 error code, with the line end the system puts after it;
  // empty when the system has no message for the code.
  void setWin32(unsigned long code);
  const char* text() const noexcept { return text_.c_str(); }

 private:
  std::string text_;
};

LastError& lastError() noexcept;

// Set by the frame for a null text argument.
extern const char kBadTextPointer[];

}  // namespace zentrel
