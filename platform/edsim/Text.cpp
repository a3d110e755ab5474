#include "platform/edsim/Text.h"

#include <cstdio>

namespace edsim {
namespace {

std::wstring toWide(UINT codePage, DWORD flags, std::string_view in, bool* ok) {
  if (ok) *ok = true;
  if (in.empty()) return {};
  const int n = MultiByteToWideChar(codePage, flags, in.data(), static_cast<int>(in.size()), nullptr, 0);
  if (n <= 0) {
    if (ok) *ok = false;
    return {};
  }
  std::wstring out(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(codePage, flags, in.data(), static_cast<int>(in.size()), out.data(), n);
  return out;
}

std::string fromWide(UINT codePage, std::wstring_view in, bool* ok) {
  if (ok) *ok = true;
  if (in.empty()) return {};
  BOOL usedDefault = FALSE;
  // UTF-8 takes neither flags nor the default-character query.
  const bool strict = ok && codePage != CP_UTF8;
  const DWORD flags = strict ? WC_NO_BEST_FIT_CHARS : 0;
  BOOL* used = strict ? &usedDefault : nullptr;
  const int n =
      WideCharToMultiByte(codePage, flags, in.data(), static_cast<int>(in.size()), nullptr, 0, nullptr, used);
  if (n <= 0) {
    if (ok) *ok = false;
    return {};
  }
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(codePage, flags, in.data(), static_cast<int>(in.size()), out.data(), n, nullptr, used);
  if (ok && usedDefault) *ok = false;
  return out;
}

void appendEscape(std::string& out, unsigned char c) {
  switch (c) {
    case '"':
      out += "\\\"";
      return;
    case '\\':
      out += "\\\\";
      return;
    case '\n':
      out += "\\n";
      return;
    case '\r':
      out += "\\r";
      return;
    case '\t':
      out += "\\t";
      return;
    default:
      break;
  }
  if (c < 0x20 || c == 0x7F) {
    char hex[8];
    std::snprintf(hex, sizeof hex, "\\x%02X", c);
    out += hex;
  } else {
    out += static_cast<char>(c);
  }
}

}  // namespace

bool utf8ToWide(std::string_view utf8, std::wstring& out) {
  bool ok = false;
  out = toWide(CP_UTF8, MB_ERR_INVALID_CHARS, utf8, &ok);
  return ok;
}

bool wideToAnsi(std::wstring_view wide, std::string& out) {
  bool ok = false;
  out = fromWide(kAnsiCodePage, wide, &ok);
  return ok;
}

std::wstring ansiToWide(std::string_view ansi) { return toWide(kAnsiCodePage, 0, ansi, nullptr); }
std::string ansiToUtf8(std::string_view ansi) { return fromWide(CP_UTF8, ansiToWide(ansi), nullptr); }
std::string wideToUtf8(std::wstring_view wide) { return fromWide(CP_UTF8, wide, nullptr); }
std::string utf8ToAnsi(std::string_view utf8) {
  return fromWide(kAnsiCodePage, toWide(CP_UTF8, 0, utf8, nullptr), nullptr);
}

std::string quoteAnsi(std::string_view ansi) {
  std::string out = "\"";
  for (size_t i = 0; i < ansi.size(); ++i) {
    const auto c = static_cast<unsigned char>(ansi[i]);
    if (IsDBCSLeadByteEx(kAnsiCodePage, c) && i + 1 < ansi.size()) {
      out += ansi.substr(i, 2);
      ++i;
    } else if (c >= 0x80) {
      out += static_cast<char>(c);
    } else {
      appendEscape(out, c);
    }
  }
  return out + "\"";
}

std::wstring quoteWide(std::wstring_view wide) {
  std::wstring out = L"L\"";
  for (wchar_t c : wide) {
    if (c < 0x80) {
      std::string piece;
      appendEscape(piece, static_cast<unsigned char>(c));
      out.append(piece.begin(), piece.end());
    } else {
      out += c;
    }
  }
  return out + L"\"";
}

std::string systemMessage(DWORD code) {
  wchar_t* buffer = nullptr;
  const DWORD n =
      FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                     nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  std::wstring text = (n && buffer) ? std::wstring(buffer, n) : std::wstring();
  if (buffer) LocalFree(buffer);
  while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' || text.back() == L' ')) text.pop_back();
  char number[32];
  std::snprintf(number, sizeof number, "error %lu", static_cast<unsigned long>(code));
  return text.empty() ? std::string(number) : wideToUtf8(text) + " (" + number + ")";
}

Output& Output::utf8(std::string_view text) {
  write(raw_ ? utf8ToAnsi(text) : std::string(text));
  return *this;
}

Output& Output::ansi(std::string_view text) {
  write(raw_ ? std::string(text) : ansiToUtf8(text));
  return *this;
}

Output& Output::wide(std::wstring_view text) {
  write(raw_ ? fromWide(kAnsiCodePage, text, nullptr) : wideToUtf8(text));
  return *this;
}

void Output::endLine() {
  write("\n");
  flush();
}

}  // namespace edsim
