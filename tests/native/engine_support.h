#pragma once

// What the engine's tests share besides the device (test_device.h): WAV files made of
// exactly the samples a test names, and the play command without its format checks.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "asio/engine.h"
#include "base/wav_writer.h"
#include "file_bytes.h"
#include "riff_builder.h"
#include "scratch_dir.h"
#include "test_device.h"

namespace tonvane::testing {

// A folder of its own for each test, that writes the engine's sound files.
class WaveDir : public ScratchDir {
 public:
  using ScratchDir::ScratchDir;
  // A mono 16-bit 48 kHz WAV file that hands out exactly these samples, and then
  // the extra bytes if any (the stream keeps the data chunk's last four to itself).
  std::string Wave(const std::string& name, const std::vector<std::int16_t>& samples,
                   const std::vector<std::uint8_t>& extra = {}) const {
    std::vector<std::uint8_t> data = Samples16(samples);
    data.insert(data.end(), extra.begin(), extra.end());
    data.insert(data.end(), 4, 0x5A);
    return Write(name, WavFile({.Channels = 1, .Rate = 48000, .Bits = 16}, data));
  }
};

// What the play command does around its format checks, without them.
inline bool Play(std::span<TChannelState> channels, std::int32_t index, const std::string& file) {
  WAVEFORMATEX format{};
  if (!OpenChannelStream(channels, index, file, format)) return false;
  StartChannel(channels, index, 48000);
  return true;
}

// The same over a source of the test's own, taken as a WAV file.
inline bool PlayWave(std::span<TChannelState> channels, std::int32_t index,
                     std::unique_ptr<TByteSource> source) {
  StopChannel(channels, index);
  {
    TChannelState& channel = channels[static_cast<std::size_t>(index)];
    std::lock_guard hold(channel.StreamGuard);
    WAVEFORMATEX format{};
    if (!channel.Stream().Open(std::move(source), TAudioStream::TKind::Wave, format)) return false;
  }
  StartChannel(channels, index, 48000);
  return true;
}

}  // namespace tonvane::testing
