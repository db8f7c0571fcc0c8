#pragma once

#include <condition_variable>
#include <cstddef>
#include <functional>
#include <mutex>
#include <span>
#include <thread>
#include <utility>
#include <vector>

#include "asio/channel_state.h"

namespace tonvane {

// Samples waiting in a channel's ring, and the channel.
using TFeedOrder = std::pair<std::size_t, std::size_t>;

// One round of the feeder's work: every channel with file still to come and room in
// its ring gets up to kFeedChunk samples, the channel with the fewest samples waiting
// first. A channel another thread holds is left for the next round. `order` is
// scratch space, kept by the caller so that a round allocates nothing once it has
// grown. True when some stream was read, even if it gave nothing yet.
bool FeedChannels(std::span<TChannelState> channels, std::vector<TFeedOrder>& order);

// The device's feeder: threads of its own that keep the playing channels' rings
// filled, so that the driver's thread only copies, scales and writes. It runs while
// the driver runs: started just before the driver and stopped before it, and so
// before the channels go.
//
// There are two threads so that one stream stuck in a read (a disk that stalls, a
// network share that hangs) holds up only one of them: the other keeps every other
// channel filled, and the stuck channel alone falls silent once its ring is empty.
class TFeeder {
 public:
  static constexpr int kThreads = 2;
  // Samples one visit moves into a ring at most, so that each round serves every
  // channel before any gets much further ahead.
  static constexpr std::size_t kFeedChunk = 4096;
  // A ring with less room than this is left alone: reading in larger pieces makes
  // fewer system calls.
  static constexpr std::size_t kMinRoom = 1024;

  TFeeder() = default;
  ~TFeeder() { Stop(); }
  TFeeder(const TFeeder&) = delete;
  TFeeder& operator=(const TFeeder&) = delete;

  // The channels must stay where they are until Stop has returned. Each thread runs
  // atStart first (to raise its priority, say). Throws std::system_error, with
  // nothing running, when a thread cannot be made.
  void Start(std::span<TChannelState> channels, std::function<void()> atStart = {});
  // Waits for the threads to finish their round; harmless when not running.
  void Stop();
  // Ends the threads' sleep at once; harmless when not running.
  void Wake();
  // For a process that is ending, whose threads the system has already ended:
  // forgets them without waiting.
  void Abandon();

 private:
  void Run();

  std::span<TChannelState> channels_;
  std::mutex mutex_;
  std::condition_variable wake_;
  bool stop_ = false;
  // A wake no thread has begun a round for since.
  bool woken_ = false;
  std::function<void()> atStart_;
  std::vector<std::thread> threads_;
};

}  // namespace tonvane
