// Reading a whole file through rulib::TextFile while checking every result for safety.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <typeinfo>
#include <vector>

#include "rulib/textfile/TextFile.h"

namespace textfile_test {

inline std::string repeat(const std::string& s, std::size_t n) {
  std::string r;
  r.reserve(s.size() * n);
  for (std::size_t i = 0; i < n; ++i) r += s;
  return r;
}

inline std::string join(const std::vector<std::string>& pieces) {
  std::string r;
  for (const std::string& p : pieces) r += p;
  return r;
}

// UTF-16 bytes of a wide text, with a byte-order mark when asked.
inline std::string utf16(const std::wstring& w, bool bigEndian, bool mark = true) {
  std::string r;
  if (mark) r += bigEndian ? "\xFE\xFF" : "\xFF\xFE";
  for (wchar_t c : w) {
    const char lo = static_cast<char>(c & 0xFF);
    const char hi = static_cast<char>((c >> 8) & 0xFF);
    r += bigEndian ? hi : lo;
    r += bigEndian ? lo : hi;
  }
  return r;
}

// A wide text in the ANSI code page, as the system converts it.
inline std::string ansi(const std::wstring& w) {
  if (w.empty()) return std::string();
  const int n = WideCharToMultiByte(CP_ACP, 0, w.data(), static_cast<int>(w.size()), nullptr, 0, nullptr, nullptr);
  std::string r(n, '\0');
  WideCharToMultiByte(CP_ACP, 0, w.data(), static_cast<int>(w.size()), &r[0], n, nullptr, nullptr);
  return r;
}

// Name of the reader class the file object chose ("rSJIS", "rDirect", ...).
inline std::string readerName(const rulib::TextFile& file) {
  if (!file.reader()) return "none";
  const char* mangled = typeid(*file.reader()).name();
  for (const char* name : {"rSJIS", "rDirect", "rEUC", "rIsoJP", "rUTF16", "rUTF7_8"}) {
    if (std::strstr(mangled, name)) return name;
  }
  return mangled;
}

// Where stepping over the text by characters would go wrong: a lead byte as the last byte, or
// followed by NUL, CR or LF. -1 when there is no such place.
inline int unsafeLeadByte(const char* text, int n) {
  int i = 0;
  while (i < n) {
    if (!IsDBCSLeadByte(static_cast<BYTE>(text[i]))) {
      ++i;
      continue;
    }
    if (i + 1 >= n) return i;
    const char d = text[i + 1];
    if (d == '\0' || d == '\r' || d == '\n') return i;
    i += 2;
  }
  return -1;
}

// Reads until the operation returns 0 and returns the pieces. Every call gets a buffer of
// `size` bytes followed by guard bytes; a result that writes past `size`, is not
// zero-terminated at its length, is longer than size - 1 or leaves a lead byte unpaired fails
// the test, as does a file that does not end within maxPieces calls.
inline std::vector<std::string> readAll(rulib::TextFile& file, int size, bool block,
                                        std::size_t maxPieces = 100000) {
  constexpr int kGuard = 64;
  constexpr char kFill = static_cast<char>(0xA5);
  std::vector<char> buffer(static_cast<std::size_t>(size) + kGuard);
  std::vector<std::string> pieces;
  for (;;) {
    std::memset(buffer.data(), kFill, buffer.size());
    const int n = block ? file.readBlock(buffer.data(), size) : file.readLine(buffer.data(), size);
    for (int i = size; i < size + kGuard; ++i) {
      if (buffer[i] != kFill) {
        ADD_FAILURE() << "written past the buffer size " << size << " at " << i << " (piece " << pieces.size() << ")";
        return pieces;
      }
    }
    if (n < 0 || n > size - 1) {
      ADD_FAILURE() << "length " << n << " for size " << size;
      return pieces;
    }
    if (buffer[n] != '\0') {
      ADD_FAILURE() << "no zero after " << n << " bytes";
      return pieces;
    }
    const int bad = unsafeLeadByte(buffer.data(), n);
    if (bad >= 0) {
      ADD_FAILURE() << "unpaired lead byte at " << bad << " of " << n << " (piece " << pieces.size() << ")";
      return pieces;
    }
    if (n == 0) break;
    pieces.emplace_back(buffer.data(), n);
    if (pieces.size() > maxPieces) {
      ADD_FAILURE() << "still reading after " << maxPieces << " pieces";
      return pieces;
    }
  }
  // The end is final.
  std::memset(buffer.data(), kFill, buffer.size());
  EXPECT_EQ(0, block ? file.readBlock(buffer.data(), size) : file.readLine(buffer.data(), size));
  EXPECT_EQ('\0', buffer[0]);
  return pieces;
}

}  // namespace textfile_test
