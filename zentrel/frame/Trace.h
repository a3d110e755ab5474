// Debug-output trace: one OutputDebugString line per export call and lines of the families' own.
#pragma once

namespace zentrel {

// Formats like printf (the system run-time's printf, so a null text prints as "(null)"),
// writes the line and then "\n" through OutputDebugStringA. The line is formatted into a buffer
// of exactly its length; when that cannot be allocated the line is dropped.
void trace(const char* format, ...) noexcept;

// The same for UTF-16 lines (OutputDebugStringW); "%s" takes a UTF-16 text here.
void traceW(const wchar_t* format, ...) noexcept;

}  // namespace zentrel
