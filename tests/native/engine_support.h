#pragma once

// A device for the engine's tests: channels with buffers the test owns, filled with a
// marker byte so that what the engine did not write shows, and WAV files made of
// exactly the samples a test names.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "asio/engine.h"
#include "riff_builder.h"

namespace tonvane::testing {

constexpr std::uint8_t kUntouched = 0xEE;

class TestDevice {
 public:
  TestDevice(std::size_t channels, std::int32_t bufferSize, std::int32_t sampleType) {
    device.BufferSize = bufferSize;
    device.SampleType = sampleType;
    device.Channels = std::vector<TChannelState>(channels);
    device.BufferInfos.resize(channels);
    // Four bytes a sample is the widest type; room for the widest either way.
    memory_.assign(channels * 2,
                   std::vector<std::uint8_t>(static_cast<std::size_t>(bufferSize) * 4, kUntouched));
    for (std::size_t c = 0; c < channels; ++c) {
      device.BufferInfos[c].isInput = 0;
      device.BufferInfos[c].channelNum = static_cast<std::int32_t>(c);
      device.BufferInfos[c].buffers[0] = memory_[2 * c].data();
      device.BufferInfos[c].buffers[1] = memory_[2 * c + 1].data();
    }
  }
  std::vector<std::uint8_t>& Buffer(std::size_t channel, int half) { return memory_[2 * channel + half]; }
  void Mark() {
    for (auto& m : memory_) m.assign(m.size(), kUntouched);
  }
  // The 16-bit samples of a buffer half of an Int16LSB device.
  std::vector<std::int16_t> Samples(std::size_t channel, int half) {
    const auto& b = Buffer(channel, half);
    std::vector<std::int16_t> out(static_cast<std::size_t>(device.BufferSize));
    for (std::size_t i = 0; i < out.size(); ++i)
      out[i] = static_cast<std::int16_t>(b[2 * i] | b[2 * i + 1] << 8);
    return out;
  }
  std::span<TChannelState> Channels() { return device.Channels; }

  TDeviceState device;

 private:
  std::vector<std::vector<std::uint8_t>> memory_;
};

// A folder of its own for each test.
class ScratchDir {
 public:
  explicit ScratchDir(const std::string& tag) {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    dir_ = std::filesystem::temp_directory_path() /
           ("tonvane-" + tag + "-" + info->test_suite_name() + "-" + info->name());
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_);
  }
  ~ScratchDir() {
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
  }
  // A mono 16-bit 48 kHz WAV file that hands out exactly these samples, and then
  // the extra bytes if any (the stream keeps the data chunk's last four to itself).
  std::string Wave(const std::string& name, const std::vector<std::int16_t>& samples,
                   const std::vector<std::uint8_t>& extra = {}) const {
    std::vector<std::uint8_t> data = Samples16(samples);
    data.insert(data.end(), extra.begin(), extra.end());
    data.insert(data.end(), 4, 0x5A);
    const std::string path = (dir_ / name).string();
    WriteBytes(path, RiffBuilder().Format(1, 1, 48000, 16).Chunk("data", data).Wave());
    return path;
  }
  std::string Path(const std::string& name) const { return (dir_ / name).string(); }

 private:
  std::filesystem::path dir_;
};

// What the play command does around its format checks, without them.
inline bool Play(std::span<TChannelState> channels, std::int32_t index, const std::string& file) {
  WAVEFORMATEX format{};
  if (!OpenChannelStream(channels, index, file, format)) return false;
  StartChannel(channels, index);
  return true;
}

}  // namespace tonvane::testing
