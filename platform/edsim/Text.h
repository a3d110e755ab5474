// Code page conversions and output for edsim. Script texts are UTF-8; the DLLs see code page 932
// (wide texts: UTF-16); the terminal gets UTF-8 unless raw code page 932 bytes were asked for.
#pragma once

#include <windows.h>

#include <cstdio>
#include <string>
#include <string_view>

namespace edsim {

// The code page of the narrow texts that the exports take and return.
constexpr UINT kAnsiCodePage = 932;

// Strict conversions: false when the input is malformed or a character has no form in the target.
bool utf8ToWide(std::string_view utf8, std::wstring& out);
bool wideToAnsi(std::wstring_view wide, std::string& out);

// Lenient conversions for display: what cannot be converted becomes the code page's default.
std::string ansiToUtf8(std::string_view ansi);
std::string wideToUtf8(std::wstring_view wide);
std::string utf8ToAnsi(std::string_view utf8);
std::wstring ansiToWide(std::string_view ansi);

// A text in the script's quoted form: "..." with \" \\ \n \r \t and \xHH for other control
// bytes; double-byte characters are kept whole (their second byte may be 0x5C).
std::string quoteAnsi(std::string_view ansi);
std::wstring quoteWide(std::wstring_view wide);

// The system's message for a Win32 error code, as UTF-8 without the trailing line end.
std::string systemMessage(DWORD code);

// Standard output in binary mode: text pieces in any of the three encodings, written as UTF-8,
// or, when raw, as code page 932.
class Output {
 public:
  Output(std::FILE* stream, bool raw) : stream_(stream), raw_(raw) {}
  Output& utf8(std::string_view text);
  Output& ansi(std::string_view text);
  Output& wide(std::wstring_view text);
  void endLine();
  void flush() { std::fflush(stream_); }
  bool raw() const { return raw_; }

 private:
  void write(std::string_view bytes) { std::fwrite(bytes.data(), 1, bytes.size(), stream_); }
  std::FILE* stream_;
  bool raw_;
};

}  // namespace edsim
