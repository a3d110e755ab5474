// Reads a text file in any of the Japanese encodings and yields its lines in the system's ANSI
// code page (932 here), every line end turned into one LF.
#pragma once

#include <cstddef>
#include <cstdio>
#include <memory>

namespace rulib {

class TextFile {
 public:
  // Line-end kinds found by the detection.
  enum LineEnd : int { kCR = 0, kLF = 1, kCRLF = 2 };

  // Encoding codes of the detection (besides the ANSI code pages 932, 936, 949, 950).
  enum Code : int {
    kUnknownACP = -1,     // ANSI code page is none of 932/936/949/950
    kBase32Like = -2,     // only 0-9 and A-V
    kUTF16BE = -3,
    kUTF16LE = -4,
    kUTF32BE = -7,
    kUTF32LE = -8,
    kEUCJP = -932,
    kISO2022JP = -933,
    kISO2022CN = -936,
    kISO2022KR = -950,
    kUTF8BOM = -65001,
    kUTF8 = 65001,
  };

  // Size of the sample the detection looks at.
  static constexpr std::size_t kSampleSize = 16384;
  // Smallest buffer the read operations work with.
  static constexpr int kMinBufferSize = 16;

  // The abstract reader. Both operations take a buffer and its size in bytes, store a
  // zero-terminated text and return the number of bytes stored (0 at the end of the file).
  // A buffer of fewer than kMinBufferSize bytes cannot hold a piece: nothing is read, the
  // empty text is stored and 0 is returned.
  class READ {
   public:
    virtual ~READ() = default;
    virtual int readLine(char* buffer, int size) = 0;
    virtual int readBlock(char* buffer, int size) = 0;
  };

  TextFile() = default;
  ~TextFile() = default;
  TextFile(const TextFile&) = delete;
  TextFile& operator=(const TextFile&) = delete;

  // Opens the file, detects encoding and line ends from its first 16384 bytes and chooses the
  // reader. False (nothing changed) for a null or empty path, when already open, or when the
  // file cannot be opened.
  bool open(const char* path);
  void close() noexcept { reader_.reset(); }
  bool isOpen() const noexcept { return reader_ != nullptr; }

  int code() const noexcept { return code_; }
  int lineEnd() const noexcept { return lineEnd_; }
  READ* reader() const noexcept { return reader_.get(); }

  // The reader's operations; 0 while closed.
  int readLine(char* buffer, int size) { return reader_ ? reader_->readLine(buffer, size) : 0; }
  int readBlock(char* buffer, int size) { return reader_ ? reader_->readBlock(buffer, size) : 0; }

  // The detection over a sample of n bytes: returns the encoding code, stores the line-end kind.
  static int detect(const unsigned char* sample, std::size_t n, int* lineEnd);

 private:
  template <class T>
  class FileRead;
  class rSJIS;
  class rDirect;
  class rEUC;
  class rIsoJP;
  class rUTF16;
  class rUTF7_8;

  // The reader for a detected code; takes over the binary stream (closed on failure).
  static std::unique_ptr<READ> createReader(std::FILE* binary, const char* path, int code,
                                            int lineEnd);

  int code_ = 0;
  int lineEnd_ = kCRLF;
  std::unique_ptr<READ> reader_;
};

}  // namespace rulib
