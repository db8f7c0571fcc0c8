#include "playback/channel_feed.h"

#include <algorithm>
#include <cstdint>
#include <mutex>
#include <thread>

namespace tonvane {
namespace {

// What one Read asks of a stream at most: a WAV reader's read-ahead block, a few MP3
// frames.
constexpr std::int32_t kFeedBytes = 8192;

// What one read of a stream came to, once the holder has taken it.
enum class TTaken { Samples, NotYet, Ended, Failed };

// The holder's part of a read that gave `got`: the samples into the ring, or the end
// of the feeding. A failed read is the end only when the channel has started and its
// ring has nothing left to play; until then it is tried again. The caller closes an
// ended stream. The channel's parts the holder may touch: its ring's producer side,
// its end mark and its feeding flag.
TTaken Take(TSampleRing& ring, std::atomic<bool>& sourceEnded, std::atomic<bool>& feeding,
            const std::uint8_t* bytes, std::int32_t got, bool started) {
  if (got == TAudioStream::kNotYet) return TTaken::NotYet;
  if (got > 0) {
    std::int16_t pcm[kFeedBytes / 2];
    std::size_t n = 0;
    for (std::int32_t i = 0; i + 1 < got; i += 2)
      pcm[n++] = static_cast<std::int16_t>(bytes[i] | bytes[i + 1] << 8);
    // A lone last byte of the data is the low byte of a sample whose high byte is 0.
    if (got % 2 != 0) pcm[n++] = bytes[got - 1];
    ring.Write(pcm, n);
    return TTaken::Samples;
  }
  if (got < 0 && (!started || ring.Space() < ring.Capacity())) return TTaken::Failed;
  feeding.store(false, std::memory_order_relaxed);
  sourceEnded.store(true, std::memory_order_release);
  return TTaken::Ended;
}

// Bytes to ask for `room` samples: two a sample, so that even a last lone byte has
// its place.
std::int32_t AskFor(std::size_t room) {
  return static_cast<std::int32_t>(std::min<std::size_t>(2 * room, kFeedBytes));
}

}  // namespace

TChannelFeed::TFilled TChannelFeed::Fill(TChannelState& channel, TChannelSource& source, std::size_t samples,
                                         bool started, bool& worked) {
  std::uint8_t bytes[kFeedBytes];
  for (std::size_t added = 0;;) {
    // The channel is touched only under the source's HandBack, and only while the
    // host has not abandoned the source: it may have freed the channel then, at any
    // moment of a borrower's visit, the room asked for before a read included.
    std::size_t room = 0;
    {
      std::lock_guard back(source.HandBack);
      if (source.Abandoned.load(std::memory_order_relaxed)) return TFilled::Abandoned;
      room = std::min(samples - added, channel.ring_.Space());
    }
    if (room == 0) return TFilled::Samples;
    const std::int32_t got = source.Stream.Read(bytes, AskFor(room));
    std::unique_lock back(source.HandBack);
    if (source.Abandoned.load(std::memory_order_relaxed)) return TFilled::Abandoned;
    const TTaken taken = Take(channel.ring_, channel.sourceEnded_, channel.feeding_, bytes, got, started);
    if (taken == TTaken::Failed) return TFilled::Failed;
    worked = true;
    if (taken == TTaken::NotYet) return TFilled::Samples;
    if (taken == TTaken::Ended) {
      // Closed outside HandBack, as a close may wait on the storage too; a borrower
      // keeps the source lent until then.
      back.unlock();
      source.Stream.Close();
      return TFilled::Ended;
    }
    added += static_cast<std::size_t>(got + 1) / 2;
  }
}

TChannelFeed::TFilled TChannelFeed::Prefill(TChannelState& channel, std::size_t samples) {
  for (int tries = 1;; ++tries) {
    bool worked = false;
    const TFilled filled = Fill(channel, *channel.source_, samples, false, worked);
    if (filled != TFilled::Failed) return filled;
    // With sound in the ring the channel starts, and the feeder tries again.
    if (channel.ring_.Available() > 0) return TFilled::Samples;
    if (tries == TChannelState::kFirstReadTries) return TFilled::Failed;
    std::this_thread::sleep_for(TChannelState::kFirstReadPause);
  }
}

TSourceRef TChannelFeed::Borrow(TChannelState& channel) {
  // Plain loads first: an idle or lent channel costs the feeder no write.
  if (!channel.IsFeeding() || channel.IsLent()) return nullptr;
  if (!channel.streamGuard_.try_lock()) return nullptr;
  TSourceRef source;
  // Acquire: pairs with the last borrower's hand-back, so that its work on the stream
  // and the ring is seen.
  if (channel.IsFeeding() && !channel.lent_.load(std::memory_order_acquire)) {
    channel.lent_.store(true, std::memory_order_relaxed);
    source = channel.source_;
  }
  channel.streamGuard_.unlock();
  return source;
}

bool TChannelFeed::HandBack(TChannelState& channel, TChannelSource& source) {
  std::lock_guard back(source.HandBack);
  if (source.Abandoned.load(std::memory_order_relaxed)) return false;
  channel.lent_.store(false, std::memory_order_release);
  return true;
}

void TChannelFeed::Reclaim(TChannelState& channel, bool replace) {
  // Under the stream guard a source can only be handed back, never lent.
  if (!channel.lent_.load(std::memory_order_acquire)) return;
  TSourceRef fresh = replace ? std::make_shared<TChannelSource>() : nullptr;
  TSourceRef old = channel.source_;
  std::lock_guard back(old->HandBack);
  if (!channel.lent_.load(std::memory_order_acquire)) return;
  // The borrower is inside a read, or closing: it lets go of the source when it is
  // done, and frees it then.
  old->Abandoned.store(true, std::memory_order_relaxed);
  channel.source_ = std::move(fresh);
  channel.lent_.store(false, std::memory_order_relaxed);
  channel.feeding_.store(false, std::memory_order_relaxed);
}

TVisit VisitChannel(TChannelState& channel, std::size_t samples, IReadWatch* watch) {
  TSourceRef source = TChannelFeed::Borrow(channel);
  if (!source) return TVisit::Idle;
  if (std::min(samples, channel.Ring().Space()) == 0) {
    TChannelFeed::HandBack(channel, *source);
    return TVisit::Idle;
  }
  if (watch && !watch->Away(*source)) {
    TChannelFeed::HandBack(channel, *source);
    return TVisit::Gone;
  }
  bool worked = false;
  const auto filled = TChannelFeed::Fill(channel, *source, samples, true, worked);
  if (filled == TChannelFeed::TFilled::Abandoned || !TChannelFeed::HandBack(channel, *source)) {
    // The host has let go of it: this thread's is the last hold, and the close that
    // comes with it may wait on the storage.
    if (watch) watch->Dropping();
    source.reset();
  }
  if (watch && !watch->Back()) return TVisit::Gone;
  return worked ? TVisit::Worked : TVisit::Idle;
}

}  // namespace tonvane
