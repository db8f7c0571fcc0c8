#include "asio/channel_state.h"

#include <algorithm>
#include <limits>
#include <mutex>

namespace tonvane {

namespace {

// What one Read asks of a stream at most: a WAV reader's read-ahead block, a few MP3
// frames.
constexpr std::int32_t kFeedBytes = 8192;

}  // namespace

bool FeedRing(TChannelState& channel, std::size_t samples) {
  std::size_t added = 0;
  bool read = false;
  std::uint8_t bytes[kFeedBytes];
  std::int16_t pcm[kFeedBytes / 2];
  while (channel.Feeding && added < samples) {
    const std::size_t room = std::min(samples - added, channel.Ring.Space());
    if (room == 0) break;
    // Two bytes a sample, so that even a last lone byte has its place.
    const auto ask = static_cast<std::int32_t>(std::min<std::size_t>(2 * room, kFeedBytes));
    const std::int32_t got = channel.Stream->Read(bytes, ask);
    read = true;
    if (got == TAudioStream::kNotYet) break;
    if (got <= 0) {
      channel.Feeding = false;
      channel.Stream->Close();
      channel.SourceEnded.store(true, std::memory_order_release);
      break;
    }
    std::size_t n = 0;
    for (std::int32_t i = 0; i + 1 < got; i += 2)
      pcm[n++] = static_cast<std::int16_t>(bytes[i] | bytes[i + 1] << 8);
    // A lone last byte of the data is the low byte of a sample whose high byte is 0.
    if (got % 2 != 0) pcm[n++] = bytes[got - 1];
    channel.Ring.Write(pcm, n);
    added += n;
  }
  return read;
}

void StopChannel(std::span<TChannelState> channels, std::int32_t index) {
  TChannelState& channel = channels[static_cast<std::size_t>(index)];
  // Cleared first: a buffer switch that starts while we wait for the guard leaves the
  // ring alone, and one that holds it now plays out its half of the old file.
  channel.Playing.store(0, std::memory_order_relaxed);
  std::lock_guard played(channel.Guard);
  std::lock_guard fed(channel.StreamGuard);
  channel.Feeding = false;
  channel.Stream->Close();
  channel.Ring.Reset();
  channel.SourceEnded.store(false, std::memory_order_relaxed);
  channel.BytesPlayed.store(0, std::memory_order_relaxed);
}

bool OpenChannelStream(std::span<TChannelState> channels, std::int32_t index, const std::string& fileName,
                       WAVEFORMATEX& format) {
  StopChannel(channels, index);
  TChannelState& channel = channels[static_cast<std::size_t>(index)];
  // Only the stream's guard: the driver's thread plays the other channels meanwhile,
  // and this one is stopped.
  std::lock_guard hold(channel.StreamGuard);
  if (channel.Stream->Open(fileName, format)) return true;
  channel.Stream->Close();
  return false;
}

void StartChannel(std::span<TChannelState> channels, std::int32_t index) {
  TChannelState& channel = channels[static_cast<std::size_t>(index)];
  {
    std::lock_guard hold(channel.StreamGuard);
    channel.Feeding = true;
    FeedRing(channel, channel.Prefill);
  }
  // Release: the driver's thread that sees the 1 sees the samples in the ring.
  channel.Playing.store(1, std::memory_order_release);
}

void CloseChannelStream(std::span<TChannelState> channels, std::int32_t index) {
  TChannelState& channel = channels[static_cast<std::size_t>(index)];
  std::lock_guard hold(channel.StreamGuard);
  channel.Feeding = false;
  channel.Stream->Close();
}

void SetChannelLevel(std::span<TChannelState> channels, std::int32_t index, std::int32_t level) {
  if (index < 0 || static_cast<std::size_t>(index) >= channels.size()) return;
  TChannelState& channel = channels[static_cast<std::size_t>(index)];
  channel.Level.store(level, std::memory_order_relaxed);
  if (channel.Strip) channel.Strip->SetLevel(level);
}

int ProgressPercent(std::uint32_t bytesPlayed, std::uint32_t dataLength) {
  if (dataLength == 0) return 0;
  // 64 bits hold any 32-bit count times 100. An MP3 file's length is an estimate, so
  // its percentage can pass 100 and, in theory, int's range: the gauge clamps to 100.
  const std::uint64_t percent = std::uint64_t{bytesPlayed} * 100 / dataLength;
  constexpr auto kMax = static_cast<std::uint64_t>(std::numeric_limits<int>::max());
  return static_cast<int>(percent < kMax ? percent : kMax);
}

void RefreshStrips(std::span<TChannelState> channels) {
  for (TChannelState& channel : channels) {
    if (!channel.Strip) continue;
    // Display only: a value a moment old shows at the next tick.
    const bool playing = channel.Playing.load(std::memory_order_relaxed) == 1;
    channel.Strip->SetPlaying(playing);
    if (playing)
      channel.Strip->ShowProgress(
          ProgressPercent(channel.BytesPlayed.load(std::memory_order_relaxed), channel.Stream->DataLength()));
  }
}

}  // namespace tonvane
