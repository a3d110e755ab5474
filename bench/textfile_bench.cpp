// Line delivery of rulib::TextFile against raw block reads of the same 50 MB files.
//
// Writes a Shift_JIS (CR LF), a UTF-8 and an EUC-JP (LF) file of the same Japanese LaTeX
// text into %TEMP%, reads each line by line through TextFile and with fread in 64 KB blocks,
// and prints both speeds, their ratio beside its goal, and the peak working set. A Shift_JIS
// file with CR line ends shows the byte reader; fread in 4 KB blocks, the size the readers
// refill with, shows what the reads themselves cost.
#include <windows.h>

#include <psapi.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <typeinfo>
#include <vector>

#include "rulib/textfile/TextFile.h"

namespace {

constexpr std::size_t kFileBytes = 50u * 1024 * 1024;

const wchar_t* const kLines[] = {
    L"\\section{実験の結果と考察}",
    L"本研究では，有限要素法を用いて構造物の応力分布を解析した．",
    L"式~(\\ref{eq:energy})に示すように，系全体のエネルギーは保存される．",
    L"\\begin{equation}",
    L"  E = \\frac{1}{2} m v^2 + m g h \\label{eq:energy}",
    L"\\end{equation}",
    L"表~\\ref{tab:result}に各条件での測定値をまとめる\\cite{tanaka2020}．",
    L"\\begin{itemize}",
    L"  \\item 温度は$25^\\circ$Cで一定に保った．",
    L"  \\item 試料の寸法は幅10\\,mm，長さ100\\,mmとした．",
    L"\\end{itemize}",
    L"",
    L"以上の結果から，提案手法の有効性が確認できた．今後の課題として，三次元モデルへの拡張が挙げられる．",
};

std::string encode(const std::wstring& w, UINT codePage) {
  if (w.empty()) return std::string();
  const int n = WideCharToMultiByte(codePage, 0, w.data(), static_cast<int>(w.size()), nullptr, 0, nullptr, nullptr);
  std::string r(n, '\0');
  WideCharToMultiByte(codePage, 0, w.data(), static_cast<int>(w.size()), &r[0], n, nullptr, nullptr);
  return r;
}

// Shift_JIS to EUC-JP by the JIS X 0208 row and cell of each pair.
std::string sjisToEuc(const std::string& s) {
  std::string r;
  for (std::size_t i = 0; i < s.size(); ++i) {
    const unsigned c = static_cast<unsigned char>(s[i]);
    if (!IsDBCSLeadByte(static_cast<BYTE>(c)) || i + 1 == s.size()) {
      r += static_cast<char>(c);
      continue;
    }
    const unsigned d = static_cast<unsigned char>(s[++i]);
    int row = static_cast<int>((c >= 0xE0 ? c - 0x40 : c) - 0x81) * 2 + 1;
    int cell;
    if (d >= 0x9F) {
      ++row;
      cell = static_cast<int>(d) - 0x9E;
    } else {
      cell = static_cast<int>(d) - (d >= 0x80 ? 0x40 : 0x3F);
    }
    r += static_cast<char>(row + 0xA0);
    r += static_cast<char>(cell + 0xA0);
  }
  return r;
}

std::string tempFile(const char* name) {
  char dir[MAX_PATH];
  GetTempPathA(MAX_PATH, dir);
  return std::string(dir) + name;
}

// Writes the lines over and over until the file holds kFileBytes; small chunks, little memory.
bool writeFile(const std::string& path, const std::vector<std::string>& lines) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  std::string chunk;
  std::size_t written = 0;
  for (std::size_t i = 0; written < kFileBytes; ++i) {
    chunk += lines[i % lines.size()];
    if (chunk.size() >= 65536) {
      written += std::fwrite(chunk.data(), 1, chunk.size(), f);
      chunk.clear();
    }
  }
  std::fclose(f);
  return true;
}

double seconds() {
  static LARGE_INTEGER frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return f;
  }();
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

long long fileSize(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return 0;
  return (static_cast<long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

// Best of three, in seconds.
template <class Run>
double best(Run run) {
  double t = 1e30;
  for (int i = 0; i < 3; ++i) {
    const double start = seconds();
    run();
    const double elapsed = seconds() - start;
    if (elapsed < t) t = elapsed;
  }
  return t;
}

std::size_t rawRead(const std::string& path, std::size_t blockSize) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return 0;
  static char block[65536];
  std::size_t total = 0;
  for (;;) {
    const std::size_t n = std::fread(block, 1, blockSize, f);
    if (n == 0) break;
    total += n;
  }
  std::fclose(f);
  return total;
}

struct LineResult {
  std::size_t bytes = 0;
  std::size_t lines = 0;
  std::string reader;
};

LineResult lineRead(const std::string& path) {
  LineResult r;
  rulib::TextFile file;
  if (!file.open(path.c_str())) return r;
  const char* mangled = typeid(*file.reader()).name();
  for (const char* name : {"rSJIS", "rDirect", "rEUC", "rIsoJP", "rUTF16", "rUTF7_8"}) {
    if (std::strstr(mangled, name)) r.reader = name;
  }
  char buffer[4096];
  for (;;) {
    const int n = file.readLine(buffer, 4095);
    if (n == 0) break;
    r.bytes += static_cast<std::size_t>(n);
    if (buffer[n - 1] == '\n') ++r.lines;
  }
  return r;
}

double peakWorkingSetMB() {
  PROCESS_MEMORY_COUNTERS counters;
  counters.cb = sizeof counters;
  if (!GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters)) return 0;
  return static_cast<double>(counters.PeakWorkingSetSize) / (1024.0 * 1024.0);
}

}  // namespace

int main() {
  std::vector<std::string> sjisCrLf, sjisCr, utf8, euc;
  for (const wchar_t* line : kLines) {
    const std::string s = encode(line, 932);
    sjisCrLf.push_back(s + "\r\n");
    sjisCr.push_back(s + "\r");
    utf8.push_back(encode(line, CP_UTF8) + "\n");
    euc.push_back(sjisToEuc(s) + "\n");
  }

  struct Bench {
    const char* name;
    const char* file;
    const std::vector<std::string>* lines;
    double goal;
  };
  const Bench benches[] = {
      {"Shift_JIS CR LF", "orivel-bench-sjis-crlf.tex", &sjisCrLf, 0.50},
      {"UTF-8 LF", "orivel-bench-utf8.tex", &utf8, 0.25},
      {"EUC-JP LF", "orivel-bench-euc.tex", &euc, 0.25},
      {"Shift_JIS CR", "orivel-bench-sjis-cr.tex", &sjisCr, 0.50},
  };

  std::printf("textfile_bench: %u MB files in %%TEMP%%; lines through rulib::TextFile (buffer 4096, size 4095)\n",
              static_cast<unsigned>(kFileBytes >> 20));
  std::printf("against fread in 64 KB blocks of the same file; best of 3 runs each\n\n");
  for (const Bench& b : benches) {
    if (!writeFile(tempFile(b.file), *b.lines)) {
      std::printf("cannot write %s\n", tempFile(b.file).c_str());
      return 1;
    }
  }
  const double peakBefore = peakWorkingSetMB();

  std::printf("%-16s %-8s %10s %12s %7s %8s %7s\n", "file", "reader", "raw MB/s", "lines MB/s", "ratio", "goal", "4 KB MB/s");
  int missed = 0;
  for (const Bench& b : benches) {
    const std::string path = tempFile(b.file);
    const double mb = static_cast<double>(fileSize(path)) / (1024.0 * 1024.0);
    std::size_t rawBytes = 0;
    LineResult lines;
    const double raw = best([&] { rawBytes = rawRead(path, 65536); });
    const double small = best([&] { rawRead(path, 4096); });
    const double line = best([&] { lines = lineRead(path); });
    const double rawSpeed = mb / raw;
    const double lineSpeed = mb / line;
    const double ratio = lineSpeed / rawSpeed;
    const bool ok = ratio >= b.goal;
    if (!ok) ++missed;
    std::printf("%-16s %-8s %10.0f %12.0f %7.2f  >= %.2f %9.0f  %s  (%zu lines, %zu bytes from %zu)\n", b.name,
                lines.reader.c_str(), rawSpeed, lineSpeed, ratio, b.goal, mb / small, ok ? "ok" : "MISSED",
                lines.lines, lines.bytes, rawBytes);
  }
  std::printf("\npeak working set: %.1f MB after writing the files, %.1f MB after reading them\n", peakBefore,
              peakWorkingSetMB());
  std::printf("%s\n", missed == 0 ? "all goals met" : "goal MISSED");
  for (const Bench& b : benches) DeleteFileA(tempFile(b.file).c_str());
  return 0;
}
