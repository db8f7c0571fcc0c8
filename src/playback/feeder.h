#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <span>
#include <utility>
#include <vector>

#include "playback/channel_state.h"

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
  // Last thing on each feeder thread, after it let go of everything of the feeder's;
  // may end the thread without returning.
  std::function<void()> AtEnd;
};

// The device's feeder: threads of its own that keep the playing channels' rings
// filled, so that the driver's thread only copies, scales and writes. It runs while
// the driver runs: started just before the driver and stopped before it, and so
// before the channels go.
//
// A read may hang for as long as its storage does (a network share reconnecting, a
// USB stick remapping a block). A thread stuck in one holds up only that channel:
// a watcher thread, which reads nothing, sees how many threads are free to read and
// starts another whenever fewer than kThreads are, up to one per channel and
// kThreads more. A thread that comes back from a stall while enough others are free
// ends. Nobody waits for a stuck thread: the host abandons its source to it (see
// TChannelSource), and Stop leaves it to end on its own once its read returns.
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
  // ring (0.17 s at 192 kHz). A Play that finds every thread stuck has one started at
  // once; the 20 ms its ring starts with are exposed only to a stall of every thread
  // that began less than this before it.
  static constexpr std::chrono::milliseconds kStuck{40};

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
