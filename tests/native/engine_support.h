#pragma once

// What the engine's tests share besides the device (test_device.h): WAV files made of
// exactly the samples a test names, and the play command without its format checks.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "playback/engine.h"
#include "base/wav_writer.h"
#include "file_bytes.h"
#include "riff_builder.h"
#include "scratch_dir.h"
#include "test_device.h"

namespace tonvane {

// What the tests take of a channel besides its observers: the guard between the host
// and the driver's thread, to hold it as the host does in a stop, or to see that the
// engine let go of it.
struct TChannelStateTestAccess {
  static TChannelGuard& Guard(TChannelState& channel) { return channel.guard_; }
};

}  // namespace tonvane

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

// Where a troubled source's reads wait, shared with the test: it outlives the source,
// which a feeder thread may free once the host has abandoned it.
class ReadGate {
 public:
  void Wait() {
    std::unique_lock lock(mutex_);
    ++waiting;
    stalled_ = true;
    changed_.notify_all();
    changed_.wait(lock, [this] { return released_; });
  }
  bool Stalled() {
    std::lock_guard lock(mutex_);
    return stalled_;
  }
  void Release() {
    std::lock_guard lock(mutex_);
    released_ = true;
    changed_.notify_all();
  }
  std::atomic<int> sources{0};  // alive
  std::atomic<int> waiting{0};  // reads that came to the gate, released or not
  // Failures only once armed, so that a file can open first.
  std::atomic<bool> armed{true};

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  bool stalled_ = false, released_ = false;
};

// Bytes in memory read as a troubled disk or share gives them: from stallAt on, reads
// wait at the gate until the test releases it; from failAt on, the next `failures`
// reads fail (-1, and forever with failures < 0); every read may take `pause`.
struct Trouble {
  std::int64_t stallAt = -1;
  std::int64_t failAt = -1;
  int failures = 0;
  std::chrono::microseconds pause{0};
};
class TroubledSource final : public IByteSource {
 public:
  TroubledSource(std::shared_ptr<const std::vector<std::uint8_t>> bytes, Trouble trouble,
                 std::shared_ptr<ReadGate> gate = std::make_shared<ReadGate>())
      : bytes_(std::move(bytes)), trouble_(trouble), gate_(std::move(gate)) {
    ++gate_->sources;
  }
  ~TroubledSource() override { --gate_->sources; }
  std::int32_t Read(void* buffer, std::int32_t count) override {
    if (trouble_.pause.count() > 0) std::this_thread::sleep_for(trouble_.pause);
    if (trouble_.stallAt >= 0 && source_.Tell() >= trouble_.stallAt) gate_->Wait();
    if (trouble_.failAt >= 0 && source_.Tell() >= trouble_.failAt && trouble_.failures != 0 && gate_->armed) {
      if (trouble_.failures > 0) --trouble_.failures;
      // A failed read leaves the position anywhere.
      source_.Seek(source_.Tell() + 3);
      return -1;
    }
    return source_.Read(buffer, count);
  }
  bool Seek(std::int64_t position) override { return source_.Seek(position); }
  std::int64_t Tell() override { return source_.Tell(); }
  std::int64_t Size() override { return source_.Size(); }

 private:
  std::shared_ptr<const std::vector<std::uint8_t>> bytes_;
  TMemorySource source_{bytes_->data(), bytes_->size()};
  Trouble trouble_;
  std::shared_ptr<ReadGate> gate_;
};

// What the play command does around its format checks, without them.
inline bool Play(std::span<TChannelState> channels, std::int32_t index, const std::string& file) {
  WAVEFORMATEX format{};
  if (!OpenChannelStream(channels, index, file, format)) return false;
  return StartChannel(channels, index, 48000);
}

// The same over a source of the test's own, taken as a WAV file or an MP3 file.
inline bool PlaySource(std::span<TChannelState> channels, std::int32_t index,
                       std::unique_ptr<IByteSource> source,
                       TAudioStream::TKind kind = TAudioStream::TKind::Wave) {
  WAVEFORMATEX format{};
  if (!channels[static_cast<std::size_t>(index)].OpenStream(
          [&](TAudioStream& stream) { return stream.Open(std::move(source), kind, format); }))
    return false;
  return StartChannel(channels, index, 48000);
}

}  // namespace tonvane::testing
