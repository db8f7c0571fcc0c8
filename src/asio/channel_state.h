#pragma once

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <thread>

#include "asio/sample_ring.h"
#include "audio/audio_stream.h"

namespace tonvane {

// What the channel operations need of a channel's strip in the window. The window's
// strip implements it; tests give their own or none.
class IChannelStrip {
 public:
  virtual ~IChannelStrip() = default;
  virtual void SetPlaying(bool playing) = 0;
  // Percentage of the data played; may pass 100 for an MP3 file's estimated length.
  virtual void ShowProgress(int percent) = 0;
  // Moves the slider; a change of position comes back through the strip's level event.
  virtual void SetLevel(std::int32_t level) = 0;
  // The slider's position.
  virtual std::int32_t Level() const = 0;
};

// Keeps part of a channel to one thread at a time. The driver's thread and the feeder
// only ever try it; the host's thread may wait, because they hold it for one
// channel's buffer half or one read at most. Satisfies Lockable, so std::lock_guard
// and std::unique_lock work.
class TChannelGuard {
 public:
  // Acquire on success: what the previous holder did to the stream is visible.
  bool try_lock() { return !busy_.exchange(true, std::memory_order_acquire); }
  void lock() {
    while (busy_.exchange(true, std::memory_order_acquire)) {
      // Spin on a plain load so the waiting thread does not keep taking the cache
      // line from the holder; the holder is the driver's thread, so give way to it.
      while (busy_.load(std::memory_order_relaxed)) std::this_thread::yield();
    }
  }
  // Release: publishes the holder's work on the stream to the next holder.
  void unlock() { busy_.store(false, std::memory_order_release); }

 private:
  std::atomic<bool> busy_{false};
};

// One ASIO output channel.
//
// Three threads share it: the host's (the channel operations), the feeder's (reads
// the stream into the ring) and the driver's (plays the ring). Each guard keeps one
// pair apart, and the host is the only one that ever waits:
// - StreamGuard: the stream, Feeding and the ring's producer side, between the host
//   and the feeder. The feeder only tries it and skips a busy channel.
// - Guard: the ring's consumer side and BytesPlayed, between the host and the
//   driver's thread. The driver's thread only tries it (a busy guard costs that
//   channel one buffer half of silence) and holds it for one channel's copy at most.
// The host takes Guard before StreamGuard; the others take one each, so nobody waits
// in a circle.
//
// Playing and Level are written by the host's thread (Playing also by the driver's
// thread at the end of the data) and read by the driver's thread for every sample:
// - Level carries nothing but its own value; a sample that sees the old level for a
//   moment is as good as one that came a moment earlier.
// - Playing = 1 is stored with release after the ring's first samples, and loaded
//   with acquire, so the first switch that sees it sees them too. The driver's thread
//   reads it only while it holds Guard, and the host stops a channel by storing 0 and
//   then waiting for Guard, so no switch that starts after a stop takes from the ring.
// - SourceEnded is stored with release after the last samples of the file went into
//   the ring: a driver's thread that sees it and finds the ring empty has played
//   the file to its end.
struct TChannelState {
  // Samples read ahead: about 0.7 s at 48 kHz, enough to ride out a slow disk; a
  // driver with larger buffers gets room for four buffer halves at least.
  static constexpr std::size_t kRingSamples = 32768;
  // What a Play puts into the ring before the channel starts, at least: about 20 ms
  // at 48 kHz, time for the feeder to take over even from a sleep.
  static constexpr std::size_t kMinPrefill = 1024;

  // Sizes the ring and the prefill for buffer halves of bufferSize samples; only
  // while no other thread uses the channel. A Play puts two halves in (kMinPrefill
  // at least), so that the first switch after it has sound and the second has a
  // whole buffer period's margin, and no more, so that it starts no later than it
  // would if the driver's thread read the file itself.
  void SizeFor(std::int32_t bufferSize) {
    const auto half = static_cast<std::size_t>(std::max(bufferSize, 0));
    Ring.Resize(std::max(kRingSamples, 4 * half));
    Prefill = std::max(kMinPrefill, 2 * half);
  }

  std::unique_ptr<TAudioStream> Stream = std::make_unique<TAudioStream>();
  std::unique_ptr<IChannelStrip> Strip;
  std::atomic<std::uint8_t> Playing{0};
  std::atomic<std::int32_t> Level{0};
  TChannelGuard Guard;
  TChannelGuard StreamGuard;
  TSampleRing Ring{kRingSamples};
  std::size_t Prefill = kMinPrefill;
  // Under StreamGuard: the stream has been started and has data still to come.
  bool Feeding = false;
  std::atomic<bool> SourceEnded{false};
  // Bytes of the file the driver's thread has played since the channel last stopped;
  // what the strip's gauge shows.
  std::atomic<std::uint32_t> BytesPlayed{0};

  // The driver thread's own: the gain for the last level it applied, so that a
  // level change costs one pow and an unchanged level none.
  std::int32_t GainLevel = 0;
  float Gain = 1.0f;
};

// Under StreamGuard: moves up to `samples` samples from a feeding channel's stream into
// its ring, as far as the ring has room. At the end of the data the stream is closed
// and SourceEnded set. Stops early when the stream answers that it has nothing yet
// (an MP3 decoder fed a stretch without sound). True when the stream was asked.
bool FeedRing(TChannelState& channel, std::size_t samples);

// The channel operations of the host's thread. Each takes the channels of the open
// device; StopChannel and the stream steps take the index as valid.

// Clears Playing, then empties the ring and closes the stream once the driver's
// thread and the feeder have let go of them.
void StopChannel(std::span<TChannelState> channels, std::int32_t index);

// The first half of playing a file: stops the channel and opens the file on its
// stream, filling format. The caller checks the format and then either sets the
// channel playing with StartChannel or gives the stream up with CloseChannelStream.
// False when the file does not open (the stream is then closed).
bool OpenChannelStream(std::span<TChannelState> channels, std::int32_t index, const std::string& fileName,
                       WAVEFORMATEX& format);
// Fills the first part of the ring from the stream that OpenChannelStream opened,
// then lets the feeder carry on and the driver's thread play.
void StartChannel(std::span<TChannelState> channels, std::int32_t index);
// Closes the stream of a stopped channel, as after a file the caller refused.
void CloseChannelStream(std::span<TChannelState> channels, std::int32_t index);

// Stores the level and shows it on the strip; an index outside the channels is ignored.
void SetChannelLevel(std::span<TChannelState> channels, std::int32_t index, std::int32_t level);

// Shows every channel's state and progress on its strip.
void RefreshStrips(std::span<TChannelState> channels);

// Bytes played as a whole percentage of DataLength, 0 for no data; never overflows.
int ProgressPercent(std::uint32_t bytesPlayed, std::uint32_t dataLength);

}  // namespace tonvane
