#include "asio/engine.h"

#include <algorithm>
#include <cmath>

#include "asio/sample_types.h"

namespace tonvane {
namespace {

// No sample type of ASIO's has this code, so WriteSample writes nothing for it.
constexpr std::int32_t kWriteNothing = -1;
// Samples asked of a stream at a time: a buffer half of most drivers, and little stack.
constexpr std::int32_t kReadSamples = 256;

// StopChannel for the driver's thread, which already holds the channel's guard.
void StopHeldChannel(TChannelState& channel) {
  channel.Playing.store(0, std::memory_order_relaxed);
  channel.Stream->Close();
}

std::int16_t Scale(TChannelState& channel, std::int16_t sample, std::int32_t level) {
  if (level != channel.GainLevel) {
    channel.Gain = LevelGain(level);
    channel.GainLevel = level;
  }
  // A 16-bit sample times a 24-bit mantissa is exact in a double; the conversion
  // truncates toward zero, and a gain below 1 keeps the result in 16 bits.
  return static_cast<std::int16_t>(
      static_cast<std::int32_t>(static_cast<double>(sample) * static_cast<double>(channel.Gain)));
}

// One channel's buffer half, with the sample type fixed at compile time so that the
// writer's choice of bytes is made once per buffer rather than once per sample.
//
// The stream is asked for the rest of the half in one Read rather than for two bytes
// per sample: a call per sample cost more than everything else done for the sample.
// Playing and Level are still read for every sample, so a stop or a level change
// still takes effect from the next sample; bytes read past a stop are never heard,
// because every stop closes the stream.
template <std::int32_t Type>
void FillChannel(TChannelState& channel, std::uint8_t* pos, std::int32_t count) {
  if (!channel.Guard.try_lock()) {
    // The host's thread is opening or closing this stream right now.
    for (std::int32_t i = 0; i < count; ++i) WriteSample(Type, pos, 0);
    return;
  }
  std::uint8_t block[2 * kReadSamples];
  std::int32_t have = 0;  // bytes in block
  std::int32_t next = 0;  // the next of them to play
  // The stream has had its share of work for now without producing sound: the rest
  // of this half is silence, and the next switch carries on where it stopped.
  bool notYet = false;
  for (std::int32_t i = 0; i < count; ++i) {
    std::int16_t sample = 0;
    if (!notYet && channel.Playing.load(std::memory_order_relaxed) != 0) {
      if (next == have) {
        next = 0;
        have = channel.Stream->Read(block, 2 * std::min(count - i, kReadSamples));
        if (have == 0) StopHeldChannel(channel);
        if (have < 0) {
          have = 0;
          notYet = true;
        }
      }
      if (have - next >= 2) {
        sample = static_cast<std::int16_t>(block[next] | block[next + 1] << 8);
        next += 2;
      } else if (have > next) {
        // A lone last byte of the data is the low byte of a sample whose high byte is 0.
        sample = block[next];
        next = have;
      }
    }
    if (sample != 0) {
      const std::int32_t level = channel.Level.load(std::memory_order_relaxed);
      if (level < 0) sample = Scale(channel, sample, level);
    }
    WriteSample(Type, pos, sample);
  }
  channel.Guard.unlock();
}

template <std::int32_t Type>
void FillAll(TDeviceState& device, std::int32_t h) {
  const std::size_t n = std::min(device.Channels.size(), device.BufferInfos.size());
  for (std::size_t c = 0; c < n; ++c)
    FillChannel<Type>(device.Channels[c], static_cast<std::uint8_t*>(device.BufferInfos[c].buffers[h]),
                      device.BufferSize);
}

}  // namespace

float LevelGain(std::int32_t level) { return static_cast<float>(std::pow(10.0, level / 20.0)); }

void FillBuffers(TDeviceState& device, std::int32_t h) {
  if (h != 0 && h != 1) return;
  switch (device.SampleType) {
    case ASIOSTInt16MSB:
      return FillAll<ASIOSTInt16MSB>(device, h);
    case ASIOSTInt24MSB:
      return FillAll<ASIOSTInt24MSB>(device, h);
    case ASIOSTInt32MSB:
      return FillAll<ASIOSTInt32MSB>(device, h);
    case ASIOSTInt16LSB:
      return FillAll<ASIOSTInt16LSB>(device, h);
    case ASIOSTInt24LSB:
      return FillAll<ASIOSTInt24LSB>(device, h);
    case ASIOSTInt32LSB:
      return FillAll<ASIOSTInt32LSB>(device, h);
    default:
      // The buffers keep what the driver put in them, but the files still play
      // through and their channels stop at the end.
      static_assert(!SampleTypeSupported(kWriteNothing));
      return FillAll<kWriteNothing>(device, h);
  }
}

}  // namespace tonvane
