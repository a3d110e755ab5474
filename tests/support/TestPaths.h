// Paths for tests running under Wine.
#pragma once

#include <string>

namespace orivel::test {

// A Linux path as a Windows program under Wine names it ("Z:\...").
std::string windowsPath(const std::string& unixPath);
// A file of the source tree, as a Windows path ("tests/rulib/textfile/data/x.txt").
std::string sourcePath(const std::string& relative);

// A fresh directory under the Windows temporary folder, removed with its files at destruction.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }
  // path() + "\\" + name
  std::string file(const std::string& name) const;
  // Writes bytes to a file in this directory and returns its path.
  std::string write(const std::string& name, const std::string& bytes) const;

 private:
  std::string path_;
};

}  // namespace orivel::test
