#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <thread>

#include "audio/audio_stream.h"

namespace tonvane {

// What the channel operations need of a channel's strip in the window. The window's
// strip implements it; tests give their own or none.
class IChannelStrip {
 public:
  virtual ~IChannelStrip() = default;
  virtual void SetPlaying(bool playing) = 0;
  // Percentage of the data read; may pass 100 for an MP3 file's estimated length.
  virtual void ShowProgress(int percent) = 0;
  // Moves the slider; a change of position comes back through the strip's level event.
  virtual void SetLevel(std::int32_t level) = 0;
  // The slider's position.
  virtual std::int32_t Level() const = 0;
};

// Keeps a channel's stream to one thread at a time. The driver's thread only ever
// tries it (a busy guard costs that channel one buffer half of silence); the host's
// thread may wait, because the driver's thread holds it for one channel's buffer
// half at most. Satisfies Lockable, so std::lock_guard and std::unique_lock work.
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
// Playing and Level are written by the host's thread (Playing also by the driver's
// thread at the end of a stream) and read by the driver's thread for every sample.
// Relaxed order is enough for both:
// - Level carries nothing but its own value; a sample that sees the old level for a
//   moment is as good as one that came a moment earlier.
// - Playing does not publish the stream: the driver's thread reads Playing only while
//   it holds Guard, and the host opens, closes and (after Open) sets Playing to 1
//   around that guard. A relaxed load inside the guard cannot see a 1 stored after an
//   Open whose guard section it came before (that store happens after the load), and
//   once it sees the 1 its own guard section came after the Open's. A 0 stored before
//   a Close that waits for the guard is ordered before the next holder by the guard.
struct TChannelState {
  std::unique_ptr<TAudioStream> Stream = std::make_unique<TAudioStream>();
  std::unique_ptr<IChannelStrip> Strip;
  std::atomic<std::uint8_t> Playing{0};
  std::atomic<std::int32_t> Level{0};
  TChannelGuard Guard;

  // The driver thread's own: the gain for the last level it applied, so that a
  // level change costs one pow and an unchanged level none.
  std::int32_t GainLevel = 0;
  float Gain = 1.0f;
};

// The channel operations of the host's thread. Each takes the channels of the open
// device; StopChannel and the stream steps take the index as valid.

// Clears Playing, then closes the stream once the driver's thread has let go of it.
void StopChannel(std::span<TChannelState> channels, std::int32_t index);

// The first half of playing a file: stops the channel and opens the file on its
// stream, filling format. The caller checks the format and then either sets the
// channel playing with StartChannel or gives the stream up with CloseChannelStream.
// False when the file does not open (the stream is then closed).
bool OpenChannelStream(std::span<TChannelState> channels, std::int32_t index, const std::string& fileName,
                       WAVEFORMATEX& format);
// Lets the driver's thread take samples from the stream that OpenChannelStream opened.
void StartChannel(std::span<TChannelState> channels, std::int32_t index);
// Closes the stream of a stopped channel, as after a file the caller refused.
void CloseChannelStream(std::span<TChannelState> channels, std::int32_t index);

// Stores the level and shows it on the strip; an index outside the channels is ignored.
void SetChannelLevel(std::span<TChannelState> channels, std::int32_t index, std::int32_t level);

// Shows every channel's state and progress on its strip.
void RefreshStrips(std::span<TChannelState> channels);

// BytesRead as a whole percentage of DataLength, 0 for no data; never overflows.
int ProgressPercent(std::uint32_t bytesRead, std::uint32_t dataLength);

}  // namespace tonvane
