// Opening files and reading them through rulib::TextFile in every encoding.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "rulib/textfile/TextFile.h"
#include "rulib/textfile/TextFileDetail.h"
#include "support/TestPaths.h"
#include "tests/rulib/textfile/ReadHelpers.h"

namespace {

using orivel::test::sourcePath;
using orivel::test::TempDir;
using rulib::TextFile;
using textfile_test::ansi;
using textfile_test::join;
using textfile_test::readAll;
using textfile_test::readerName;
using textfile_test::repeat;
using textfile_test::utf16;

constexpr int kSize = 4095;  // what the callers pass, with a buffer of 4096

std::string fixture(const char* name) { return sourcePath(std::string("tests/rulib/textfile/data/") + name); }

// The fixture texts as the reader delivers them, in code page 932.
const std::vector<std::string> kMainLines = {
    "\\documentclass[a4paper]{jarticle}\n",
    "\\begin{document}\n",
    "\\section{日本語の見出し}\n",
    "本文は漢字とひらがなとカタカナを含みます。\n",
    "表示\\ソース、能力、予定表\n",
    "\\end{document}\n",
};

std::vector<std::string> eucLines() {
  std::vector<std::string> lines = kMainLines;
  lines.push_back("半角ｶﾅと全角カナ\n");
  return lines;
}

std::vector<std::string> bigLines() {
  std::vector<std::string> lines;
  for (int i = 1; i <= 60; ++i) {
    lines.push_back("\\section{日本語 " + std::to_string(i) + "}\n");
    lines.push_back("漢字とかなの本文 表示\\ソース\n");
    lines.push_back("\\label{sec:日本語}\n");
  }
  return lines;
}

struct EncodingCase {
  const char* file;
  int code;
  int lineEnd;
  const char* reader;
  std::vector<std::string> lines;
};

std::vector<EncodingCase> encodingCases() {
  return {
      {"sjis-crlf.tex", 932, TextFile::kCRLF, "rDirect", kMainLines},
      {"sjis-cr.tex", 932, TextFile::kCR, "rSJIS", kMainLines},
      {"sjis-lf.tex", 932, TextFile::kLF, "rDirect", kMainLines},
      {"euc-lf.tex", TextFile::kEUCJP, TextFile::kLF, "rEUC", eucLines()},
      {"iso2022jp-crlf.tex", TextFile::kISO2022JP, TextFile::kCRLF, "rIsoJP", kMainLines},
      {"utf8-bom-crlf.tex", TextFile::kUTF8BOM, TextFile::kCRLF, "rUTF7_8", kMainLines},
      {"utf8-big-crlf.tex", TextFile::kUTF8, TextFile::kCRLF, "rUTF7_8", bigLines()},
      {"ascii-crlf.tex", 932, TextFile::kCRLF, "rDirect",
       {"\\documentclass{article}\n", "\\begin{document}\n", "Plain ASCII text.\n", "\\end{document}\n"}},
      {"utf16le-bom-crlf.tex", TextFile::kUTF16LE, TextFile::kCRLF, "rUTF16", kMainLines},
      {"utf16be-bom-crlf.tex", TextFile::kUTF16BE, TextFile::kCRLF, "rUTF16", kMainLines},
  };
}

TEST(TextFileRead, EncodingsYieldTheSameLines) {
  for (const EncodingCase& c : encodingCases()) {
    SCOPED_TRACE(c.file);
    TextFile file;
    ASSERT_TRUE(file.open(fixture(c.file).c_str()));
    EXPECT_EQ(c.code, file.code());
    EXPECT_EQ(c.lineEnd, file.lineEnd());
    EXPECT_EQ(c.reader, readerName(file));
    EXPECT_EQ(c.lines, readAll(file, kSize, false));
  }
}

TEST(TextFileRead, BlocksAndSmallBuffersJoinToTheSameText) {
  for (const EncodingCase& c : encodingCases()) {
    const std::string text = join(c.lines);
    {
      SCOPED_TRACE(std::string(c.file) + " one block");
      TextFile file;
      ASSERT_TRUE(file.open(fixture(c.file).c_str()));
      const std::vector<std::string> blocks = readAll(file, 8192, true);
      ASSERT_EQ(1u, blocks.size());  // on across line ends
      EXPECT_EQ(text, blocks[0]);
    }
    for (const bool block : {false, true}) {
      for (const int size : {TextFile::kMinBufferSize, 17, 31, kSize}) {
        SCOPED_TRACE(std::string(c.file) + (block ? " blocks of " : " lines of ") + std::to_string(size));
        TextFile file;
        ASSERT_TRUE(file.open(fixture(c.file).c_str()));
        EXPECT_EQ(text, join(readAll(file, size, block)));
      }
    }
  }
}

// A file written for the case, read with the given buffer size into exact pieces.
struct PieceCase {
  const char* name;
  std::string bytes;
  int code;
  const char* reader;
  std::vector<std::string> pieces;
  int size = kSize;
  bool block = false;
};

void checkPieces(const std::vector<PieceCase>& cases) {
  TempDir dir;
  int number = 0;
  for (const PieceCase& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = dir.write("case" + std::to_string(++number) + ".txt", c.bytes);
    TextFile file;
    ASSERT_TRUE(file.open(path.c_str()));
    EXPECT_EQ(c.code, file.code());
    EXPECT_EQ(c.reader, readerName(file));
    const std::vector<std::string> pieces = readAll(file, c.size, c.block);
    EXPECT_EQ(c.pieces.size(), pieces.size());
    for (std::size_t i = 0; i < pieces.size() && i < c.pieces.size(); ++i) {
      if (pieces[i] != c.pieces[i]) {
        ADD_FAILURE() << "piece " << i << ": length " << pieces[i].size() << ", expected " << c.pieces[i].size()
                      << (pieces[i].size() < 80 ? " \"" + pieces[i] + "\"" : std::string());
        break;
      }
    }
  }
}

const std::string kA5000 = std::string(5000, 'a');
const std::string kUtf8Bom = "\xEF\xBB\xBF";

TEST(TextFileRead, LongLinesComeInPieces) {
  checkPieces({
      // size - 2 bytes before the line end; the text-mode reader stores size - 1 as fgets does.
      {"byte reader", kA5000 + "\rb\r", 932, "rSJIS", {std::string(4093, 'a'), std::string(907, 'a') + "\n", "b\n"}},
      {"text-mode reader", kA5000 + "\r\nb\r\n", 932, "rDirect", {std::string(4094, 'a'), std::string(906, 'a') + "\n", "b\n"}},
      {"EUC-JP", "\xA4\xA2" + kA5000 + "\n", TextFile::kEUCJP, "rEUC",
       {"あ" + std::string(4091, 'a'), std::string(909, 'a') + "\n"}},
      {"ISO-2022-JP", "\x1B$B$\"\x1B(B" + kA5000 + "\n", TextFile::kISO2022JP, "rIsoJP",
       {"あ" + std::string(4091, 'a'), std::string(909, 'a') + "\n"}},
      {"UTF-8", kUtf8Bom + kA5000 + "\n", TextFile::kUTF8BOM, "rUTF7_8", {std::string(4093, 'a'), std::string(907, 'a') + "\n"}},
      // (size - 1) / 2 - 2 units.
      {"UTF-16", utf16(std::wstring(5000, L'a') + L"\r\n", false), TextFile::kUTF16LE, "rUTF16",
       {std::string(2045, 'a'), std::string(2045, 'a'), std::string(910, 'a') + "\n"}},
      // Exactly the limit: the line end still goes with it.
      {"byte reader at the limit", std::string(4093, 'a') + "\rb\r", 932, "rSJIS", {std::string(4093, 'a') + "\n", "b\n"}},
      {"UTF-8 at the limit", kUtf8Bom + std::string(4093, 'a') + "\r\nb", TextFile::kUTF8BOM, "rUTF7_8",
       {std::string(4093, 'a') + "\n", "b"}},
  });
}

TEST(TextFileRead, DoubleByteCharactersStayWhole) {
  const std::wstring smile = L"\U0001F600";
  checkPieces({
      // At the size limit the character starts the next piece.
      {"byte reader", std::string(4092, 'a') + "日x\r", 932, "rSJIS", {std::string(4092, 'a'), "日x\n"}},
      {"text-mode reader", std::string(4093, 'a') + "日x\r\n", 932, "rDirect", {std::string(4093, 'a'), "日x\n"}},
      {"EUC-JP", std::string(4092, 'a') + "\xC6\xFCx\n", TextFile::kEUCJP, "rEUC", {std::string(4092, 'a'), "日x\n"}},
      {"EUC-JP single shift 2 takes the last byte", std::string(4092, 'a') + "\x8E\xB6\xC6\xFCx\n", TextFile::kEUCJP, "rEUC",
       {std::string(4092, 'a') + "ｶ", "日x\n"}},
      {"EUC-JP single shift 3 waits", std::string(4092, 'a') + "\x8F\xB0\xA1x\n", TextFile::kEUCJP, "rEUC",
       {std::string(4092, 'a'), "亜x\n"}},
      {"ISO-2022-JP", std::string(4092, 'a') + "\x1B$BF|\x1B(Bx\n", TextFile::kISO2022JP, "rIsoJP", {std::string(4092, 'a'), "日x\n"}},
      {"UTF-8", kUtf8Bom + std::string(4091, 'a') + u8"日x\n", TextFile::kUTF8BOM, "rUTF7_8", {std::string(4091, 'a'), "日x\n"}},
      {"UTF-16 surrogate pair", utf16(std::wstring(2044, L'a') + smile + L"x\n", false), TextFile::kUTF16LE, "rUTF16",
       {std::string(2044, 'a'), ansi(smile + L"x\n")}},
      // At the edge of the 4096-unit source buffer the character is joined across the refill.
      {"byte reader, source edge", std::string(4095, 'a') + "日\rb\r", 932, "rSJIS", {std::string(4095, 'a') + "日\n", "b\n"}, 8192},
      {"byte reader, CR LF on the source edge", std::string(4095, 'a') + "\r\nb\rc\rd\r", 932, "rSJIS",
       {std::string(4095, 'a') + "\n", "b\n", "c\n", "d\n"}, 8192},
      {"EUC-JP, source edge", std::string(4095, 'a') + "\xC6\xFC\n", TextFile::kEUCJP, "rEUC", {std::string(4095, 'a') + "日\n"}, 8192},
      {"EUC-JP single shift, source edge", std::string(4095, 'a') + "\x8E\xB6\n", TextFile::kEUCJP, "rEUC",
       {std::string(4095, 'a') + "ｶ\n"}, 8192},
      {"ISO-2022-JP escape, source edge", std::string(4094, 'a') + "\x1B$BF|\x1B(B\n", TextFile::kISO2022JP, "rIsoJP",
       {std::string(4094, 'a') + "日\n"}, 8192},
      {"UTF-8, source edge", kUtf8Bom + std::string(4092, 'a') + u8"日\n", TextFile::kUTF8BOM, "rUTF7_8",
       {std::string(4092, 'a') + "日\n"}, 8192},
      {"UTF-16, source edge", utf16(std::wstring(4094, L'a') + smile + L"\r\n", false), TextFile::kUTF16LE, "rUTF16",
       {std::string(4094, 'a') + ansi(smile + L"\n")}, 16384},
      {"UTF-16 CR LF on the source edge", utf16(std::wstring(4094, L'a') + L"\r\nb", true), TextFile::kUTF16BE, "rUTF16",
       {std::string(4094, 'a') + "\n", "b"}, 16384},
  });
}

TEST(TextFileRead, BlocksGoOnAcrossLineEnds) {
  checkPieces({
      {"byte reader", "ab\rc\r\nd\r\re", 932, "rSJIS", {"ab\nc\nd\n\ne"}, kSize, true},
      {"byte reader, line end at the limit", std::string(4093, 'a') + "\rb\r", 932, "rSJIS", {std::string(4093, 'a') + "\n", "b\n"}, kSize, true},
      // The text-mode reader reads size - 2 bytes and one more after a lead byte or a CR.
      {"text-mode reader", std::string(5000, 'a') + "\r\nb\r\n", 932, "rDirect",
       {std::string(4093, 'a'), std::string(907, 'a') + "\nb\n"}, kSize, true},
      {"text-mode reader, lead byte last", std::string(4092, 'a') + "日b\r\n", 932, "rDirect",
       {std::string(4092, 'a') + "日", "b\n"}, kSize, true},
      {"text-mode reader, CR last", std::string(4092, 'a') + "\rbc\r\nd\r\n", 932, "rDirect",
       {std::string(4092, 'a') + "\rb", "c\nd\n"}, kSize, true},
      {"text-mode reader, CR last before a lead byte", std::string(4092, 'a') + "\r日c\r\nd\r\n", 932, "rDirect",
       {std::string(4092, 'a') + "\r", "日c\nd\n"}, kSize, true},
      {"EUC-JP", "\xC6\xFC\n\xCB\xDC\r\n\n", TextFile::kEUCJP, "rEUC", {"日\n本\n\n"}, kSize, true},
      {"ISO-2022-JP resets at every line end", "\x1B$BF|\n$\"\x1B(B\n", TextFile::kISO2022JP, "rIsoJP", {"日\n$\"\n"}, kSize, true},
      {"UTF-16", utf16(L"a\r\nb\rc\n", false), TextFile::kUTF16LE, "rUTF16", {"a\nb\nc\n"}, kSize, true},
  });
}

TEST(TextFileRead, ReaderForEachCode) {
  checkPieces({
      {"system code page, CR", "a\rb\r", 932, "rSJIS", {"a\n", "b\n"}},
      {"system code page, LF", "a\nb\n", 932, "rDirect", {"a\n", "b\n"}},
      {"base32", "0123456789ABCDEFGHIJKLMNOPQRSTUV", TextFile::kBase32Like, "rSJIS", {"0123456789ABCDEFGHIJKLMNOPQRSTUV"}},
      {"UTF-32 BE", std::string("\x00\x00\xFE\xFF\x00\x00\x00\x41", 8), TextFile::kUTF32BE, "rSJIS",
       {std::string("\x00\x00\xFE\xFF\x00\x00\x00\x41", 8)}},
      {"UTF-32 LE", std::string("\xFF\xFE\x00\x00\x41\x00\x00\x00", 8), TextFile::kUTF32LE, "rSJIS",
       {std::string("\xFF\xFE\x00\x00\x41\x00\x00\x00", 8)}},
      {"UTF-8 without mark", u8"日本語\nb", TextFile::kUTF8, "rUTF7_8", {"日本語\n", "b"}},
      {"at most 4 bytes", "ab\r\n", 932, "rDirect", {"ab\n"}},
      {"empty", "", 932, "rDirect", {}},
  });
}

TEST(TextFileRead, BadInputIsSettledSafely) {
  checkPieces({
      // A lead byte never takes a line end, a NUL or the end of the file with it.
      {"byte reader, lead byte last", "ab\r\x93", 932, "rSJIS", {"ab\n", "?"}},
      {"byte reader, lead byte before CR", "a\x93\rb\r", 932, "rSJIS", {"a?\n", "b\n"}},
      {"byte reader, lead byte before NUL", std::string("a\x93\0b\r", 5), 932, "rSJIS", {std::string("a?\0b\n", 5)}},
      {"text-mode reader, lead byte last", "ab\r\n\x93", 932, "rDirect", {"ab\n", "?"}},
      {"text-mode reader, lead byte before CR LF", "a\x93\r\nb\r\n", 932, "rDirect", {"a?\n", "b\n"}},
      {"text-mode reader, lead byte before LF", "a\x93\nb\n", 932, "rDirect", {"a?\n", "b\n"}},
      // fgets gives a line's length by its first NUL: a piece that starts with one is skipped.
      {"text-mode reader, NUL first", std::string("\0abc\r\nxyz\r\n", 11), 932, "rDirect", {"xyz\n"}},
      {"text-mode reader, NUL inside", std::string("ab\x93\0c\r\nxyz\r\n", 12), 932, "rDirect", {"ab?", "xyz\n"}},
      {"EUC-JP, first byte before LF", "\xC6\xFC\n\xC6\n", TextFile::kEUCJP, "rEUC", {"日\n", "?\n"}},
      {"EUC-JP, first byte last", "\xC6\xFC\n\xCB\xDC\n\xC6", TextFile::kEUCJP, "rEUC", {"日\n", "本\n", "?"}},
      {"EUC-JP, row out of range", "\xC6\xFC\xFF\xA1\xA2\n", TextFile::kEUCJP, "rEUC", {"日?、\n"}},
      {"EUC-JP, cell out of range", "\xC6\xFF\xA1\xA2\n", TextFile::kEUCJP, "rEUC", {"??、\n"}},
      {"EUC-JP, single shift before LF", "\xC6\xFC\x8E\nA\n", TextFile::kEUCJP, "rEUC", {"日\n", "A\n"}},
      {"EUC-JP, single shift last", "\xC6\xFC\n\xCB\xDC\n\x8E", TextFile::kEUCJP, "rEUC", {"日\n", "本\n"}},
      {"EUC-JP, single shift before a lead byte", "\xC6\xFC\x8E\xE0\n", TextFile::kEUCJP, "rEUC", {"日?\n"}},
      {"EUC-JP, single shift 3 reads row and cell", "\x8F\xB0\xA1\n\n", TextFile::kEUCJP, "rEUC", {"亜\n", "\n"}},
      {"ISO-2022-JP, first byte last", "a\x1B$B$", TextFile::kISO2022JP, "rIsoJP", {"a?"}},
      {"ISO-2022-JP, first byte before LF", "\x1B$B$\n$\"\n", TextFile::kISO2022JP, "rIsoJP", {"?\n", "$\"\n"}},
      {"ISO-2022-JP, escape before LF", "a\x1B\nb\x1B$\nc\n", TextFile::kISO2022JP, "rIsoJP", {"a\n", "b\n", "c\n"}},
      {"ISO-2022-JP, escape last", "abcd\x1B", TextFile::kISO2022JP, "rIsoJP", {"abcd"}},
      {"ISO-2022-JP, row out of range", "\x1B$B !!\n", TextFile::kISO2022JP, "rIsoJP", {"?　\n"}},
      {"ISO-2022-JP, other designations", "\x1B(Iab\x1B$@$\"\x1B(Jc\n", TextFile::kISO2022JP, "rIsoJP", {"abあc\n"}},
      {"ISO-2022-JP, lead byte past the sample", "\x1B(B" + repeat("x\n", 8200) + "\x93\n", TextFile::kISO2022JP, "rIsoJP",
       [] {
         std::vector<std::string> p(8200, "x\n");
         p.push_back("?\n");
         return p;
       }()},
      // Broken UTF-8 is decoded by the system: U+FFFD, the default character.
      {"UTF-8, sequence cut by LF", kUtf8Bom + "\xE6\x97\nabc", TextFile::kUTF8BOM, "rUTF7_8", {"?\n", "abc"}},
      {"UTF-8, sequence cut by CR LF", kUtf8Bom + "a\xE6\r\nb", TextFile::kUTF8BOM, "rUTF7_8", {"a?\n", "b"}},
      {"UTF-8, sequence cut by the end", kUtf8Bom + "ab\xE6\x97", TextFile::kUTF8BOM, "rUTF7_8", {"ab?"}},
      {"UTF-8, sequence cut by a letter", kUtf8Bom + "ab\xE6x", TextFile::kUTF8BOM, "rUTF7_8", {"ab?x"}},
      {"UTF-8, sequence cut in a block", kUtf8Bom + "a\xE6\nb\xF0\x9F\n", TextFile::kUTF8BOM, "rUTF7_8", {"a?\nb?\n"}, kSize, true},
      {"UTF-8, stray trail byte", kUtf8Bom + "a\x80" "b\n", TextFile::kUTF8BOM, "rUTF7_8", {"a?b\n"}},
      {"UTF-16, odd byte dropped", utf16(L"AB\n", false) + "C", TextFile::kUTF16LE, "rUTF16", {"AB\n"}},
      {"UTF-16 BE, odd byte dropped", utf16(L"A\nB", true) + "C", TextFile::kUTF16BE, "rUTF16", {"A\n", "B"}},
      {"UTF-16, lone high surrogate before LF", utf16(L"a\xD83D\nb", false), TextFile::kUTF16LE, "rUTF16", {"a?\n", "b"}},
      {"UTF-16, lone low surrogate", utf16(L"a\xDE00" L"b\n", false), TextFile::kUTF16LE, "rUTF16", {"a?b\n"}},
  });
}

// Deterministic noise for the binary files.
class Noise {
 public:
  explicit Noise(std::uint32_t seed) : state_(seed) {}
  unsigned next() {
    state_ = state_ * 1664525u + 1013904223u;
    return state_ >> 24;
  }

 private:
  std::uint32_t state_;
};

std::string noise(std::size_t n, std::uint32_t seed, const std::string& alphabet = std::string()) {
  Noise rng(seed);
  std::string r(n, '\0');
  for (char& c : r) {
    const unsigned v = rng.next();
    c = alphabet.empty() ? static_cast<char>(v) : alphabet[v % alphabet.size()];
  }
  return r;
}

std::string eucAlphabet() {
  std::string a = "\n\n\n\n ab09{}\\\x8E\x8F";
  for (int c = 0xA1; c <= 0xFE; ++c) a += static_cast<char>(c);
  return a;
}

std::string sevenBitAlphabet() {
  std::string a;
  for (int c = 0; c < 0x80; ++c) a += static_cast<char>(c);
  a += "\x1B\x1B\x1B$$$(((BBB@@@\n";
  return a;
}

std::string noCrLfAlphabet() {
  std::string a;
  for (int c = 0; c < 256; ++c) {
    if (c != '\r' && c != '\n') a += static_cast<char>(c);
  }
  return a + "\r";
}

TEST(TextFileRead, BinaryFilesEndSafely) {
  struct BinaryCase {
    const char* name;
    std::string bytes;
    int code;
    const char* reader;
  };
  const std::size_t n = 200000;
  const std::vector<BinaryCase> cases = {
      {"noise", noise(n, 1), 932, "rDirect"},
      {"noise without LF", noise(n, 2, noCrLfAlphabet()), 932, "rSJIS"},
      {"noise as EUC-JP", noise(n, 3, eucAlphabet()), TextFile::kEUCJP, "rEUC"},
      {"noise as ISO-2022-JP", noise(n, 4, sevenBitAlphabet()), TextFile::kISO2022JP, "rIsoJP"},
      {"noise after a UTF-8 mark", kUtf8Bom + noise(n, 5), TextFile::kUTF8BOM, "rUTF7_8"},
      {"noise after a UTF-16 LE mark", "\xFF\xFE" + noise(n + 1, 6), TextFile::kUTF16LE, "rUTF16"},
      {"noise after a UTF-16 BE mark", "\xFE\xFF" + noise(n, 7), TextFile::kUTF16BE, "rUTF16"},
  };
  TempDir dir;
  for (const BinaryCase& c : cases) {
    const std::string path = dir.write(std::string(c.name) + ".bin", c.bytes);
    for (const bool block : {false, true}) {
      for (const int size : {TextFile::kMinBufferSize, 17, kSize}) {
        SCOPED_TRACE(std::string(c.name) + (block ? " blocks of " : " lines of ") + std::to_string(size));
        TextFile file;
        ASSERT_TRUE(file.open(path.c_str()));
        EXPECT_EQ(c.code, file.code());
        EXPECT_EQ(c.reader, readerName(file));
        const std::vector<std::string> pieces = readAll(file, size, block, c.bytes.size() + 1);
        // Every line piece holds at most one line end, at its end.
        if (!block) {
          for (const std::string& p : pieces) {
            const std::size_t lf = p.find('\n');
            if (lf != std::string::npos && lf + 1 != p.size()) {
              ADD_FAILURE() << "line end inside a line piece";
              break;
            }
          }
        }
      }
    }
  }
}

TEST(TextFileRead, TenMegabyteLine) {
  struct HugeCase {
    const char* name;
    std::string head;  // before the line: a mark, or short lines that decide the line-end kind
    std::string unit;  // repeated to 10 MB, then the line end
    std::string end;
    const char* reader;
    std::string headText;  // what the head yields, one line a piece
  };
  const std::string sjis = "日本語のabc表示\\";
  const std::size_t count = 10 * 1024 * 1024 / sjis.size();
  const std::vector<HugeCase> cases = {
      {"byte reader", "\r\r\r", sjis, "\r", "rSJIS", "\n\n\n"},
      {"text-mode reader", "", sjis, "\r\n", "rDirect", ""},
      {"EUC-JP", "", "\xC6\xFC\xCB\xDC\xB8\xEC\xA4\xCE" "abc\xC9\xBD\xBC\xA8\\", "\n", "rEUC", ""},
      {"UTF-8", "", u8"日本語のabc表示\\", "\n", "rUTF7_8", ""},
      {"UTF-16", "\xFF\xFE", utf16(L"日本語のabc表示\\", false, false), utf16(L"\r\n", false, false), "rUTF16", ""},
  };
  const std::string line = repeat(sjis, count) + "\n";
  TempDir dir;
  for (const HugeCase& c : cases) {
    const std::string path = dir.write("huge.txt", c.head + repeat(c.unit, count) + c.end);
    const std::string expected = c.headText + line;
    for (const bool block : {false, true}) {
      SCOPED_TRACE(std::string(c.name) + (block ? " blocks" : " lines"));
      TextFile file;
      ASSERT_TRUE(file.open(path.c_str()));
      EXPECT_EQ(c.reader, readerName(file));
      const std::vector<std::string> pieces = readAll(file, kSize, block);
      const std::string text = join(pieces);
      EXPECT_EQ(expected.size(), text.size());
      EXPECT_TRUE(text == expected);
      if (block) continue;
      // Pieces of the long line carry no line end but the last.
      for (std::size_t i = c.headText.size(); i + 1 < pieces.size(); ++i) {
        if (pieces[i].find('\n') != std::string::npos) {
          ADD_FAILURE() << "line end in piece " << i;
          break;
        }
      }
    }
  }
}

TEST(TextFileOpen, RefusesBadPathsAndSecondOpen) {
  TextFile file;
  EXPECT_FALSE(file.open(nullptr));
  EXPECT_FALSE(file.open(""));
  TempDir dir;
  EXPECT_FALSE(file.open(dir.file("missing.tex").c_str()));
  EXPECT_FALSE(file.isOpen());
  EXPECT_EQ(0, file.code());
  char buffer[64] = "x";
  EXPECT_EQ(0, file.readLine(buffer, sizeof buffer));
  EXPECT_EQ(0, file.readBlock(buffer, sizeof buffer));

  ASSERT_TRUE(file.open(fixture("euc-lf.tex").c_str()));
  ASSERT_EQ(sizeof "\\documentclass[a4paper]{jarticle}\n" - 1, static_cast<std::size_t>(file.readLine(buffer, sizeof buffer)));
  // A second open fails and leaves the first file where it was.
  EXPECT_FALSE(file.open(fixture("sjis-cr.tex").c_str()));
  EXPECT_EQ(TextFile::kEUCJP, file.code());
  EXPECT_EQ(TextFile::kLF, file.lineEnd());
  const std::vector<std::string> lines = eucLines();
  const std::vector<std::string> rest(lines.begin() + 1, lines.end());
  EXPECT_EQ(rest, readAll(file, kSize, false));

  file.close();
  EXPECT_FALSE(file.isOpen());
  EXPECT_EQ(0, file.readLine(buffer, sizeof buffer));
}

TEST(TextFileOpen, SmallBuffersReadNothing) {
  TextFile file;
  ASSERT_TRUE(file.open(fixture("sjis-cr.tex").c_str()));
  char buffer[TextFile::kMinBufferSize + 4];
  for (const int size : {1, 2, 8, TextFile::kMinBufferSize - 1}) {
    std::memset(buffer, 0x55, sizeof buffer);
    EXPECT_EQ(0, file.readLine(buffer, size));
    EXPECT_EQ('\0', buffer[0]);
    EXPECT_EQ(0x55, buffer[1]);
  }
  EXPECT_EQ(0, file.readLine(nullptr, 100));
  EXPECT_EQ(0, file.readLine(buffer, 0));
  // Nothing was taken.
  EXPECT_EQ(kMainLines, readAll(file, kSize, false));
}

TEST(TextFileOpen, JapaneseDirectoryNames) {
  TempDir dir;
  // 表 and ソ end in 0x5C, the path separator.
  ASSERT_TRUE(CreateDirectoryA(dir.file("表示").c_str(), nullptr));
  ASSERT_TRUE(CreateDirectoryA(dir.file("表示\\ソース").c_str(), nullptr));
  for (const char* name : {"表示\\ソース\\x.tex", "表示\\ソース\\能力.tex"}) {
    SCOPED_TRACE(name);
    const std::string path = dir.write(name, "\\section{表示}\r\nソース\r\n");
    TextFile file;
    ASSERT_TRUE(file.open(path.c_str()));
    EXPECT_EQ("rDirect", readerName(file));
    EXPECT_EQ((std::vector<std::string>{"\\section{表示}\n", "ソース\n"}), readAll(file, kSize, false));
  }
  const std::string path = dir.write("表示\\ソース\\cr.tex", "\\section{表示}\rソース\r");
  TextFile file;
  ASSERT_TRUE(file.open(path.c_str()));
  EXPECT_EQ("rSJIS", readerName(file));
  EXPECT_EQ((std::vector<std::string>{"\\section{表示}\n", "ソース\n"}), readAll(file, kSize, false));
}

TEST(TextFileDetail, StoreAnsiKeepsWholeCharacters) {
  struct Case {
    std::wstring text;
    int size;
    std::string stored;
  };
  const std::vector<Case> cases = {
      {L"日本語\n", 16, "日本語\n"},
      {L"日本語\n", 8, "日本語\n"},
      {L"日本語\n", 7, "日本語"},
      {L"日本語\n", 6, "日本"},
      {L"日本語\n", 4, "日"},
      {L"a日", 3, "a"},
      {L"", 4, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.size);
    char buffer[32];
    std::memset(buffer, 0x55, sizeof buffer);
    const int n = rulib::textfile_detail::storeAnsi(c.text.data(), static_cast<int>(c.text.size()), buffer, c.size);
    EXPECT_EQ(c.stored, std::string(buffer, n > 0 ? n : 0));
    EXPECT_EQ('\0', buffer[n]);
    EXPECT_EQ(0x55, buffer[c.size]);
  }
}

TEST(TextFileDetail, SettlePairs) {
  struct Case {
    std::string in;
    bool leadLast;
    std::string out;
  };
  const std::vector<Case> cases = {
      {"ab", false, "ab"},
      {"a\x93\xFA", false, "a\x93\xFA"},
      {"a\x93", true, "a\x93"},
      {"\x93\n", false, "?\n"},
      {"\x93\r", false, "?\r"},
      {std::string("\x93\0", 2), false, std::string("?\0", 2)},
      {"\x93\x93\x93", true, "\x93\x93\x93"},
      {"\x93\x93\x93\x93", false, "\x93\x93\x93\x93"},
      {"\x95\x5C\x8E\xA6\n", false, "\x95\x5C\x8E\xA6\n"},  // 表示: a 0x5C trail byte is no lead byte
  };
  for (const Case& c : cases) {
    std::string text = c.in;
    EXPECT_EQ(c.leadLast, rulib::textfile_detail::settlePairs(&text[0], static_cast<int>(text.size()))) << c.out;
    EXPECT_EQ(c.out, text);
  }
}

}  // namespace
