#pragma once

// A test of the audio stream over files it writes into a folder of its own.

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "audio/audio_stream.h"
#include "riff_builder.h"

namespace tonvane::testing {

class StreamFileTest : public ::testing::Test {
 protected:
  using Bytes = std::vector<std::uint8_t>;

  explicit StreamFileTest(std::string folderPrefix) : folderPrefix_(std::move(folderPrefix)) {}

  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() /
           (folderPrefix_ + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(dir_);
  }
  void TearDown() override {
    stream_.Close();
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
  }
  std::string Write(const std::string& name, const Bytes& bytes) {
    const std::string path = (dir_ / name).string();
    WriteBytes(path, bytes);
    return path;
  }
  // Everything the stream hands out, count bytes per read, as the engine pulls it
  // (asking again after a read that had nothing yet).
  Bytes Drain(int count = 2) {
    Bytes out;
    std::uint8_t buffer[16];
    for (int n; (n = stream_.Read(buffer, count)) != 0;) {
      if (n == TAudioStream::kNotYet) continue;
      EXPECT_GT(n, 0);
      EXPECT_LE(n, count);
      if (n < 0) break;
      out.insert(out.end(), buffer, buffer + n);
    }
    return out;
  }

  std::filesystem::path dir_;
  TAudioStream stream_;
  WAVEFORMATEX format_{};

 private:
  std::string folderPrefix_;
};

}  // namespace tonvane::testing
