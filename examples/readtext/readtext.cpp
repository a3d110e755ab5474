// readtext: prints text files through rulib::TextFile, the reader every part of zentrel uses
// for the user's files: the detected encoding code, the line-end kind, then the lines as the
// reader delivers them (code page 932), converted to UTF-8 for the terminal.
//
//   readtext [--raw] [--compare] FILE...
//
// --raw      print the code page 932 bytes unchanged
// --compare  print the lines of the first file only and check that every further file yields
//            the same lines
// Exit codes: 0 done (and, with --compare, all files alike); 1 a file could not be opened or
// differs; 2 usage.
#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "rulib/textfile/TextFile.h"

namespace {

// Buffer and size as the library's callers use them.
constexpr int kBufferSize = 4096;
constexpr int kReadSize = 4095;

bool g_raw = false;

void print(const std::string& ansi) {
  std::string bytes = ansi;
  if (!g_raw && !ansi.empty()) {
    const int n = MultiByteToWideChar(932, 0, ansi.data(), static_cast<int>(ansi.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(n > 0 ? n : 0), L'\0');
    if (n > 0) MultiByteToWideChar(932, 0, ansi.data(), static_cast<int>(ansi.size()), wide.data(), n);
    const int m =
        WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
    bytes.assign(static_cast<size_t>(m > 0 ? m : 0), '\0');
    if (m > 0) {
      WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), bytes.data(), m, nullptr, nullptr);
    }
  }
  std::fwrite(bytes.data(), 1, bytes.size(), stdout);
}

const char* codeName(int code) {
  switch (code) {
    case 932:
      return "Shift_JIS, the ANSI code page";
    case 936:
    case 949:
    case 950:
      return "the ANSI code page";
    case rulib::TextFile::kUnknownACP:
      return "other ANSI code page";
    case rulib::TextFile::kBase32Like:
      return "only 0-9 and A-V";
    case rulib::TextFile::kUTF16BE:
      return "UTF-16BE";
    case rulib::TextFile::kUTF16LE:
      return "UTF-16LE";
    case rulib::TextFile::kUTF32BE:
      return "UTF-32BE mark";
    case rulib::TextFile::kUTF32LE:
      return "UTF-32LE mark";
    case rulib::TextFile::kEUCJP:
      return "EUC-JP";
    case rulib::TextFile::kISO2022JP:
      return "ISO-2022-JP";
    case rulib::TextFile::kISO2022CN:
      return "ISO-2022-CN designation";
    case rulib::TextFile::kISO2022KR:
      return "ISO-2022-KR designation";
    case rulib::TextFile::kUTF8BOM:
      return "UTF-8 with byte-order mark";
    case rulib::TextFile::kUTF8:
      return "UTF-8";
    default:
      return "unknown";
  }
}

const char* lineEndName(int kind) {
  switch (kind) {
    case rulib::TextFile::kCR:
      return "CR";
    case rulib::TextFile::kLF:
      return "LF";
    case rulib::TextFile::kCRLF:
      return "CR LF";
    default:
      return "?";
  }
}

// The name after the last separator; a trail byte 0x5C is no separator.
std::string fileName(const char* path) {
  const char* start = path;
  for (const char* p = path; *p; ++p) {
    if (IsDBCSLeadByteEx(932, static_cast<unsigned char>(*p)) && p[1])
      ++p;
    else if (*p == '\\' || *p == '/' || *p == ':')
      start = p + 1;
  }
  return start;
}

struct File {
  std::string name;
  int code = 0;
  int lineEnd = 0;
  std::vector<std::string> pieces;  // as readLine returned them
};

bool readFile(const char* path, File& file) {
  rulib::TextFile text;
  if (!text.open(path)) return false;
  file.name = fileName(path);
  file.code = text.code();
  file.lineEnd = text.lineEnd();
  std::vector<char> buffer(kBufferSize);
  while (text.readLine(buffer.data(), kReadSize) > 0) file.pieces.emplace_back(buffer.data());
  return true;
}

void printHeader(const File& file) {
  print("== " + file.name);
  std::printf(": code %d (%s), line ends %s", file.code, codeName(file.code), lineEndName(file.lineEnd));
}

void printLines(const File& file) {
  for (const std::string& piece : file.pieces) print(piece);
  if (!file.pieces.empty() && file.pieces.back().back() != '\n') std::fputc('\n', stdout);
}

}  // namespace

int main(int argc, char** argv) {
  _setmode(_fileno(stdout), _O_BINARY);
  bool compare = false;
  std::vector<const char*> paths;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--raw") == 0)
      g_raw = true;
    else if (std::strcmp(argv[i], "--compare") == 0)
      compare = true;
    else if (argv[i][0] == '-' && argv[i][1]) {
      std::fprintf(stderr, "readtext: unknown option %s\n", argv[i]);
      return 2;
    } else
      paths.push_back(argv[i]);
  }
  if (paths.empty()) {
    std::fputs("usage: readtext [--raw] [--compare] FILE...\n", stderr);
    return 2;
  }

  int status = 0;
  File first;
  bool haveFirst = false;
  for (const char* path : paths) {
    File file;
    if (!readFile(path, file)) {
      std::fflush(stdout);
      std::fprintf(stderr, "readtext: cannot open %s\n", path);
      status = 1;
      continue;
    }
    printHeader(file);
    if (!compare || !haveFirst) {
      std::printf("\n");
      printLines(file);
    } else if (file.pieces == first.pieces) {
      std::printf(": the same %zu lines\n", file.pieces.size());
    } else {
      size_t i = 0;
      while (i < file.pieces.size() && i < first.pieces.size() && file.pieces[i] == first.pieces[i]) ++i;
      std::printf(": differs from %s at line %zu\n", first.name.c_str(), i + 1);
      if (i < first.pieces.size()) print("   " + first.name + ": " + first.pieces[i]);
      if (i < file.pieces.size()) print("   " + file.name + ": " + file.pieces[i]);
      std::fputc('\n', stdout);
      status = 1;
    }
    if (!haveFirst) {
      first = file;
      haveFirst = true;
    }
  }
  std::fflush(stdout);
  return status;
}
