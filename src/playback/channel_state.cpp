#include "playback/channel_state.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <mutex>

namespace tonvane {

namespace {

// What one Read asks of a stream at most: a WAV reader's read-ahead block, a few MP3
// frames.
constexpr std::int32_t kFeedBytes = 8192;

// What one read of a stream came to, once the holder has taken it.
enum class TTaken { Samples, NotYet, Ended, Failed };

// The holder's part of a read that gave `got`: the samples into the ring, or the end
// of the feeding. A failed read is the end only when the ring has nothing left to
// play; until then the next visit tries again. The caller closes an ended stream.
TTaken Take(TChannelState& channel, const std::uint8_t* bytes, std::int32_t got) {
  if (got == TAudioStream::kNotYet) return TTaken::NotYet;
  if (got > 0) {
    std::int16_t pcm[kFeedBytes / 2];
    std::size_t n = 0;
    for (std::int32_t i = 0; i + 1 < got; i += 2)
      pcm[n++] = static_cast<std::int16_t>(bytes[i] | bytes[i + 1] << 8);
    // A lone last byte of the data is the low byte of a sample whose high byte is 0.
    if (got % 2 != 0) pcm[n++] = bytes[got - 1];
    channel.Ring.Write(pcm, n);
    return TTaken::Samples;
  }
  if (got < 0 && channel.Ring.Space() < channel.Ring.Capacity()) return TTaken::Failed;
  channel.Feeding.store(false, std::memory_order_relaxed);
  channel.SourceEnded.store(true, std::memory_order_release);
  return TTaken::Ended;
}

// Bytes to ask for `room` samples: two a sample, so that even a last lone byte has
// its place.
std::int32_t AskFor(std::size_t room) {
  return static_cast<std::int32_t>(std::min<std::size_t>(2 * room, kFeedBytes));
}

// Under StreamGuard: lends the source to the calling feeder thread, if the channel
// is feeding and nobody has it.
TChannelSource* Borrow(TChannelState& channel) {
  // Plain loads first: an idle or lent channel costs the feeder no write.
  if (!channel.Feeding.load(std::memory_order_relaxed) || channel.Lent.load(std::memory_order_relaxed))
    return nullptr;
  if (!channel.StreamGuard.try_lock()) return nullptr;
  TChannelSource* source = nullptr;
  // Acquire: pairs with the last borrower's hand-back, so that its work on the stream
  // and the ring is seen.
  if (channel.Feeding.load(std::memory_order_relaxed) && !channel.Lent.load(std::memory_order_acquire)) {
    channel.Lent.store(true, std::memory_order_relaxed);
    source = channel.Source.get();
  }
  channel.StreamGuard.unlock();
  return source;
}

// Gives a lent source back to its channel, or frees it if the host abandoned it
// meanwhile.
void HandBack(TChannelState& channel, TChannelSource* source) {
  source->HandBack.lock();
  if (source->Abandoned) {
    source->HandBack.unlock();
    delete source;
    return;
  }
  channel.Lent.store(false, std::memory_order_release);
  source->HandBack.unlock();
}

}  // namespace

TChannelState::~TChannelState() {
  std::lock_guard hold(StreamGuard);
  Reclaim(*this);
}

std::size_t TChannelState::PrefillFor(double rate) const {
  const auto byTime = rate > 0 ? static_cast<std::size_t>(std::ceil(rate * kMinPrefillSeconds)) : 0;
  return std::min(std::max(2 * HalfSize, byTime), Ring.Capacity());
}

bool FeedRing(TChannelState& channel, std::size_t samples) {
  std::size_t added = 0;
  bool worked = false;
  std::uint8_t bytes[kFeedBytes];
  while (channel.Feeding.load(std::memory_order_relaxed) && added < samples) {
    const std::size_t room = std::min(samples - added, channel.Ring.Space());
    if (room == 0) break;
    const std::int32_t got = channel.Stream().Read(bytes, AskFor(room));
    const TTaken taken = Take(channel, bytes, got);
    if (taken == TTaken::Failed) break;
    worked = true;
    if (taken == TTaken::NotYet) break;
    if (taken == TTaken::Ended) {
      channel.Stream().Close();
      break;
    }
    added += static_cast<std::size_t>(got + 1) / 2;
  }
  return worked;
}

TVisit VisitChannel(TChannelState& channel, std::size_t samples, IReadWatch* watch) {
  TChannelSource* source = Borrow(channel);
  if (!source) return TVisit::Idle;
  std::size_t room = std::min(samples, channel.Ring.Space());
  if (room == 0) {
    HandBack(channel, source);
    return TVisit::Idle;
  }
  if (watch && !watch->Away()) {
    HandBack(channel, source);
    return TVisit::Gone;
  }
  // From here on the channel is touched only under the source's HandBack, and only
  // while the host has not abandoned the source: it may have freed the channel then.
  TVisit visit = TVisit::Idle;
  std::uint8_t bytes[kFeedBytes];
  std::size_t added = 0;
  for (bool more = true; more;) {
    const std::int32_t got = source->Stream.Read(bytes, AskFor(room));
    source->HandBack.lock();
    if (source->Abandoned) {
      source->HandBack.unlock();
      delete source;
      break;
    }
    const TTaken taken = Take(channel, bytes, got);
    if (taken != TTaken::Failed) visit = TVisit::Worked;
    more = false;
    if (taken == TTaken::Samples) {
      added += static_cast<std::size_t>(got + 1) / 2;
      room = std::min(samples - added, channel.Ring.Space());
      more = room > 0;
    }
    if (taken == TTaken::Ended) {
      // Closed outside HandBack, as a close may wait on the storage too; the source
      // stays lent until then.
      source->HandBack.unlock();
      source->Stream.Close();
      HandBack(channel, source);
      break;
    }
    if (!more) channel.Lent.store(false, std::memory_order_release);
    source->HandBack.unlock();
  }
  if (watch && !watch->Back()) return TVisit::Gone;
  return visit;
}

void Reclaim(TChannelState& channel) {
  TChannelSource* source = channel.Source.get();
  std::lock_guard back(source->HandBack);
  if (!channel.Lent.load(std::memory_order_acquire)) return;
  // The borrower is inside a read, or closing: it frees the source when it is done.
  source->Abandoned = true;
  static_cast<void>(channel.Source.release());
  channel.Source = std::make_unique<TChannelSource>();
  channel.Lent.store(false, std::memory_order_relaxed);
  channel.Feeding.store(false, std::memory_order_relaxed);
}

void ResetChannel(std::span<TChannelState> channels, std::int32_t index) {
  TChannelState& channel = channels[static_cast<std::size_t>(index)];
  // Cleared first: a buffer switch that starts while we wait for the guard leaves the
  // ring alone, and one that holds it now plays out its half of the old file.
  channel.Playing.store(TChannelState::kStopped, std::memory_order_relaxed);
  std::lock_guard played(channel.Guard);
  std::lock_guard fed(channel.StreamGuard);
  Reclaim(channel);
  channel.Feeding.store(false, std::memory_order_relaxed);
  channel.Stream().Close();
  channel.Ring.Reset();
  channel.SourceEnded.store(false, std::memory_order_relaxed);
  channel.BytesPlayed.store(0, std::memory_order_relaxed);
}

bool OpenChannelStream(std::span<TChannelState> channels, std::int32_t index, const std::string& fileName,
                       WAVEFORMATEX& format) {
  ResetChannel(channels, index);
  TChannelState& channel = channels[static_cast<std::size_t>(index)];
  // Only the stream's guard: the driver's thread plays the other channels meanwhile,
  // and this one is stopped; the feeder leaves a channel alone that is not feeding.
  std::lock_guard hold(channel.StreamGuard);
  if (channel.Stream().Open(fileName, format)) return true;
  channel.Stream().Close();
  return false;
}

void StartChannel(std::span<TChannelState> channels, std::int32_t index, double rate, TStartCue* cue) {
  TChannelState& channel = channels[static_cast<std::size_t>(index)];
  {
    std::lock_guard hold(channel.StreamGuard);
    channel.Feeding.store(true, std::memory_order_relaxed);
    FeedRing(channel, channel.PrefillFor(rate));
  }
  // Release: the driver's thread that sees the channel playing or waiting sees the
  // samples in the ring.
  if (!cue) {
    channel.Playing.store(TChannelState::kPlaying, std::memory_order_release);
    return;
  }
  cue->Join([&channel](std::uint32_t group) {
    channel.StartGroup.store(group, std::memory_order_relaxed);
    channel.Playing.store(TChannelState::kWaiting, std::memory_order_release);
  });
}

void CloseChannelStream(std::span<TChannelState> channels, std::int32_t index) {
  TChannelState& channel = channels[static_cast<std::size_t>(index)];
  std::lock_guard hold(channel.StreamGuard);
  Reclaim(channel);
  channel.Feeding.store(false, std::memory_order_relaxed);
  channel.Stream().Close();
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
