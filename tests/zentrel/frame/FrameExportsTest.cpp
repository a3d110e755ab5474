// zentrel.dll through its real exports, loaded as the editor loads it.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "support/TraceCapture.h"
#include "support/Zentrel.h"

using namespace orivel::test;

namespace {

using TextFn = const char*();
using IntFn = int();

class ZentrelExports : public testing::Test {
 protected:
  Dll dll{zentrelPath()};
};

TEST_F(ZentrelExports, VersionTexts) {
  EXPECT_STREQ("1.01.00", dll.fn<TextFn>("GETVERSIONSTR")());
  EXPECT_EQ(10100, dll.fn<IntFn>("GETVERSIONINT")());
  // Constant texts: the same storage on every call.
  EXPECT_EQ(dll.fn<TextFn>("GETVERSIONSTR")(), dll.fn<TextFn>("GETVERSIONSTR")());
}

TEST_F(ZentrelExports, CompileDateForm) {
  const std::string date = dll.fn<TextFn>("GETCOMPILEDATE")();
  ASSERT_EQ(11u, date.size()) << date;
  const std::string months = "JanFebMarAprMayJunJulAugSepOctNovDec";
  const size_t month = months.find(date.substr(0, 3));
  EXPECT_TRUE(month != std::string::npos && month % 3 == 0) << date;
  EXPECT_EQ(' ', date[3]);
  EXPECT_TRUE(date[4] == ' ' || (date[4] >= '1' && date[4] <= '3')) << date;
  EXPECT_TRUE(isdigit(static_cast<unsigned char>(date[5]))) << date;
  EXPECT_EQ(' ', date[6]);
  for (int i = 7; i < 11; ++i) EXPECT_TRUE(isdigit(static_cast<unsigned char>(date[i]))) << date;
}

TEST_F(ZentrelExports, LastErrorIsEmptyAtLoadAndNeverNull) {
  const char* error = dll.fn<TextFn>("GETLASTERROR")();
  ASSERT_NE(nullptr, error);
  EXPECT_STREQ("", error);
  dll.fn<IntFn>("GETVERSIONINT")();
  EXPECT_STREQ("", dll.fn<TextFn>("GETLASTERROR")());
}

TEST_F(ZentrelExports, TraceLines) {
  const std::pair<const char*, bool> calls[] = {
      {"GETVERSIONSTR", true}, {"GETVERSIONINT", false}, {"GETCOMPILEDATE", true}, {"GETLASTERROR", true}};
  for (const auto& [name, text] : calls) {
    TraceCapture capture;
    if (text) {
      dll.fn<TextFn>(name)();
    } else {
      dll.fn<IntFn>(name)();
    }
    const std::vector<std::string> expected = {std::string("zentrel:") + name + ":", "\n"};
    EXPECT_EQ(expected, capture.pieces()) << name;
  }
}

TEST_F(ZentrelExports, ReloadStartsClean) {
  dll.unload();
  Dll again(zentrelPath());
  EXPECT_EQ(10100, again.fn<IntFn>("GETVERSIONINT")());
  EXPECT_STREQ("", again.fn<TextFn>("GETLASTERROR")());
}

// The names in the export directory of a loaded module.
std::set<std::string> exportedNames(HMODULE module) {
  const auto* base = reinterpret_cast<const unsigned char*>(module);
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  const IMAGE_DATA_DIRECTORY& dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
  std::set<std::string> names;
  if (dir.VirtualAddress == 0) return names;
  const auto* exports = reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(base + dir.VirtualAddress);
  const auto* nameRvas = reinterpret_cast<const DWORD*>(base + exports->AddressOfNames);
  for (DWORD i = 0; i < exports->NumberOfNames; ++i) names.insert(reinterpret_cast<const char*>(base + nameRvas[i]));
  return names;
}

TEST_F(ZentrelExports, ExportTableFollowsTheIndex) {
  std::ifstream index(EXPORT_INDEX);
  ASSERT_TRUE(index) << EXPORT_INDEX;
  std::map<std::string, std::vector<std::string>> families;
  std::map<std::string, std::string> familyOf;
  for (std::string line; std::getline(index, line);) {
    if (line.empty()) continue;
    const size_t tab = line.find('\t');
    ASSERT_NE(std::string::npos, tab) << line;
    const std::string family = line.substr(0, tab), name = line.substr(tab + 1);
    EXPECT_TRUE(familyOf.emplace(name, family).second) << "listed twice: " << name;
    families[family].push_back(name);
  }
  ASSERT_EQ(221u, familyOf.size());

  const std::set<std::string> exported = exportedNames(dll.module());
  ASSERT_FALSE(exported.empty());
  for (const std::string& name : exported) {
    EXPECT_TRUE(familyOf.count(name)) << "exported but not in the index: " << name;
    EXPECT_NE(nullptr, GetProcAddress(dll.module(), name.c_str())) << name;
  }
  for (const auto& [family, names] : families) {
    size_t present = 0;
    for (const std::string& name : names) present += exported.count(name);
    EXPECT_TRUE(present == 0 || present == names.size())
        << family << " exports " << present << " of its " << names.size() << " names";
  }
  for (const std::string& name : families["Version and error"]) EXPECT_TRUE(exported.count(name)) << name;
}

std::string versionString(const std::vector<char>& info, const char* key) {
  void* value = nullptr;
  UINT length = 0;
  const std::string path = std::string("\\StringFileInfo\\041104b0\\") + key;
  if (!VerQueryValueA(info.data(), path.c_str(), &value, &length) || !value) return "<missing>";
  return static_cast<const char*>(value);
}

TEST(ZentrelVersionResource, FixedAndStringValues) {
  const std::string path = zentrelPath();
  DWORD handle = 0;
  const DWORD size = GetFileVersionInfoSizeA(path.c_str(), &handle);
  ASSERT_GT(size, 0u);
  std::vector<char> info(size);
  ASSERT_TRUE(GetFileVersionInfoA(path.c_str(), 0, size, info.data()));

  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValueA(info.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
  EXPECT_EQ(MAKELONG(8, 0), fixed->dwFileVersionMS);
  EXPECT_EQ(MAKELONG(1, 9), fixed->dwFileVersionLS);
  EXPECT_EQ(fixed->dwFileVersionMS, fixed->dwProductVersionMS);
  EXPECT_EQ(fixed->dwFileVersionLS, fixed->dwProductVersionLS);

  // "Orivel補助DLL" in code page 932.
  const std::string description = "Orivel\x95\xe2\x8f\x95" "DLL";
  EXPECT_EQ(description, versionString(info, "FileDescription"));
  EXPECT_EQ(description, versionString(info, "ProductName"));
  EXPECT_EQ("0, 8, 9, 1", versionString(info, "FileVersion"));
  EXPECT_EQ("0, 8, 9, 1", versionString(info, "ProductVersion"));
  EXPECT_EQ("zentrel", versionString(info, "InternalName"));
  EXPECT_EQ("zentrel.dll", versionString(info, "OriginalFilename"));
}

}  // namespace
