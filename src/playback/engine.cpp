#include "playback/engine.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "playback/sample_types.h"

namespace tonvane {
namespace {

// No sample type of ASIO's has this code, so WriteSample writes nothing for it.
constexpr std::int32_t kWriteNothing = -1;
// Samples taken from a ring at a time: a buffer half of most drivers, and little stack.
constexpr std::int32_t kReadSamples = 256;

// A 16-bit sample times a 24-bit mantissa is exact in a double; the conversion
// truncates toward zero, and a gain below 1 keeps the result in 16 bits.
std::int16_t Scale(std::int16_t sample, float gain) {
  return static_cast<std::int16_t>(
      static_cast<std::int32_t>(static_cast<double>(sample) * static_cast<double>(gain)));
}

}  // namespace

// The driver's side of a channel (TChannelState's friend): the fields a buffer half
// reads and writes, taken once per channel and half.
class TChannelOutput {
 public:
  explicit TChannelOutput(TChannelState& channel)
      : Playing(channel.playing_),
        Level(channel.level_),
        StartGroup(channel.startGroup_),
        Guard(channel.guard_),
        SourceEnded(channel.sourceEnded_),
        BytesPlayed(channel.bytesPlayed_),
        GainLevel(channel.gainLevel_),
        Gain(channel.gain_),
        Ring(channel.ring_) {}
  std::atomic<std::uint8_t>& Playing;
  std::atomic<std::int32_t>& Level;
  std::atomic<std::uint32_t>& StartGroup;
  TChannelGuard& Guard;
  std::atomic<bool>& SourceEnded;
  std::atomic<std::uint32_t>& BytesPlayed;
  std::int32_t& GainLevel;
  float& Gain;
  TSampleRing& Ring;
};

namespace {

// Only the driver's thread writes the count while it plays, so a plain sum will do.
void AddPlayed(TChannelOutput& channel, std::uint32_t samples) {
  if (samples != 0)
    channel.BytesPlayed.store(channel.BytesPlayed.load(std::memory_order_relaxed) + 2 * samples,
                              std::memory_order_relaxed);
}

// One channel's buffer half, with the sample type fixed at compile time so that the
// writer's choice of bytes is made once per buffer rather than once per sample.
//
// The samples come from the channel's ring, which the feeder keeps filled: nothing
// here reads a file or decodes. The channel's state and level are read once, at the
// start of the half: a stop or a level change takes effect from the next half, and a
// channel waiting for its cue starts from the first sample of the half in which its
// group opens, with every other channel of the group.
template <std::int32_t Type>
void FillChannel(TChannelState& record, std::uint8_t* pos, std::int32_t count, std::uint32_t openGroup) {
  TChannelOutput channel(record);
  if (!channel.Guard.try_lock()) {
    // The host's thread is stopping this channel right now.
    for (std::int32_t i = 0; i < count; ++i) WriteSample(Type, pos, 0);
    return;
  }
  std::uint8_t state = channel.Playing.load(std::memory_order_acquire);
  if (state == TChannelState::kWaiting &&
      TStartCue::Started(channel.StartGroup.load(std::memory_order_relaxed), openGroup))
    channel.Playing.compare_exchange_strong(state, TChannelState::kPlaying, std::memory_order_acquire);
  std::int32_t i = 0;
  if (channel.Playing.load(std::memory_order_relaxed) == TChannelState::kPlaying) {
    const std::int32_t level = channel.Level.load(std::memory_order_relaxed);
    if (level < 0 && level != channel.GainLevel) {
      channel.Gain = LevelGain(level);
      channel.GainLevel = level;
    }
    std::int16_t block[kReadSamples];
    while (i < count) {
      const std::size_t got =
          channel.Ring.Read(block, static_cast<std::size_t>(std::min(count - i, kReadSamples)));
      if (got == 0) break;
      for (std::size_t k = 0; k < got; ++k) {
        const std::int16_t sample = level < 0 && block[k] != 0 ? Scale(block[k], channel.Gain) : block[k];
        WriteSample(Type, pos, sample);
      }
      i += static_cast<std::int32_t>(got);
    }
    // The count first, so that whoever sees the stop sees all that was played.
    AddPlayed(channel, static_cast<std::uint32_t>(i));
    // The ring ran out: the rest of this half is silence. Either the file has ended, or
    // the feeder is behind (a slow disk) and the next switch carries on where it
    // stopped. The end is marked after the last samples went in, so once it is seen,
    // an empty ring is the end of the data.
    if (i < count && channel.SourceEnded.load(std::memory_order_acquire) && channel.Ring.Available() == 0)
      channel.Playing.store(TChannelState::kStopped, std::memory_order_release);
  }
  for (; i < count; ++i) WriteSample(Type, pos, 0);
  channel.Guard.unlock();
}

template <std::int32_t Type>
void FillAll(TDeviceState& device, std::int32_t h) {
  // Decided once for the whole switch, so that no switch starts half a group.
  const std::uint32_t openGroup = device.Cue.Open();
  const std::size_t n = std::min(device.Channels.size(), device.BufferInfos.size());
  for (std::size_t c = 0; c < n; ++c)
    FillChannel<Type>(device.Channels[c], static_cast<std::uint8_t*>(device.BufferInfos[c].buffers[h]),
                      device.BufferSize, openGroup);
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
      // No sound of ours can be written in this type, but silence can: all-zero bytes
      // are silence in every integer and float type. Without them the card plays what
      // the driver left in its buffers. The files still play through (unheard) and
      // their channels stop at the end.
      static_assert(!SampleTypeSupported(kWriteNothing) && SampleTypeWidth(kWriteNothing) == 0);
      if (const std::int32_t width = SampleTypeWidth(device.SampleType); width > 0 && device.BufferSize > 0)
        for (const ASIOBufferInfo& info : device.BufferInfos)
          if (info.buffers[h])
            std::memset(info.buffers[h], 0, static_cast<std::size_t>(width) * device.BufferSize);
      return FillAll<kWriteNothing>(device, h);
  }
}

}  // namespace tonvane
