#include "rulib/textfile/TextFile.h"

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <new>
#include <type_traits>
#include <vector>

#include "rulib/textfile/TextFileDetail.h"

namespace rulib {

namespace {

constexpr std::uint64_t kOnes = 0x0101010101010101ull;
constexpr std::uint64_t kHighs = 0x8080808080808080ull;

// Eight bytes below 0x80.
inline bool ascii8(const void* p) {
  std::uint64_t w;
  std::memcpy(&w, p, 8);
  return (w & kHighs) == 0;
}

// Eight bytes below 0x80, none of them CR or LF.
inline bool plainAscii8(const void* p) {
  std::uint64_t w;
  std::memcpy(&w, p, 8);
  if (w & kHighs) return false;
  const std::uint64_t cr = w ^ (kOnes * '\r');
  const std::uint64_t lf = w ^ (kOnes * '\n');
  return ((((cr - kOnes) & ~cr) | ((lf - kOnes) & ~lf)) & kHighs) == 0;
}

// Copies eight bytes from p to o and moves both on when they fit on both sides and are
// plain ASCII (no CR, no LF): the fast step of the byte readers' copy loops.
inline bool copyAscii8(const unsigned char*& p, const unsigned char* e, char*& o, const char* oe) {
  if (e - p < 8 || oe - o < 8 || !plainAscii8(p)) return false;
  std::memcpy(o, p, 8);
  p += 8;
  o += 8;
  return true;
}

}  // namespace

namespace textfile_detail {

namespace {
struct LeadTable {
  unsigned char lead[256];
  LeadTable() {
    for (int c = 0; c < 256; ++c) lead[c] = IsDBCSLeadByte(static_cast<BYTE>(c)) ? 1 : 0;
  }
};

bool isHighSurrogate(unsigned u) { return u >= 0xD800 && u <= 0xDBFF; }
bool isLowSurrogate(unsigned u) { return u >= 0xDC00 && u <= 0xDFFF; }
}  // namespace

const unsigned char* leadBytes() {
  static const LeadTable table;
  return table.lead;
}

int ansiUnitBytes() {
  static const int bytes = [] {
    CPINFO info;
    if (!GetCPInfo(CP_ACP, &info)) return 2;
    return std::max<int>(2, info.MaxCharSize);
  }();
  return bytes;
}

int storeAnsi(const wchar_t* w, int m, char* out, int size) {
  const int cap = size - 1;
  int r = 0;
  if (m > 0 && cap > 0) {
    r = WideCharToMultiByte(CP_ACP, 0, w, m, out, cap, nullptr, nullptr);
    if (r <= 0 && GetLastError() == ERROR_INSUFFICIENT_BUFFER) {
      int k = 0;
      int bytes = 0;
      while (k < m) {
        const int len = (k + 1 < m && isHighSurrogate(w[k]) && isLowSurrogate(w[k + 1])) ? 2 : 1;
        const int b = WideCharToMultiByte(CP_ACP, 0, w + k, len, nullptr, 0, nullptr, nullptr);
        if (b <= 0 || bytes + b > cap) break;
        bytes += b;
        k += len;
      }
      r = k > 0 ? WideCharToMultiByte(CP_ACP, 0, w, k, out, cap, nullptr, nullptr) : 0;
    }
    if (r < 0) r = 0;
  }
  if (size > 0) out[r] = '\0';
  return r;
}

bool settlePairs(char* text, int n) {
  const unsigned char* lead = leadBytes();
  int i = 0;
  while (i < n) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (c < 0x80 && n - i >= 8 && ascii8(text + i)) {
      i += 8;
      continue;
    }
    if (!lead[c]) {
      ++i;
      continue;
    }
    if (i + 1 == n) return true;
    const char d = text[i + 1];
    if (d == '\0' || d == '\r' || d == '\n') {
      text[i] = '?';
      ++i;
    } else {
      i += 2;
    }
  }
  return false;
}

}  // namespace textfile_detail

using textfile_detail::leadBytes;
using textfile_detail::storeAnsi;

namespace {

constexpr int kByteCR = '\r';
constexpr int kByteLF = '\n';
constexpr int kESC = 0x1B;

// Checks the caller's buffer; a buffer too small for a piece gets the empty text.
bool usable(char* buffer, int size) {
  if (!buffer || size <= 0) return false;
  if (size < TextFile::kMinBufferSize) {
    buffer[0] = '\0';
    return false;
  }
  return true;
}

// A JIS X 0208 row and cell (1..94 each) as a Shift_JIS pair.
inline void jisToSjis(int row, int cell, char* out) {
  out[0] = static_cast<char>((row + 1) / 2 + (row < 63 ? 0x80 : 0xC0));
  if (row & 1) {
    out[1] = static_cast<char>(cell + (cell < 64 ? 0x3F : 0x40));
  } else {
    out[1] = static_cast<char>(cell + 0x9E);
  }
}

inline bool inJisRange(int v) { return v >= 1 && v <= 94; }

// Bytes of the UTF-8 sequence a byte opens (1 for ASCII and for bytes that open none).
inline int utf8Length(int c) {
  if (c < 0xC0 || c > 0xFD) return 1;
  if (c < 0xE0) return 2;
  if (c < 0xF0) return 3;
  if (c < 0xF8) return 4;
  if (c < 0xFC) return 5;
  return 6;
}

// Flags of bytes that are copied as they are: every byte but CR, LF and those in `except`.
struct PlainTable {
  unsigned char plain[256];
  template <class Pred>
  explicit PlainTable(Pred except) {
    for (int c = 0; c < 256; ++c) plain[c] = (c != kByteCR && c != kByteLF && !except(c)) ? 1 : 0;
  }
};

const unsigned char* sjisPlain() {
  static const PlainTable t([](int c) { return leadBytes()[c] != 0; });
  return t.plain;
}

// Below 0x80, no escape: ASCII taken unchanged by the EUC-JP, ISO-2022-JP and UTF-8 readers.
const unsigned char* asciiPlain() {
  static const PlainTable t([](int c) { return c >= 0x80 || c == kESC; });
  return t.plain;
}

}  // namespace

// A buffered source of units from a binary stream.
template <class T>
class TextFile::FileRead : public TextFile::READ {
 public:
  static constexpr std::size_t kUnits = 4096;
  static constexpr int kEnd = -1;

  ~FileRead() override { std::fclose(file_); }

 protected:
  using Unit = std::make_unsigned_t<T>;

  explicit FileRead(std::FILE* file) noexcept : file_(file) {}

  // The next unit, or kEnd.
  int take() {
    if (pos_ == fill_ && !refill()) return kEnd;
    return static_cast<Unit>(buffer_[pos_++]);
  }
  // The next unit without taking it, or kEnd.
  int peek() {
    if (pos_ == fill_ && !refill()) return kEnd;
    return static_cast<Unit>(buffer_[pos_]);
  }
  // Takes the unit that peek() returned; only after it returned one.
  void skip() { ++pos_; }
  // Takes the line end that begins with the peeked unit c (CR, LF, or CR LF counted once) and
  // stores one LF for it.
  void takeLineEnd(int c, char* out, int& n) {
    skip();
    if (c == kByteCR && peek() == kByteLF) skip();
    out[n++] = '\n';
  }

  // The units of the buffer not yet taken, [cursor(), bufferEnd()), for loops that scan it
  // directly; advanceTo() takes them up to a point.
  const Unit* cursor() const { return reinterpret_cast<const Unit*>(buffer_) + pos_; }
  const Unit* bufferEnd() const { return reinterpret_cast<const Unit*>(buffer_) + fill_; }
  void advanceTo(const Unit* p) { pos_ = static_cast<std::size_t>(p - reinterpret_cast<const Unit*>(buffer_)); }

  void rewind() {
    end_ = false;
    pos_ = fill_ = 0;
    if (std::fseek(file_, 0, SEEK_SET) != 0) {
      end_ = true;
      return;
    }
    refill();
  }

  // Copies units flagged in `plain` into out while out[0, limit) has room. Returns false at
  // the end of the file, else true with a unit to peek at.
  bool copyPlain(const unsigned char* plain, char* out, int& n, int limit) {
    static_assert(sizeof(T) == 1, "byte sources only");
    for (;;) {
      if (pos_ == fill_ && !refill()) return false;
      const unsigned char* start = reinterpret_cast<const unsigned char*>(buffer_) + pos_;
      const std::size_t room = n < limit ? static_cast<std::size_t>(limit - n) : 0;
      const unsigned char* stop = start + std::min(fill_ - pos_, room);
      const unsigned char* p = start;
      char* o = out + n;
      while (p < stop && plain[*p]) *o++ = static_cast<char>(*p++);
      n += static_cast<int>(p - start);
      pos_ += static_cast<std::size_t>(p - start);
      if (pos_ < fill_) return true;
      if (n >= limit) return peek() != kEnd;
    }
  }

 private:
  __attribute__((noinline)) bool refill() {
    if (end_) return false;
    pos_ = 0;
    fill_ = std::fread(buffer_, sizeof(T), kUnits, file_);
    if (fill_ == 0) {
      end_ = true;  // end of file or read error
      return false;
    }
    return true;
  }

  std::FILE* file_;
  T buffer_[kUnits];
  std::size_t fill_ = 0;
  std::size_t pos_ = 0;
  bool end_ = false;
};

// Bytes of the ANSI code page, copied; a lead byte goes with its trail byte.
class TextFile::rSJIS : public TextFile::FileRead<char> {
 public:
  explicit rSJIS(std::FILE* file) noexcept : FileRead(file), lead_(leadBytes()), plain_(sjisPlain()) {}
  int readLine(char* buffer, int size) override { return read(buffer, size, false); }
  int readBlock(char* buffer, int size) override { return read(buffer, size, true); }

 private:
  int read(char* out, int size, bool block) {
    if (!usable(out, size)) return 0;
    const int limit = size - 2;
    int n = 0;
    for (;;) {
      n = copyWhole(out, n, limit);
      const int c = peek();
      if (c == kEnd) break;
      if (c == kByteCR || c == kByteLF) {
        if (n > limit) break;
        takeLineEnd(c, out, n);
        if (!block) break;
      } else if (lead_[c]) {
        if (n + 2 > limit) break;
        skip();
        const int d = peek();
        if (d == kEnd || d == kByteCR || d == kByteLF || d == 0) {
          out[n++] = '?';
        } else {
          skip();
          out[n++] = static_cast<char>(c);
          out[n++] = static_cast<char>(d);
        }
      } else {
        if (n + 1 > limit) break;
        skip();
        out[n++] = static_cast<char>(c);
      }
    }
    out[n] = '\0';
    return n;
  }

  // Copies the characters that lie whole in the source buffer and fit, up to a line end or
  // anything that needs a closer look; returns the new length.
  int copyWhole(char* out, int n, int limit) {
    const unsigned char* p = cursor();
    const unsigned char* const e = bufferEnd();
    char* o = out + n;
    char* const oe = out + limit;
    while (e - p >= 2 && oe - o >= 2) {
      const unsigned c = *p;
      if (c < 0x80 && copyAscii8(p, e, o, oe)) continue;
      if (plain_[c]) {
        *o++ = static_cast<char>(c);
        ++p;
        continue;
      }
      if (!lead_[c]) break;
      const unsigned d = p[1];
      if (d == 0 || d == kByteCR || d == kByteLF) break;
      o[0] = static_cast<char>(c);
      o[1] = static_cast<char>(d);
      o += 2;
      p += 2;
    }
    advanceTo(p);
    return static_cast<int>(o - out);
  }

  const unsigned char* lead_;
  const unsigned char* plain_;
};

// Text-mode stream of the run-time library: it turns CR LF into LF and stops at Ctrl-Z.
class TextFile::rDirect : public TextFile::READ {
 public:
  explicit rDirect(std::FILE* text) noexcept : file_(text), lead_(leadBytes()) {}
  ~rDirect() override { std::fclose(file_); }

  int readLine(char* buffer, int size) override {
    if (!usable(buffer, size)) return 0;
    for (;;) {
      if (!std::fgets(buffer, size, file_)) {
        buffer[0] = '\0';
        return 0;
      }
      int n = static_cast<int>(std::strlen(buffer));
      if (n == 0) continue;  // the piece starts with NUL; its length says nothing
      if (textfile_detail::settlePairs(buffer, n)) {
        // A lead byte last: at the size limit its trail byte is still to come, so it starts
        // the next piece; otherwise it has none.
        const int c = static_cast<unsigned char>(buffer[n - 1]);
        if (n == size - 1 && n > 1 && std::ungetc(c, file_) != EOF) {
          buffer[--n] = '\0';
        } else {
          buffer[n - 1] = '?';
        }
      }
      return n;
    }
  }

  int readBlock(char* buffer, int size) override {
    if (!usable(buffer, size)) return 0;
    int n = static_cast<int>(std::fread(buffer, 1, static_cast<std::size_t>(size - 2), file_));
    if (n <= 0) {
      buffer[0] = '\0';
      return 0;
    }
    const bool dangling = textfile_detail::settlePairs(buffer, n);
    if (dangling || buffer[n - 1] == '\r') {
      const int c = std::getc(file_);
      if (dangling) {
        if (c == EOF || c == kByteCR || c == kByteLF || c == 0) buffer[n - 1] = '?';
        if (c != EOF) buffer[n++] = static_cast<char>(c);
      } else if (c != EOF) {
        if (lead_[c]) {
          std::ungetc(c, file_);  // it starts the next block with its trail byte
        } else {
          buffer[n++] = static_cast<char>(c);
        }
      }
    }
    buffer[n] = '\0';
    return n;
  }

 private:
  std::FILE* file_;
  const unsigned char* lead_;
};

// EUC-JP: G0 ASCII, G1 JIS X 0208, G2 (after 0x8E) half-width katakana, G3 (after 0x8F) read
// as a JIS X 0208 row and cell.
class TextFile::rEUC : public TextFile::FileRead<unsigned char> {
 public:
  explicit rEUC(std::FILE* file) noexcept : FileRead(file), lead_(leadBytes()) {}
  int readLine(char* buffer, int size) override { return read(buffer, size, false); }
  int readBlock(char* buffer, int size) override { return read(buffer, size, true); }

 private:
  static constexpr unsigned char kSS2 = 0x8E;
  static constexpr unsigned char kSS3 = 0x8F;

  int read(char* out, int size, bool block) {
    if (!usable(out, size)) return 0;
    const int limit = size - 2;
    int n = 0;
    for (;;) {
      n = copyWhole(out, n, limit);
      int c = peek();
      if (c == kEnd) break;
      if (c == kByteCR || c == kByteLF) {
        if (n > limit) break;
        takeLineEnd(c, out, n);
        if (!block) break;
        continue;
      }
      int set = c < 0x80 ? 0 : 1;
      if (c == kSS2) set = 2;
      if (c == kSS3) set = 3;
      const int kind = kinds_[set];
      if (n + (kind == 2 ? 2 : 1) > limit) break;
      if (set >= 2) {
        skip();
        c = peek();
        if (c == kEnd || c == kByteCR || c == kByteLF) continue;  // a single shift before a line end
      }
      skip();
      if (kind != 2) {
        out[n++] = lead_[c] ? '?' : static_cast<char>(c);
        continue;
      }
      const int row = (c & 0x7F) - 32;
      const int d = peek();
      if (d == kEnd || d == kByteCR || d == kByteLF || !inJisRange(row) || !inJisRange((d & 0x7F) - 32)) {
        out[n++] = '?';
        continue;
      }
      skip();
      jisToSjis(row, (d & 0x7F) - 32, out + n);
      n += 2;
    }
    out[n] = '\0';
    return n;
  }

  // The common case in the source buffer: ASCII (G0) and JIS X 0208 pairs from A1-FE (G1).
  int copyWhole(char* out, int n, int limit) {
    const unsigned char* p = cursor();
    const unsigned char* const e = bufferEnd();
    char* o = out + n;
    char* const oe = out + limit;
    while (e - p >= 2 && oe - o >= 2) {
      const unsigned c = *p;
      if (c < 0x80) {
        if (copyAscii8(p, e, o, oe)) continue;
        if (c == kByteCR || c == kByteLF) break;
        *o++ = static_cast<char>(c);
        ++p;
        continue;
      }
      const unsigned d = p[1];
      if (c < 0xA1 || c > 0xFE || d < 0xA1 || d > 0xFE) break;
      jisToSjis(static_cast<int>(c) - 0xA0, static_cast<int>(d) - 0xA0, o);
      o += 2;
      p += 2;
    }
    advanceTo(p);
    return static_cast<int>(o - out);
  }

  const int kinds_[4] = {0, 2, 1, 2};
  const unsigned char* lead_;
};

// ISO-2022-JP: escape sequences switch between ASCII (or JIS X 0201 Roman) and JIS X 0208.
class TextFile::rIsoJP : public TextFile::FileRead<unsigned char> {
 public:
  explicit rIsoJP(std::FILE* file) noexcept : FileRead(file), lead_(leadBytes()), plain_(asciiPlain()) {}
  int readLine(char* buffer, int size) override { return read(buffer, size, false); }
  int readBlock(char* buffer, int size) override { return read(buffer, size, true); }

 private:
  static bool endsLine(int c) { return c == kEnd || c == kByteCR || c == kByteLF; }

  int read(char* out, int size, bool block) {
    if (!usable(out, size)) return 0;
    const int limit = size - 2;
    int n = 0;
    for (;;) {
      if (kind_ == 0 ? !copyPlain(plain_, out, n, limit) : peek() == kEnd) break;
      const int c = peek();
      if (c == kByteCR || c == kByteLF) {
        if (n > limit) break;
        takeLineEnd(c, out, n);
        kind_ = 0;
        if (!block) break;
        continue;
      }
      if (c == kESC) {
        skip();
        const int b1 = peek();
        if (endsLine(b1)) continue;
        skip();
        const int b2 = peek();
        if (endsLine(b2)) continue;
        skip();
        if (b1 == '(' && (b2 == 'B' || b2 == 'J')) kind_ = 0;
        if (b1 == '$' && (b2 == '@' || b2 == 'B')) kind_ = 2;
        continue;
      }
      if (n + (kind_ == 2 ? 2 : 1) > limit) break;
      skip();
      if (kind_ != 2) {
        out[n++] = lead_[c] ? '?' : static_cast<char>(c);
        continue;
      }
      const int row = (c & 0x7F) - 32;
      const int d = peek();
      if (endsLine(d) || !inJisRange(row) || !inJisRange((d & 0x7F) - 32)) {
        out[n++] = '?';
        continue;
      }
      skip();
      jisToSjis(row, (d & 0x7F) - 32, out + n);
      n += 2;
    }
    out[n] = '\0';
    return n;
  }

  const int kinds_[4] = {0, 2, 1, 2};
  int kind_ = 0;
  const unsigned char* lead_;
  const unsigned char* plain_;
};

// UTF-16 in either byte order, converted line by line to the ANSI code page.
class TextFile::rUTF16 : public TextFile::FileRead<unsigned short> {
 public:
  rUTF16(std::FILE* file, bool bigEndian) : FileRead(file) {
    const int first = peek();
    if (first == 0xFFFE) {
      skip();
      swap_ = true;
    } else if (first == 0xFEFF) {
      skip();
      swap_ = false;
    } else {
      swap_ = bigEndian;
    }
  }
  int readLine(char* buffer, int size) override { return read(buffer, size, false); }
  int readBlock(char* buffer, int size) override { return read(buffer, size, true); }

 private:
  int next() {
    const int u = peek();
    if (u == kEnd || !swap_) return u;
    return ((u & 0xFF) << 8) | (u >> 8);
  }

  int read(char* out, int size, bool block) {
    if (!usable(out, size)) return 0;
    // Every unit takes at most ansiUnitBytes() bytes in the ANSI code page.
    const int limit = (size - 1) / textfile_detail::ansiUnitBytes() - 2;
    if (units_.size() < static_cast<std::size_t>(limit) + 2) units_.resize(limit + 2);
    wchar_t* w = units_.data();
    int m = 0;
    for (;;) {
      const int u = next();
      if (u == kEnd) break;
      if (u == kByteCR || u == kByteLF) {
        if (m > limit) break;
        skip();
        if (u == kByteCR && next() == kByteLF) skip();
        w[m++] = L'\n';
        if (!block) break;
        continue;
      }
      if (u >= 0xD800 && u <= 0xDBFF) {
        if (m + 2 > limit) break;
        skip();
        w[m++] = static_cast<wchar_t>(u);
        const int v = next();
        if (v >= 0xDC00 && v <= 0xDFFF) {
          skip();
          w[m++] = static_cast<wchar_t>(v);
        }
        continue;
      }
      if (m + 1 > limit) break;
      skip();
      w[m++] = static_cast<wchar_t>(u);
    }
    return storeAnsi(w, m, out, size);
  }

  bool swap_ = false;
  std::vector<wchar_t> units_;
};

// UTF-8 (or another code page MultiByteToWideChar knows), converted line by line.
class TextFile::rUTF7_8 : public TextFile::FileRead<unsigned char> {
 public:
  rUTF7_8(std::FILE* file, unsigned codePage) : FileRead(file), codePage_(codePage) {
    if (codePage_ == CP_UTF8) {
      if (!(take() == 0xEF && take() == 0xBB && take() == 0xBF)) rewind();
    }
  }
  int readLine(char* buffer, int size) override { return read(buffer, size, false); }
  int readBlock(char* buffer, int size) override { return read(buffer, size, true); }

 private:
  int read(char* out, int size, bool block) {
    if (!usable(out, size)) return 0;
    const int limit = size - 2;
    int n = 0;
    bool wide = codePage_ != CP_UTF8;
    for (;;) {
      if (codePage_ == CP_UTF8) n = copyWhole(out, n, limit, wide);
      const int c = peek();
      if (c == kEnd) break;
      if (c == kByteCR || c == kByteLF) {
        if (n > limit) break;
        takeLineEnd(c, out, n);
        if (!block) break;
        continue;
      }
      // A sequence stays whole; it takes only the continuation bytes that follow.
      const int len = codePage_ == CP_UTF8 ? utf8Length(c) : 1;
      if (n + len > limit) break;
      skip();
      const int start = n;
      out[n++] = static_cast<char>(c);
      if (c >= 0x80) wide = true;
      for (int k = 1; k < len; ++k) {
        const int d = peek();
        if (d < 0x80 || d > 0xBF) {
          // Cut short: one stray continuation byte stands for it, one U+FFFD in the
          // conversion, which then cannot run on into the bytes after it.
          out[start] = static_cast<char>(0x80);
          n = start + 1;
          break;
        }
        skip();
        out[n++] = static_cast<char>(d);
      }
    }
    if (!wide) {
      out[n] = '\0';
      return n;
    }
    if (wide_.size() < static_cast<std::size_t>(n)) wide_.resize(n);
    const int m = MultiByteToWideChar(codePage_, 0, out, n, wide_.data(), n);
    return storeAnsi(wide_.data(), m > 0 ? m : 0, out, size);
  }

  // ASCII and complete UTF-8 sequences that lie whole in the source buffer and fit.
  int copyWhole(char* out, int n, int limit, bool& wide) {
    const unsigned char* p = cursor();
    const unsigned char* const e = bufferEnd();
    char* o = out + n;
    char* const oe = out + limit;
    while (p < e && o < oe) {
      const unsigned c = *p;
      if (c < 0x80) {
        if (copyAscii8(p, e, o, oe)) continue;
        if (c == kByteCR || c == kByteLF) break;
        *o++ = static_cast<char>(c);
        ++p;
        continue;
      }
      const int len = utf8Length(static_cast<int>(c));
      if (len == 1 || e - p < len || oe - o < len) break;
      int k = 1;
      while (k < len && (p[k] & 0xC0) == 0x80) ++k;
      if (k < len) break;
      std::memcpy(o, p, static_cast<std::size_t>(len));
      o += len;
      p += len;
      wide = true;
    }
    advanceTo(p);
    return static_cast<int>(o - out);
  }

  unsigned codePage_;
  std::vector<wchar_t> wide_;
};

int TextFile::detect(const unsigned char* sample, std::size_t n, int* lineEnd) {
  if (!sample) n = 0;
  std::size_t count[256] = {};
  for (std::size_t i = 0; i < n; ++i) ++count[sample[i]];
  bool high = false;
  for (int c = 0x80; c < 256 && !high; ++c) high = count[c] != 0;

  const std::size_t cr = count['\r'];
  const std::size_t lf = count['\n'];
  const int kind = cr > 2 * lf ? kCR : (lf > 2 * cr ? kLF : kCRLF);
  if (lineEnd) *lineEnd = kind;

  const UINT acp = GetACP();
  const int defaultCode = (acp == 932 || acp == 936 || acp == 949 || acp == 950) ? static_cast<int>(acp) : kUnknownACP;
  if (n <= 4) return defaultCode;

  const unsigned char* s = sample;
  if (s[0] == 0xEF && s[1] == 0xBB && s[2] == 0xBF) return kUTF8BOM;
  if (s[0] == 0x00 && s[1] == 0x00 && s[2] == 0xFE && s[3] == 0xFF) return kUTF32BE;
  if (s[0] == 0xFF && s[1] == 0xFE && s[2] == 0x00 && s[3] == 0x00) return kUTF32LE;
  if (s[0] == 0xFE && s[1] == 0xFF) return kUTF16BE;
  if (s[0] == 0xFF && s[1] == 0xFE) return kUTF16LE;
  if (s[0] == 0x1B && s[1] == 0x24 && s[2] == 0x29) {
    if (s[3] == 0x43 && IsValidCodePage(949)) return kISO2022KR;
    if (s[3] == 0x41 && IsValidCodePage(936)) return kISO2022CN;
  }

  const bool have932 = IsValidCodePage(932) != 0;
  if (have932 && !high && count[kESC] != 0) return kISO2022JP;

  std::size_t base32 = 0;
  for (int c = '0'; c <= '9'; ++c) base32 += count[c];
  for (int c = 'A'; c <= 'V'; ++c) base32 += count[c];
  if (base32 == n) return kBase32Like;

  int code = defaultCode;
  if (!high) return code;
  if (!(n > 4096 || kind == kLF || count[0xFD] || count[0xFE] || count[0xFF] || count[0x80])) return code;

  if (have932) {
    bool euc = true;
    for (int c = 0x7F; c <= 0x8D && euc; ++c) euc = count[c] == 0;
    for (int c = 0x90; c <= 0xA0 && euc; ++c) euc = count[c] == 0;
    if (euc) code = kEUCJP;
  }

  std::size_t i = 0;
  while (i < n) {
    const unsigned char c = s[i++];
    if (c < 0x80) continue;
    if (c < 0xC0 || c >= 0xFE) return code;
    const int len = utf8Length(c);
    for (int k = 1; k < len && i < n; ++k, ++i) {
      if (s[i] < 0x80 || s[i] > 0xBF) return code;
    }
  }
  return kUTF8;
}

std::unique_ptr<TextFile::READ> TextFile::createReader(std::FILE* binary, const char* path, int code,
                                                       int lineEnd) {
  READ* reader = nullptr;
  switch (code) {
    case 932:
      if (lineEnd == kLF || lineEnd == kCRLF) {
        std::fclose(binary);
        std::FILE* text = std::fopen(path, "r");
        if (!text) return nullptr;
        reader = new (std::nothrow) rDirect(text);
        if (!reader) std::fclose(text);
        return std::unique_ptr<READ>(reader);
      }
      reader = new (std::nothrow) rSJIS(binary);
      break;
    case kUTF16BE:
    case kUTF16LE:
      reader = new (std::nothrow) rUTF16(binary, code == kUTF16BE);
      break;
    case kEUCJP:
      reader = new (std::nothrow) rEUC(binary);
      break;
    case kISO2022JP:
      reader = new (std::nothrow) rIsoJP(binary);
      break;
    case kUTF8BOM:
    case kUTF8:
      reader = new (std::nothrow) rUTF7_8(binary, CP_UTF8);
      break;
    default:
      reader = new (std::nothrow) rSJIS(binary);
      break;
  }
  if (!reader) std::fclose(binary);
  return std::unique_ptr<READ>(reader);
}

bool TextFile::open(const char* path) {
  if (!path || !*path || reader_) return false;
  std::FILE* file = std::fopen(path, "rb");
  if (!file) return false;

  std::unique_ptr<unsigned char[]> sample(new (std::nothrow) unsigned char[kSampleSize]);
  if (!sample) {
    std::fclose(file);
    return false;
  }
  const std::size_t n = std::fread(sample.get(), 1, kSampleSize, file);
  int lineEnd = kCRLF;
  const int code = detect(sample.get(), n, &lineEnd);
  sample.reset();
  if (std::fseek(file, 0, SEEK_SET) != 0) {
    std::fclose(file);
    return false;
  }

  std::unique_ptr<READ> reader = createReader(file, path, code, lineEnd);
  if (!reader) return false;
  code_ = code;
  lineEnd_ = lineEnd;
  reader_ = std::move(reader);
  return true;
}

}  // namespace rulib
