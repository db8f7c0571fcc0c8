#include "asio/channel_state.h"

#include <limits>
#include <mutex>

namespace tonvane {

void StopChannel(std::span<TChannelState> channels, std::int32_t index) {
  TChannelState& channel = channels[static_cast<std::size_t>(index)];
  // Cleared first: a buffer switch that starts while we wait for the guard leaves the
  // stream alone, and one that holds it now plays out its half of the old file.
  channel.Playing.store(0, std::memory_order_relaxed);
  std::lock_guard hold(channel.Guard);
  channel.Stream->Close();
}

bool OpenChannelStream(std::span<TChannelState> channels, std::int32_t index, const std::string& fileName,
                       WAVEFORMATEX& format) {
  StopChannel(channels, index);
  TChannelState& channel = channels[static_cast<std::size_t>(index)];
  // The engine's own stop at the end of the old file may still be closing this
  // stream; the guard keeps that close away from the open.
  std::lock_guard hold(channel.Guard);
  if (channel.Stream->Open(fileName, format)) return true;
  channel.Stream->Close();
  return false;
}

void StartChannel(std::span<TChannelState> channels, std::int32_t index) {
  // The open ended in the guard's release; the engine reads this flag only inside
  // the guard, so it cannot see the 1 without seeing the open stream.
  channels[static_cast<std::size_t>(index)].Playing.store(1, std::memory_order_relaxed);
}

void CloseChannelStream(std::span<TChannelState> channels, std::int32_t index) {
  TChannelState& channel = channels[static_cast<std::size_t>(index)];
  std::lock_guard hold(channel.Guard);
  channel.Stream->Close();
}

void SetChannelLevel(std::span<TChannelState> channels, std::int32_t index, std::int32_t level) {
  if (index < 0 || static_cast<std::size_t>(index) >= channels.size()) return;
  TChannelState& channel = channels[static_cast<std::size_t>(index)];
  channel.Level.store(level, std::memory_order_relaxed);
  if (channel.Strip) channel.Strip->SetLevel(level);
}

int ProgressPercent(std::uint32_t bytesRead, std::uint32_t dataLength) {
  if (dataLength == 0) return 0;
  // 64 bits hold any 32-bit count times 100. An MP3 file's length is an estimate, so
  // its percentage can pass 100 and, in theory, int's range: the gauge clamps to 100.
  const std::uint64_t percent = std::uint64_t{bytesRead} * 100 / dataLength;
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
      channel.Strip->ShowProgress(ProgressPercent(channel.Stream->BytesRead(), channel.Stream->DataLength()));
  }
}

}  // namespace tonvane
