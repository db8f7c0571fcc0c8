#include "playback/channel_state.h"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <limits>
#include <mutex>

#include "playback/channel_feed.h"

namespace tonvane {

TChannelState::~TChannelState() {
  std::lock_guard hold(streamGuard_);
  TChannelFeed::Reclaim(*this, false);
}

std::size_t TChannelState::PrefillFor(double rate) const {
  const auto byTime = rate > 0 ? static_cast<std::size_t>(std::ceil(rate * kMinPrefillSeconds)) : 0;
  return std::min(std::max(2 * HalfSize, byTime), Ring.Capacity());
}

void TChannelState::Reset() {
  // Cleared first: a buffer switch that starts while we wait for the guard leaves the
  // ring alone, and one that holds it now plays out its half of the old file.
  Playing.store(kStopped, std::memory_order_relaxed);
  {
    std::lock_guard played(Guard);
    std::lock_guard fed(streamGuard_);
    TChannelFeed::Reclaim(*this);
    feeding_.store(false, std::memory_order_relaxed);
    Ring.Reset();
    SourceEnded.store(false, std::memory_order_relaxed);
    BytesPlayed.store(0, std::memory_order_relaxed);
  }
  // Outside the guards, which the driver's thread tries: a close may wait on the
  // storage. Nobody else touches a stream that is neither lent nor feeding.
  Stream().Close();
}

bool TChannelState::OpenStream(const std::function<bool(TAudioStream&)>& open) {
  Reset();
  // Only the stream's guard: the driver's thread plays the other channels meanwhile,
  // and this one is stopped; the feeder leaves a channel alone that is not feeding.
  std::lock_guard hold(streamGuard_);
  if (open(Stream())) return true;
  Stream().Close();
  return false;
}

bool TChannelState::Start(double rate, TStartCue* cue) {
  {
    std::lock_guard hold(streamGuard_);
    feeding_.store(true, std::memory_order_relaxed);
    if (TChannelFeed::Prefill(*this, PrefillFor(rate)) == TChannelFeed::TFilled::Failed) {
      feeding_.store(false, std::memory_order_relaxed);
      Stream().Close();
      return false;
    }
  }
  // Release: the driver's thread that sees the channel playing or waiting sees the
  // samples in the ring.
  if (!cue) {
    Playing.store(kPlaying, std::memory_order_release);
    return true;
  }
  cue->Join([this](std::uint32_t group) {
    StartGroup.store(group, std::memory_order_relaxed);
    Playing.store(kWaiting, std::memory_order_release);
  });
  return true;
}

void TChannelState::CloseStream() {
  {
    std::lock_guard hold(streamGuard_);
    TChannelFeed::Reclaim(*this);
    feeding_.store(false, std::memory_order_relaxed);
  }
  Stream().Close();
}

void TChannelState::TakeOver(TChannelState& from) {
  Level.store(from.Level.load(std::memory_order_relaxed), std::memory_order_relaxed);
  bool lent = false;
  {
    std::lock_guard fed(from.streamGuard_);
    // A borrower clears its mark under HandBack, and nobody lends while the feeder
    // is stopped: a source seen not lent here stays so.
    std::lock_guard back(from.source_->HandBack);
    lent = from.lent_.load(std::memory_order_acquire);
  }
  if (lent) {
    from.Reset();
    return;
  }
  // Room for everything waiting (the caller may have made it already).
  if (from.Ring.Capacity() > Ring.Capacity()) Ring.Resize(from.Ring.Capacity());
  Ring.Reset();
  std::int16_t samples[1024];
  while (const std::size_t n = from.Ring.Read(samples, std::size(samples))) Ring.Write(samples, n);
  std::swap(source_, from.source_);
  feeding_.store(from.feeding_.exchange(false, std::memory_order_relaxed), std::memory_order_relaxed);
  SourceEnded.store(from.SourceEnded.exchange(false, std::memory_order_relaxed), std::memory_order_relaxed);
  BytesPlayed.store(from.BytesPlayed.exchange(0, std::memory_order_relaxed), std::memory_order_relaxed);
  StartGroup.store(from.StartGroup.load(std::memory_order_relaxed), std::memory_order_relaxed);
  Playing.store(from.Playing.exchange(kStopped, std::memory_order_relaxed), std::memory_order_relaxed);
  GainLevel = from.GainLevel;
  Gain = from.Gain;
}

void ResetChannel(std::span<TChannelState> channels, std::int32_t index) {
  channels[static_cast<std::size_t>(index)].Reset();
}

bool OpenChannelStream(std::span<TChannelState> channels, std::int32_t index, const std::string& fileName,
                       WAVEFORMATEX& format) {
  return channels[static_cast<std::size_t>(index)].OpenStream(
      [&](TAudioStream& stream) { return stream.Open(fileName, format); });
}

bool StartChannel(std::span<TChannelState> channels, std::int32_t index, double rate, TStartCue* cue) {
  return channels[static_cast<std::size_t>(index)].Start(rate, cue);
}

void CloseChannelStream(std::span<TChannelState> channels, std::int32_t index) {
  channels[static_cast<std::size_t>(index)].CloseStream();
}

void SetChannelLevel(std::span<TChannelState> channels, std::int32_t index, std::int32_t level) {
  if (index < 0 || static_cast<std::size_t>(index) >= channels.size()) return;
  TChannelState& channel = channels[static_cast<std::size_t>(index)];
  channel.Level.store(level, std::memory_order_relaxed);
}

int ProgressPercent(std::uint32_t bytesPlayed, std::uint32_t dataLength) {
  if (dataLength == 0) return 0;
  // 64 bits hold any 32-bit count times 100. An MP3 file's length is an estimate, so
  // its percentage can pass 100 and, in theory, int's range: the gauge clamps to 100.
  const std::uint64_t percent = std::uint64_t{bytesPlayed} * 100 / dataLength;
  constexpr auto kMax = static_cast<std::uint64_t>(std::numeric_limits<int>::max());
  return static_cast<int>(percent < kMax ? percent : kMax);
}

TChannelSnapshot Snapshot(TChannelState& channel) {
  TChannelSnapshot snapshot;
  snapshot.Playing = channel.Playing.load(std::memory_order_relaxed) != TChannelState::kStopped;
  snapshot.Level = channel.Level.load(std::memory_order_relaxed);
  if (snapshot.Playing)
    snapshot.Percent =
        ProgressPercent(channel.BytesPlayed.load(std::memory_order_relaxed), channel.Stream().DataLength());
  return snapshot;
}

}  // namespace tonvane
