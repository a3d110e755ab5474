// Encoding and line-end detection over samples, directly through TextFile::detect.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "rulib/textfile/TextFile.h"

namespace {

using rulib::TextFile;

constexpr int kCR = TextFile::kCR;
constexpr int kLF = TextFile::kLF;
constexpr int kCRLF = TextFile::kCRLF;

struct DetectCase {
  const char* name;
  std::string sample;
  int code;
  int lineEnd;
};

const std::string kEucNihongo = "\xC6\xFC\xCB\xDC\xB8\xEC";          // 日本語 in EUC-JP
const std::string kUtf8Nihongo = "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E";  // 日本語 in UTF-8

// ASCII filler that changes no count the detection looks at.
std::string pad(std::string s, std::size_t n) {
  s.resize(n, 'x');
  return s;
}

std::vector<DetectCase> detectCases() {
  const int koreanOrJp = IsValidCodePage(949) ? TextFile::kISO2022KR : TextFile::kISO2022JP;
  const int chineseOrJp = IsValidCodePage(936) ? TextFile::kISO2022CN : TextFile::kISO2022JP;
  return {
      // At most 4 bytes: the system code page, whatever they are.
      {"empty", "", 932, kCRLF},
      {"short UTF-8 mark", "\xEF\xBB\xBF", 932, kCRLF},
      {"short UTF-16 mark", "\xFF\xFE\x41\x00", 932, kCRLF},
      {"short base32", "0123", 932, kCRLF},
      {"short line ends", "\r\r\r\n", 932, kCR},
      // Byte-order marks and designations, in their order.
      {"UTF-8 mark", "\xEF\xBB\xBF" "ab", TextFile::kUTF8BOM, kCRLF},
      {"UTF-32 BE mark", std::string("\x00\x00\xFE\xFF\x00", 5), TextFile::kUTF32BE, kCRLF},
      {"UTF-32 LE mark before UTF-16 LE", std::string("\xFF\xFE\x00\x00\x41", 5), TextFile::kUTF32LE, kCRLF},
      {"UTF-16 BE mark", std::string("\xFE\xFF\x00\x41\x00", 5), TextFile::kUTF16BE, kCRLF},
      {"UTF-16 LE mark", std::string("\xFF\xFE\x41\x00\x0A\x00", 6), TextFile::kUTF16LE, kLF},
      {"ISO-2022-KR designation", "\x1B$)Cabc", koreanOrJp, kCRLF},
      {"ISO-2022-CN designation", "\x1B$)Aabc", chineseOrJp, kCRLF},
      // ESC in pure ASCII.
      {"escape in ASCII", "ab\x1B$B$\"\x1B(B\n", TextFile::kISO2022JP, kLF},
      {"escape with a high byte", "ab\x1B$B\xA4\xA2xy", 932, kCRLF},
      // Only 0-9 and A-V.
      {"base32", "0123456789ABCDEFGHIJKLMNOPQRSTUV", TextFile::kBase32Like, kCRLF},
      {"base32 with W", "0123456789ABCDEFW", 932, kCRLF},
      {"base32 with lower case", "0123456789abcdef", 932, kCRLF},
      {"base32 with a line end", "01234567\r\n89ABCDEF", 932, kCRLF},
      // Line-end kinds: more than twice the other count.
      {"CR three to one", "a\rb\rc\rd\n", 932, kCR},
      {"CR two to one", "a\rb\rc\n", 932, kCRLF},
      {"LF three to one", "a\nb\nc\nd\r", 932, kLF},
      {"CR LF", "a\r\nb\r\nc", 932, kCRLF},
      {"no line end", "abcdef", 932, kCRLF},
      // High bytes: a small CR LF sample without 0x80 or 0xFD-0xFF stays the system code page.
      {"EUC-JP small CR LF", kEucNihongo + "\r\n", 932, kCRLF},
      {"EUC-JP with LF", kEucNihongo + "\n", TextFile::kEUCJP, kLF},
      {"EUC-JP with FD", kEucNihongo + "\xFD\r\n", TextFile::kEUCJP, kCRLF},
      {"EUC-JP 4096 bytes CR LF", pad(kEucNihongo + "\r\n", 4096), 932, kCRLF},
      {"EUC-JP 4097 bytes CR LF", pad(kEucNihongo + "\r\n", 4097), TextFile::kEUCJP, kCRLF},
      {"EUC-JP with 80", kEucNihongo + "\x80\r\n", 932, kCRLF},
      {"EUC-JP half-width kana", "\x8E\xB6\x8E\xC5\n", TextFile::kEUCJP, kLF},
      {"EUC-JP single shift 3", "\x8F\xB0\xA1\n\n", TextFile::kEUCJP, kLF},
      {"EUC range without 7F", kEucNihongo + "\x7F\n", 932, kLF},
      {"EUC range without 8D", kEucNihongo + "\x8D\n", 932, kLF},
      {"EUC range without 90", kEucNihongo + "\x90\n", 932, kLF},
      {"EUC range without A0", kEucNihongo + "\xA0\n", 932, kLF},
      {"Shift_JIS with LF", "\x93\xFA\x96\x7B\n", 932, kLF},
      // UTF-8 test.
      {"UTF-8 with LF", kUtf8Nihongo + "\n", TextFile::kUTF8, kLF},
      {"UTF-8 over EUC-JP", "\xC3\xA9\xC3\xA9\n", TextFile::kUTF8, kLF},
      {"UTF-8 cut at the end", "ab\n\xE6\x97", TextFile::kUTF8, kLF},
      {"UTF-8 four bytes cut", "ab\n\xF0\x9F\x98", TextFile::kUTF8, kLF},
      {"UTF-8 five-byte form", "\xF8\x88\x80\x80\x80\n", TextFile::kUTF8, kLF},
      {"UTF-8 six-byte form", "\xFC\x84\x80\x80\x80\x80\n", TextFile::kUTF8, kLF},
      {"UTF-8 bad trail keeps EUC-JP", "\xC3\x41\n\xC3\xA9", TextFile::kEUCJP, kLF},
      {"UTF-8 trail first keeps EUC-JP", "\xA9\xC3\xA9\n\n", TextFile::kEUCJP, kLF},
      {"UTF-8 with FE keeps EUC-JP", "\xC3\xA9\xFE\n\n", TextFile::kEUCJP, kLF},
      {"UTF-8 small CR LF without 80", kUtf8Nihongo + "\r\n", 932, kCRLF},
      {"UTF-8 long CR LF without 80", pad(kUtf8Nihongo + "\r\n", 4097), TextFile::kUTF8, kCRLF},
  };
}

TEST(TextFileDetect, RunsUnderCodePage932) {
  // The expected codes below are those of a code page 932 system.
  ASSERT_EQ(932u, GetACP());
  ASSERT_TRUE(IsValidCodePage(932));
}

TEST(TextFileDetect, Samples) {
  for (const DetectCase& c : detectCases()) {
    SCOPED_TRACE(c.name);
    int lineEnd = -1;
    const int code = TextFile::detect(reinterpret_cast<const unsigned char*>(c.sample.data()), c.sample.size(), &lineEnd);
    EXPECT_EQ(c.code, code);
    EXPECT_EQ(c.lineEnd, lineEnd);
  }
}

TEST(TextFileDetect, OnlyTheCountedBytesMatter) {
  // Detection looks at n bytes, not past them.
  const std::string sample = "0123456789\xEF\xBB\xBF";
  int lineEnd = -1;
  EXPECT_EQ(TextFile::kBase32Like, TextFile::detect(reinterpret_cast<const unsigned char*>(sample.data()), 10, &lineEnd));
  EXPECT_EQ(932, TextFile::detect(reinterpret_cast<const unsigned char*>(sample.data()), sample.size(), &lineEnd));
  // A null sample is an empty one; the line-end kind may be left out.
  EXPECT_EQ(932, TextFile::detect(nullptr, 100, &lineEnd));
  EXPECT_EQ(kCRLF, lineEnd);
  EXPECT_EQ(TextFile::kEUCJP, TextFile::detect(reinterpret_cast<const unsigned char*>("\xC6\xFC\xCB\xDC\n"), 5, nullptr));
}

}  // namespace
