// Every binary a release ships carries the project's one version (CMakeLists.txt) in
// its version resource, as Windows reads it back: the numbers in the fixed part and
// the texts that Explorer's properties show.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "tonvane_version.h"

namespace {

struct VersionInfo {
  std::vector<char> data;
  bool Read(const std::string& path) {
    DWORD handle = 0;
    const DWORD size = GetFileVersionInfoSizeA(path.c_str(), &handle);
    if (size == 0) return false;
    data.resize(size);
    return GetFileVersionInfoA(path.c_str(), 0, size, data.data()) != 0;
  }
  std::string Text(const char* name) {
    char* value = nullptr;
    UINT length = 0;
    const std::string key = std::string("\\StringFileInfo\\040904E4\\") + name;
    if (!VerQueryValueA(data.data(), key.c_str(), reinterpret_cast<void**>(&value), &length) || !value)
      return "";
    return value;
  }
  const VS_FIXEDFILEINFO* Fixed() {
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    if (!VerQueryValueA(data.data(), "\\", reinterpret_cast<void**>(&fixed), &length)) return nullptr;
    return fixed;
  }
};

class VersionResource : public testing::TestWithParam<const char*> {};

TEST_P(VersionResource, CarriesTheProjectVersion) {
  const std::string name = GetParam();
  VersionInfo info;
  ASSERT_TRUE(info.Read(std::string(TONVANE_BIN_DIR) + "\\" + name)) << name << " has no version resource";
  EXPECT_EQ(info.Text("FileVersion"), TONVANE_VERSION);
  EXPECT_EQ(info.Text("ProductVersion"), TONVANE_VERSION);
  EXPECT_EQ(info.Text("ProductName"), "Tonvane");
  EXPECT_EQ(info.Text("OriginalFilename"), name);
  EXPECT_NE(info.Text("FileDescription"), "");
  const VS_FIXEDFILEINFO* fixed = info.Fixed();
  ASSERT_NE(fixed, nullptr);
  unsigned major = 0, minor = 0, patch = 0;
  ASSERT_EQ(std::sscanf(TONVANE_VERSION, "%u.%u.%u", &major, &minor, &patch), 3);
  EXPECT_EQ(fixed->dwFileVersionMS, (major << 16) | minor);
  EXPECT_EQ(fixed->dwFileVersionLS, patch << 16);
  EXPECT_EQ(fixed->dwProductVersionMS, fixed->dwFileVersionMS);
  EXPECT_EQ(fixed->dwProductVersionLS, fixed->dwFileVersionLS);
  const bool exe = name.size() > 4 && name.compare(name.size() - 4, 4, ".exe") == 0;
  EXPECT_EQ(fixed->dwFileType, exe ? static_cast<DWORD>(VFT_APP) : static_cast<DWORD>(VFT_DLL));
}

INSTANTIATE_TEST_SUITE_P(Shipped, VersionResource, testing::Values(TONVANE_SHIPPED_FILES),
                         [](const testing::TestParamInfo<const char*>& info) {
                           std::string name = info.param;
                           for (char& c : name)
                             if (!isalnum(static_cast<unsigned char>(c))) c = '_';
                           return name;
                         });

}  // namespace
