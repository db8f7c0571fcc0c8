#pragma once

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <thread>

#include "playback/sample_ring.h"
#include "playback/start_cue.h"
#include "audio/audio_stream.h"

namespace tonvane {

// Keeps part of a channel to one thread at a time, for a few loads and stores or one
// buffer half, never for a read of a file. The driver's thread and the feeder only
// ever try it; the host's thread may wait, because nobody holds it for long.
// Satisfies Lockable, so std::lock_guard and std::unique_lock work.
class TChannelGuard {
 public:
  // Acquire on success: what the previous holder did is visible.
  bool try_lock() { return !busy_.exchange(true, std::memory_order_acquire); }
  void lock() {
    for (int spins = 0; busy_.exchange(true, std::memory_order_acquire);) {
      // Spin on a plain load so the waiting thread does not keep taking the cache
      // line from the holder; the holder may be the driver's thread, so give way to it.
      // A yield gives way only to threads of the waiter's priority or above: a feeder
      // thread, above normal, would keep the host's thread from ever letting go on a
      // busy machine, so a wait that lasts sleeps.
      while (busy_.load(std::memory_order_relaxed)) {
        if (++spins < kSpins)
          std::this_thread::yield();
        else
          std::this_thread::sleep_for(std::chrono::microseconds(100));
      }
    }
  }
  // Release: publishes the holder's work to the next holder.
  void unlock() { busy_.store(false, std::memory_order_release); }

 private:
  static constexpr int kSpins = 64;
  std::atomic<bool> busy_{false};
};

// A channel's file as the feeder borrows it: the stream, and the guard under which
// the borrower hands it back. A read may hang for as long as the storage does, so
// nobody waits for a borrowed source: the host takes the channel back by abandoning
// it, and the borrower, once its read returns, finds it abandoned and lets go of it,
// which closes and frees it. The channel and a borrower each own it (TSourceRef), so
// whichever lets go last frees it.
struct TChannelSource {
  TAudioStream Stream;
  TChannelGuard HandBack;
  // Set under HandBack: the channel has let go of this source. Also loaded without
  // it by the feeder's pool, which counts a thread whose source was abandoned apart.
  std::atomic<bool> Abandoned{false};
};
using TSourceRef = std::shared_ptr<TChannelSource>;

// One ASIO output channel.
//
// Three kinds of thread share it: the host's (the channel operations, the methods
// below), the feeder's (reads the file into the ring, TChannelFeed in
// channel_feed.h) and the driver's (plays the ring, TChannelOutput in engine.cpp).
// Every field is private to these three; anyone else only looks, through the const
// observers. Only the host's thread ever waits, and only for a guard, never for a
// read:
// - guard_: the ring's consumer side and bytesPlayed_, between the host and the
//   driver's thread. The driver's thread only tries it (a busy guard costs that
//   channel one buffer half of silence) and holds it for one channel's copy at most.
// - The stream guard: who may borrow the source. A feeder thread tries it, checks
//   that the channel is feeding and not lent, marks it lent and lets go; then it
//   reads outside every guard of the channel. While lent, the borrower alone touches
//   the stream, the ring's producer side, the feeding flag and sourceEnded_, each
//   time under the source's HandBack after checking that it was not abandoned; it
//   clears the lent mark under HandBack when it is done. The host takes the stream
//   guard, then HandBack, and abandons a source that is still lent: from then on the
//   channel is the host's alone.
// The host takes guard_ before the stream guard before HandBack, the feeder one at a
// time, so nobody waits in a circle.
//
// playing_ and level_ are written by the host's thread (playing_ also by the
// driver's thread, when a waiting channel starts and at the end of the data) and read
// by the driver's thread once per buffer half:
// - level_ carries nothing but its own value; a half that sees the old level is as
//   good as one that came a moment earlier.
// - playing_ = kWaiting (with startGroup_) or kPlaying is stored with release after
//   the ring's first samples, and loaded with acquire, so the first switch that sees
//   it sees them too. The driver's thread starts a waiting channel with a compare-
//   and-swap, so that a stop stored meanwhile wins. It reads playing_ only while it
//   holds guard_, and the host stops a channel by storing kStopped and then waiting
//   for guard_, so no switch that starts after a stop takes from the ring.
// - sourceEnded_ is stored with release after the last samples of the file went into
//   the ring: a driver's thread that sees it and finds the ring empty has played
//   the file to its end.
class TChannelState {
 public:
  // Samples read ahead: about 0.7 s at 48 kHz, enough to ride out a slow disk; a
  // driver with larger buffers gets room for four buffer halves at least.
  static constexpr std::size_t kRingSamples = 32768;
  // What a Play puts into the ring before the channel starts, at least: time for the
  // feeder to take over even from a sleep of the system's coarsest timer (15.6 ms),
  // or after a time slice or two of other work on a busy machine.
  static constexpr double kMinPrefillSeconds = 0.040;
  // Playing's values. A waiting channel is ready and starts with its cue's group.
  static constexpr std::uint8_t kStopped = 0, kPlaying = 1, kWaiting = 2;
  // A read that fails before the channel has any sound is tried this many times in
  // all, this far apart (a glitch of a stick or a share), before the Play gives up.
  static constexpr int kFirstReadTries = 4;
  static constexpr std::chrono::milliseconds kFirstReadPause{10};

  TChannelState() = default;
  // Abandons a source a feeder thread still has out.
  ~TChannelState();
  TChannelState(const TChannelState&) = delete;
  TChannelState& operator=(const TChannelState&) = delete;

  // Sizes the ring, empty, for buffer halves of bufferSize samples and for atLeast
  // samples; only while no other thread uses the channel.
  void SizeFor(std::int32_t bufferSize, std::size_t atLeast = 0) {
    halfSize_ = static_cast<std::size_t>(std::max(bufferSize, 0));
    ring_.Resize(std::max({kRingSamples, 4 * halfSize_, atLeast}));
  }
  // Whether the ring as it is serves buffer halves of bufferSize samples; then
  // KeepFor takes them on, keeping the ring and what it holds (only while no other
  // thread uses the channel).
  bool Fits(std::int32_t bufferSize) const {
    return ring_.Capacity() >= 4 * static_cast<std::size_t>(std::max(bufferSize, 0));
  }
  void KeepFor(std::int32_t bufferSize) { halfSize_ = static_cast<std::size_t>(std::max(bufferSize, 0)); }
  // What a Play puts into the ring before the channel starts at `rate` Hz: two
  // buffer halves, so that the first switch after it has sound and the second a whole
  // buffer period's margin, or kMinPrefillSeconds if that is more; no more, so that
  // it starts no later than it would if the driver's thread read the file itself.
  std::size_t PrefillFor(double rate) const;

  // The host's steps under the channel operations.

  // Puts the channel back to stopped with nothing open and nothing played, whatever it
  // was doing (for a Stop, a new Play on it, a device that closes): clears Playing,
  // then empties the ring once the driver's thread has let go of it, and closes the
  // stream outside every guard; a stream a feeder thread is reading is abandoned to it
  // rather than waited for. The level stays.
  void Reset();
  // The first half of playing a file: resets the channel and has `open` open the file
  // on its stream (filling the format). The caller checks the format and then either
  // starts the channel or gives the stream up with CloseStream. False when the file
  // does not open (the stream is then closed).
  bool OpenStream(const std::function<bool(TAudioStream&)>& open);
  // Fills the first part of the ring from the stream that OpenStream opened (see
  // PrefillFor; rate is the device's), then lets the feeder carry on and the driver's
  // thread play: from its next switch, or with the cue's group when a cue is given.
  // A read that fails before any sound is tried again (kFirstReadTries); false, with
  // the stream closed and the channel stopped, when it never succeeds.
  bool Start(double rate, TStartCue* cue = nullptr);
  // Closes the stream of a stopped channel, as after a file the caller refused.
  void CloseStream();
  // For a device reopened with more outputs or larger buffers, whose channels are
  // records anew: takes over what `from` was doing (its file and place, the samples
  // its ring has waiting, its level, a cue it waits for) and leaves it stopped with
  // nothing open. Only while neither the driver's thread nor the feeder touches either
  // channel. A feeder thread still inside a read of `from`'s file would hand the
  // samples back into `from`: such a channel stops instead (the read abandoned to
  // the thread), and only its level comes over.
  void TakeOver(TChannelState& from);

  // The stream of a channel the feeder does not have, or on the host's thread, its
  // DataLength.
  TAudioStream& Stream() { return source_->Stream; }
  // Whether the stream has been started and has data still to come; whether a feeder
  // thread has it out. Loaded by the feeder before it tries the channel, so that an
  // idle channel costs it no write.
  bool IsFeeding() const { return feeding_.load(std::memory_order_relaxed); }
  bool IsLent() const { return lent_.load(std::memory_order_relaxed); }

  // The host's thread: the level in dB (0 or below) from the driver's next half on.
  void SetLevel(std::int32_t level) { level_.store(level, std::memory_order_relaxed); }

  // Observers, for the view, the feeder's scheduling and tests: each a moment old.
  // kStopped, kPlaying or kWaiting; acquire, as the driver's thread loads it.
  std::uint8_t Playing() const { return playing_.load(std::memory_order_acquire); }
  std::int32_t Level() const { return level_.load(std::memory_order_relaxed); }
  // The file's last samples are in the ring.
  bool SourceEnded() const { return sourceEnded_.load(std::memory_order_acquire); }
  std::uint32_t BytesPlayed() const { return bytesPlayed_.load(std::memory_order_relaxed); }
  const TSampleRing& Ring() const { return ring_; }

 private:
  friend class TChannelFeed;
  friend class TChannelOutput;
  // The tests' hold on guard_, to stand for a host in a stop.
  friend struct TChannelStateTestAccess;

  // The driver's thread's line: what it reads for every channel in every switch.
  std::atomic<std::uint8_t> playing_{kStopped};
  std::atomic<std::int32_t> level_{0};
  // The group of the start cue a waiting channel starts with.
  std::atomic<std::uint32_t> startGroup_{0};
  TChannelGuard guard_;
  std::atomic<bool> sourceEnded_{false};
  // Bytes of the file the driver's thread has played since the channel last stopped;
  // what the strip's gauge shows.
  std::atomic<std::uint32_t> bytesPlayed_{0};
  // The driver thread's own: the gain for the last level it applied, so that a
  // level change costs one pow and an unchanged level none.
  std::int32_t gainLevel_ = 0;
  float gain_ = 1.0f;
  TSampleRing ring_{kRingSamples};
  std::size_t halfSize_ = 0;

  // The feeder's line, apart from the driver's, so that trying a channel takes no
  // line the driver's thread is reading.
  alignas(64) TChannelGuard streamGuard_;
  std::atomic<bool> feeding_{false};
  std::atomic<bool> lent_{false};
  // Replaced, under the stream guard, only when the host abandons it.
  TSourceRef source_ = std::make_shared<TChannelSource>();
};

// The steps of the host's thread by channel index, for the channel operations. Each
// takes the channels of the open device and the index as valid.
void ResetChannel(std::span<TChannelState> channels, std::int32_t index);
bool OpenChannelStream(std::span<TChannelState> channels, std::int32_t index, const std::string& fileName,
                       WAVEFORMATEX& format);
bool StartChannel(std::span<TChannelState> channels, std::int32_t index, double rate,
                  TStartCue* cue = nullptr);
void CloseChannelStream(std::span<TChannelState> channels, std::int32_t index);

// Stores the level; an index outside the channels is ignored.
void SetChannelLevel(std::span<TChannelState> channels, std::int32_t index, std::int32_t level);

// What a view shows of a channel.
struct TChannelSnapshot {
  // Playing, or waiting for its cue: its Play has succeeded.
  bool Playing = false;
  // Of the file's data played, while playing (see ProgressPercent); 0 when stopped.
  int Percent = 0;
  std::int32_t Level = 0;
};
// The channel as it stands, for display only: a value a moment old shows at the
// view's next look.
TChannelSnapshot Snapshot(TChannelState& channel);

// Bytes played as a whole percentage of DataLength, 0 for no data; never overflows.
int ProgressPercent(std::uint32_t bytesPlayed, std::uint32_t dataLength);

}  // namespace tonvane
