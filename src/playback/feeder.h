#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <span>
#include <utility>
#include <vector>

#include "playback/channel_feed.h"

namespace tonvane {

// Samples waiting in a channel's ring, and the channel.
using TFeedOrder = std::pair<std::size_t, std::size_t>;

// One round of a feeder thread's work: every channel with file still to come and
// room in its ring gets a visit of up to kFeedChunk samples, the channel with the
// fewest samples waiting first. A channel another thread has is left for the next
// round. `order` is scratch space, kept by the caller so that a round allocates
// nothing once it has grown. Worked when some stream gave samples or was worked
// through; Gone when the watch said to touch the channels no more.
TVisit FeedChannels(std::span<TChannelState> channels, std::vector<TFeedOrder>& order,
                    IReadWatch* watch = nullptr);

// How the platform starts and ends the feeder's threads. Each may be empty.
struct TFeederThreadHooks {
  // On the thread that makes a feeder thread, before it does: keeps the code the
  // thread runs loaded until that thread's AtEnd.
  std::function<void()> Hold;
  // The thread could not be made: lets go of what Hold took.
  std::function<void()> Unhold;
  // First thing on each feeder thread (to raise its priority, say).
  std::function<void()> AtStart;
  // Makes a thread that runs `body` and then ends, in a way that may not return to
  // the caller's code (FreeLibraryAndExitThread): once `body` has returned and been
  // destroyed, nothing of the feeder's is left on the thread. False when no thread
  // could be made. Empty: a detached std::thread.
  std::function<bool(std::function<void()> body)> Launch;
};

// The device's feeder: threads of its own that keep the playing channels' rings
// filled, so that the driver's thread only copies, scales and writes. It runs while
// the driver runs: started just before the driver and stopped before it, and so
// before the channels go.
//
// A read may hang for as long as its storage does (a network share reconnecting, a
// USB stick remapping a block). A thread stuck in one holds up only that channel:
// a watcher thread, which reads nothing, sees how many threads are free to read and
// starts another whenever fewer than kThreads are, or as soon as every thread has
// been inside a read for a few milliseconds while a channel runs low (a cue that
// starts healthy files beside files that stall at once must not wait for a stall to
// be noticed). The threads for
// live channels are limited to one per channel and 2 * kThreads more. A thread stuck
// in a read of a source the host has abandoned (a Stop, or a new Play, of a channel
// whose read hangs) no longer counts against that limit but against its own,
// kAbandonedThreads; once that too is met, no thread is started for anything until
// stuck reads return, and channels whose threads are all stuck go silent. A thread
// that has been idle for kRetire while enough others are free ends. Nobody waits for
// a stuck thread: the host abandons its source to it (see TChannelSource), and Stop
// leaves it to end on its own once its read returns.
class TFeeder {
 public:
  // Threads free to read at any time.
  static constexpr int kThreads = 2;
  // Samples one visit moves into a ring at most, so that each round serves every
  // channel before any gets much further ahead.
  static constexpr std::size_t kFeedChunk = 4096;
  // A ring with less room than this is left alone: reading in larger pieces makes
  // fewer system calls.
  static constexpr std::size_t kMinRoom = 1024;
  // A visit that has been reading this long is taken as stuck: far longer than a
  // disk's seek or a busy machine's time slice, far shorter than a playing channel's
  // ring (0.17 s at 192 kHz). A channel that runs low does not wait for it.
  static constexpr std::chrono::milliseconds kStuck{40};
  // Threads stuck in reads of abandoned sources, at most: each holds a stack and a
  // file handle until its storage answers.
  static constexpr int kAbandonedThreads = 16;
  // How long a thread more than needed stays idle before it ends: long enough that
  // storage whose every read takes longer than kStuck keeps a steady number of
  // threads rather than starting and ending them by the dozen.
  static constexpr std::chrono::seconds kRetire{5};
  // A channel with fewer samples than this waiting (0.17 s at 48 kHz) runs low.
  static constexpr std::size_t kLowWater = 8192;

  TFeeder() = default;
  ~TFeeder() { Stop(); }
  TFeeder(const TFeeder&) = delete;
  TFeeder& operator=(const TFeeder&) = delete;

  // The channels must stay where they are until Stop has returned. Throws
  // std::system_error, with nothing running, when a thread cannot be made.
  void Start(std::span<TChannelState> channels, TFeederThreadHooks hooks = {});
  // Returns once no feeder thread touches the channels any more: the threads that
  // are not inside a read end at once, and those that are, once it returns, without
  // touching a channel. Harmless when not running.
  void Stop();
  // Ends the threads' sleep at once, and makes sure a thread is free to read even if
  // every one is inside a read just now; harmless when not running.
  void Wake();
  // For a process that is ending, whose threads the system has already ended:
  // forgets them and everything they used, without waiting or freeing.
  void Abandon();
  // Feeder threads alive, the watcher aside.
  int Threads() const;

  // What the threads share (feeder.cpp).
  struct TPool;

 private:
  std::shared_ptr<TPool> pool_;
};

}  // namespace tonvane
