#pragma once

// A folder of its own for the files a test writes, emptied before and removed
// after, named by the test and its process so that programs running side by side
// never share one.
#include <gtest/gtest.h>

#ifdef _WIN32
#include <process.h>
#else
#include <unistd.h>
#endif

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include "file_bytes.h"

namespace tonvane::testing {

// Made while a test runs, and named by it. The tag sets apart the folders of
// programs whose tests share names; the process id, the same test run twice at
// once (the native and ThreadSanitizer trees run the stress test side by side,
// and other checkouts' runs share the temporary folder).
class ScratchDir {
 public:
  using Bytes = std::vector<std::uint8_t>;

  explicit ScratchDir(const std::string& tag = {}) {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = "tonvane-" + (tag.empty() ? tag : tag + "-") + info->test_suite_name() + "-" +
                       info->name() + "-" + std::to_string(ProcessId());
    std::replace(name.begin(), name.end(), '/', '-');  // parameterised: "Values/Suite", "Name/0"
    dir_ = std::filesystem::temp_directory_path() / name;
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_);
  }
  ~ScratchDir() {
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
  }
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  const std::filesystem::path& Dir() const { return dir_; }
  // With a separator at its end, as Windows programs name a folder, so that a file
  // name can be added to it as it is.
  std::string Folder() const {
    return dir_.string() + static_cast<char>(std::filesystem::path::preferred_separator);
  }
  std::string Path(const std::string& name) const { return (dir_ / name).string(); }
  std::string Write(const std::string& name, const Bytes& bytes) const {
    WriteBytes(Path(name), bytes);
    return Path(name);
  }

 private:
  static long ProcessId() {
#ifdef _WIN32
    return _getpid();
#else
    return getpid();
#endif
  }

  std::filesystem::path dir_;
};

// A test whose folder lives from its SetUp to its TearDown, so that a fixture can
// close what it holds open before the folder goes.
class ScratchDirTest : public ::testing::Test {
 protected:
  using Bytes = ScratchDir::Bytes;

  void SetUp() override {
    scratch_.emplace();
    dir_ = scratch_->Dir();
  }
  void TearDown() override { scratch_.reset(); }
  std::string Path(const std::string& name) const { return scratch_->Path(name); }
  std::string Write(const std::string& name, const Bytes& bytes) const {
    return scratch_->Write(name, bytes);
  }

  std::filesystem::path dir_;

 private:
  std::optional<ScratchDir> scratch_;
};

}  // namespace tonvane::testing
