#pragma once

// The device state the engine fills, with channels whose buffers the program owns:
// what the engine's tests inspect and what its benchmarks play into. Its rings are
// filled by Feed, or by a TFeeder the test starts. The buffers
// start (and Mark sets them) to a marker byte, so that what the engine did not write
// shows.
#include <atomic>
#include <cstdint>
#include <span>
#include <vector>

#include "playback/engine.h"
#include "playback/feeder.h"

namespace tonvane::testing {

constexpr std::uint8_t kUntouched = 0xEE;

// The start cue's clock in tests: time moves on by Step microseconds each time it is
// read, as it would between a Play and the switch after it, unless a test holds it
// still (Step 0) and moves it by hand.
struct TestClock {
  static inline std::atomic<std::int64_t> Now{0};
  static inline std::atomic<std::int64_t> Step{TStartCue::kQuietMicros};
  static std::int64_t Read() { return Now.fetch_add(Step) + Step; }
};

class TestDevice {
 public:
  TestDevice(std::size_t channels, std::int32_t bufferSize, std::int32_t sampleType) {
    device.BufferSize = bufferSize;
    device.SampleType = sampleType;
    device.Cue.Clock = TestClock::Read;
    device.Channels = std::vector<TChannelState>(channels);
    device.BufferInfos.resize(channels);
    // Eight bytes a sample is the widest type (Float64); room for the widest either way.
    memory_.assign(channels * 2,
                   std::vector<std::uint8_t>(static_cast<std::size_t>(bufferSize) * 8, kUntouched));
    for (std::size_t c = 0; c < channels; ++c) {
      device.BufferInfos[c].isInput = 0;
      device.BufferInfos[c].channelNum = static_cast<std::int32_t>(c);
      device.BufferInfos[c].buffers[0] = memory_[2 * c].data();
      device.BufferInfos[c].buffers[1] = memory_[2 * c + 1].data();
      device.Channels[c].SizeFor(bufferSize);
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
  // The feeder's work done here and now, until every playing channel's ring is as
  // full as the feeder keeps it: what a feeder that keeps up would have done by the
  // next switch.
  void Feed() {
    while (FeedChannels(device.Channels, order_) == TVisit::Worked) {
    }
  }

  TDeviceState device;

 private:
  std::vector<std::vector<std::uint8_t>> memory_;
  std::vector<TFeedOrder> order_;
};

}  // namespace tonvane::testing
