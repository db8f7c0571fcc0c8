#pragma once

// What the engine's benchmark and its timing tool share: a sound file to play and a
// device whose every channel plays it at -6 dB.
#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

#include "asio/engine.h"

namespace tonvane::bench {

constexpr std::int32_t kBufferSize = 256;
constexpr double kRate = 48000;

// Ten seconds of a mono 16-bit 48 kHz WAV file with varied samples, so that the
// scaling never meets a run of zeros.
inline void WriteBenchWave(const std::string& path) {
  const std::uint32_t samples = 10 * 48000;
  const std::uint32_t data = samples * 2 + 4;  // the stream keeps the last four bytes
  std::vector<std::uint8_t> bytes;
  auto u32 = [&bytes](std::uint32_t v) {
    for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
  };
  auto text = [&bytes](const char* s) { bytes.insert(bytes.end(), s, s + 4); };
  text("RIFF");
  u32(4 + 8 + 16 + 8 + data);
  text("WAVE");
  text("fmt ");
  u32(16);
  for (std::uint8_t b : {1, 0, 1, 0}) bytes.push_back(b);  // PCM, mono
  u32(48000);
  u32(96000);
  for (std::uint8_t b : {2, 0, 16, 0}) bytes.push_back(b);
  text("data");
  u32(data);
  std::uint32_t x = 12345;
  for (std::uint32_t i = 0; i < data / 2; ++i) {
    x = x * 1103515245 + 12345;
    const auto s = static_cast<std::uint16_t>((x >> 16) | 1);
    bytes.push_back(static_cast<std::uint8_t>(s));
    bytes.push_back(static_cast<std::uint8_t>(s >> 8));
  }
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// A device whose channels play one file at -6 dB: all of them from the start, or
// (started = false) each when Play is called for it.
class BenchDevice {
 public:
  BenchDevice(std::int32_t channels, std::int32_t type, const std::string& file,
              std::int32_t bufferSize = kBufferSize, bool started = true)
      : file_(file) {
    device.BufferSize = bufferSize;
    device.SampleType = type;
    device.Channels = std::vector<TChannelState>(static_cast<std::size_t>(channels));
    device.BufferInfos.resize(device.Channels.size());
    memory_.assign(device.Channels.size() * 2,
                   std::vector<std::uint8_t>(static_cast<std::size_t>(bufferSize) * 4));
    for (std::size_t c = 0; c < device.Channels.size(); ++c) {
      device.BufferInfos[c].buffers[0] = memory_[2 * c].data();
      device.BufferInfos[c].buffers[1] = memory_[2 * c + 1].data();
      device.Channels[c].Level.store(-6);
      if (started) ok_ = ok_ && Play(c);
    }
  }
  // Opens the file on channel c and lets it play.
  bool Play(std::size_t c) {
    WAVEFORMATEX format{};
    const auto index = static_cast<std::int32_t>(c);
    if (!OpenChannelStream(device.Channels, index, file_, format)) return false;
    StartChannel(device.Channels, index);
    return true;
  }
  bool ok() const { return ok_; }
  // Starts again every channel whose file has run out.
  bool Replay() {
    for (std::size_t c = 0; c < device.Channels.size(); ++c)
      if (device.Channels[c].Playing.load() == 0 && !Play(c)) return false;
    return true;
  }
  bool AnyStopped() const {
    for (const auto& channel : device.Channels)
      if (channel.Playing.load(std::memory_order_relaxed) == 0) return true;
    return false;
  }

  TDeviceState device;

 private:
  std::string file_;
  std::vector<std::vector<std::uint8_t>> memory_;
  bool ok_ = true;
};

}  // namespace tonvane::bench
