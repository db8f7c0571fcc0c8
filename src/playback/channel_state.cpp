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
  return std::min(std::max(2 * halfSize_, byTime), ring_.Capacity());
}

void TChannelState::Reset() {
  // Cleared first: a buffer switch that starts while we wait for the guard leaves the
  // ring alone, and one that holds it now plays out its half of the old file.
  playing_.store(kStopped, std::memory_order_relaxed);
  {
    std::lock_guard played(guard_);
    std::lock_guard fed(streamGuard_);
    TChannelFeed::Reclaim(*this);
    feeding_.store(false, std::memory_order_relaxed);
    ring_.Reset();
    sourceEnded_.store(false, std::memory_order_relaxed);
    bytesPlayed_.store(0, std::memory_order_relaxed);
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
    playing_.store(kPlaying, std::memory_order_release);
    return true;
  }
  cue->Join([this](std::uint32_t group) {
    startGroup_.store(group, std::memory_order_relaxed);
    playing_.store(kWaiting, std::memory_order_release);
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
  level_.store(from.level_.load(std::memory_order_relaxed), std::memory_order_relaxed);
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
  if (from.ring_.Capacity() > ring_.Capacity()) ring_.Resize(from.ring_.Capacity());
  ring_.Reset();
  std::int16_t samples[1024];
  while (const std::size_t n = from.ring_.Read(samples, std::size(samples))) ring_.Write(samples, n);
  std::swap(source_, from.source_);
  feeding_.store(from.feeding_.exchange(false, std::memory_order_relaxed), std::memory_order_relaxed);
  sourceEnded_.store(from.sourceEnded_.exchange(false, std::memory_order_relaxed), std::memory_order_relaxed);
  bytesPlayed_.store(from.bytesPlayed_.exchange(0, std::memory_order_relaxed), std::memory_order_relaxed);
  startGroup_.store(from.startGroup_.load(std::memory_order_relaxed), std::memory_order_relaxed);
  playing_.store(from.playing_.exchange(kStopped, std::memory_order_relaxed), std::memory_order_relaxed);
  gainLevel_ = from.gainLevel_;
  gain_ = from.gain_;
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
  channels[static_cast<std::size_t>(index)].SetLevel(level);
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
  snapshot.Playing = channel.Playing() != TChannelState::kStopped;
  snapshot.Level = channel.Level();
  if (snapshot.Playing)
    snapshot.Percent = ProgressPercent(channel.BytesPlayed(), channel.Stream().DataLength());
  return snapshot;
}

}  // namespace tonvane
