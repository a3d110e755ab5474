// Collects what the code under test writes with OutputDebugString, through a vectored exception
// handler for DBG_PRINTEXCEPTION_C (the exception OutputDebugStringA raises).
#pragma once

#include <string>
#include <vector>

namespace orivel::test {

class TraceCapture {
 public:
  TraceCapture();
  ~TraceCapture();
  TraceCapture(const TraceCapture&) = delete;
  TraceCapture& operator=(const TraceCapture&) = delete;

  // Each OutputDebugString call as it came, bytes unchanged.
  const std::vector<std::string>& pieces() const { return pieces_; }
  // The pieces joined and cut at "\n" (a trace line is its text followed by a separate "\n").
  std::vector<std::string> lines() const;
  void clear() { pieces_.clear(); }

 private:
  friend struct TraceSink;
  void* handle_ = nullptr;
  std::vector<std::string> pieces_;
};

}  // namespace orivel::test
