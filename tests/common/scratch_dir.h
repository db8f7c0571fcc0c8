#pragma once

// A test with a folder of its own for the files it writes, emptied before and
// removed after, named by the test so that programs running side by side never
// share one.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "file_bytes.h"

namespace tonvane::testing {

class ScratchDirTest : public ::testing::Test {
 protected:
  using Bytes = std::vector<std::uint8_t>;

  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    dir_ = std::filesystem::temp_directory_path() /
           ("tonvane-" + std::string(info->test_suite_name()) + "-" + info->name());
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_);
  }
  void TearDown() override {
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
  }
  std::string Path(const std::string& name) const { return (dir_ / name).string(); }
  std::string Write(const std::string& name, const Bytes& bytes) const {
    WriteBytes(Path(name), bytes);
    return Path(name);
  }

  std::filesystem::path dir_;
};

}  // namespace tonvane::testing
