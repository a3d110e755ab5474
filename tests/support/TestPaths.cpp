#include "support/TestPaths.h"

#include <windows.h>

#include <cstdio>
#include <stdexcept>

namespace orivel::test {

std::string windowsPath(const std::string& unixPath) {
  std::string result = "Z:";
  for (char c : unixPath) result += (c == '/') ? '\\' : c;
  return result;
}

std::string sourcePath(const std::string& relative) {
  std::string result = ORIVEL_SOURCE_DIR_WIN;
  result += '\\';
  for (char c : relative) result += (c == '/') ? '\\' : c;
  return result;
}

namespace {
void removeTree(const std::string& dir) {
  WIN32_FIND_DATAA data;
  HANDLE find = FindFirstFileA((dir + "\\*").c_str(), &data);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      const std::string name = data.cFileName;
      if (name == "." || name == "..") continue;
      const std::string full = dir + "\\" + name;
      if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        removeTree(full);
      } else {
        DeleteFileA(full.c_str());
      }
    } while (FindNextFileA(find, &data));
    FindClose(find);
  }
  RemoveDirectoryA(dir.c_str());
}
}  // namespace

TempDir::TempDir() {
  char base[MAX_PATH];
  if (!GetTempPathA(MAX_PATH, base)) throw std::runtime_error("GetTempPathA failed");
  static unsigned counter = 0;
  for (int attempt = 0; attempt < 1000; ++attempt) {
    char name[MAX_PATH];
    std::snprintf(name, sizeof name, "%sorivel-%lu-%u", base, GetCurrentProcessId(), ++counter);
    if (CreateDirectoryA(name, nullptr)) {
      path_ = name;
      return;
    }
  }
  throw std::runtime_error("cannot create a temporary directory");
}

TempDir::~TempDir() { removeTree(path_); }

std::string TempDir::file(const std::string& name) const { return path_ + "\\" + name; }

std::string TempDir::write(const std::string& name, const std::string& bytes) const {
  const std::string full = file(name);
  FILE* f = std::fopen(full.c_str(), "wb");
  if (!f) throw std::runtime_error("cannot write " + full);
  const size_t written = std::fwrite(bytes.data(), 1, bytes.size(), f);
  std::fclose(f);
  if (written != bytes.size()) throw std::runtime_error("short write " + full);
  return full;
}

}  // namespace orivel::test
