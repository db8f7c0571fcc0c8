#pragma once

// What the engine's benchmark and its timing tool share: a sound file to play and a
// device whose every channel plays it at -6 dB.
#include <cstdint>
#include <string>
#include <vector>

#include "playback/engine.h"
#include "base/byte_order.h"
#include "base/wav_writer.h"
#include "file_bytes.h"
#include "test_device.h"

namespace tonvane::bench {

constexpr std::int32_t kBufferSize = 256;
constexpr double kRate = 48000;

// Ten seconds of a mono 16-bit 48 kHz WAV file with varied samples, so that the
// scaling never meets a run of zeros.
inline void WriteBenchWave(const std::string& path) {
  const std::uint32_t samples = 10 * 48000;
  // The stream keeps the last four bytes.
  std::vector<std::uint8_t> data(samples * 2 + 4);
  std::uint32_t x = 12345;
  for (std::size_t i = 0; i < data.size(); i += 2) {
    x = x * 1103515245 + 12345;
    StoreLe16(&data[i], static_cast<std::uint16_t>((x >> 16) | 1));
  }
  testing::WriteBytes(path, WavFile({.Channels = 1, .Rate = 48000, .Bits = 16}, data));
}

// A device whose channels play one file at -6 dB: all of them from the start, or
// (started = false) each when Play is called for it.
class BenchDevice : public testing::TestDevice {
 public:
  BenchDevice(std::int32_t channels, std::int32_t type, const std::string& file,
              std::int32_t bufferSize = kBufferSize, bool started = true)
      : TestDevice(static_cast<std::size_t>(channels), bufferSize, type), file_(file) {
    for (std::size_t c = 0; c < device.Channels.size(); ++c) {
      device.Channels[c].SetLevel(-6);
      if (started) ok_ = ok_ && Play(c);
    }
  }
  // Opens the file on channel c and lets it play.
  bool Play(std::size_t c) {
    WAVEFORMATEX format{};
    const auto index = static_cast<std::int32_t>(c);
    if (!OpenChannelStream(device.Channels, index, file_, format)) return false;
    return StartChannel(device.Channels, index, 48000);
  }
  bool ok() const { return ok_; }
  // Starts again every channel whose file has run out.
  bool Replay() {
    for (std::size_t c = 0; c < device.Channels.size(); ++c)
      if (device.Channels[c].Playing() == 0 && !Play(c)) return false;
    return true;
  }
  bool AnyStopped() const {
    for (const auto& channel : device.Channels)
      if (channel.Playing() == 0) return true;
    return false;
  }

 private:
  std::string file_;
  bool ok_ = true;
};

}  // namespace tonvane::bench
