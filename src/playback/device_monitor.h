#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>

namespace tonvane {

// The buffer switches a running device has made, counted on the driver's thread and
// watched on the host's.
class TSwitchCount {
 public:
  static_assert(std::atomic<std::uint32_t>::is_always_lock_free);

  // Driver's thread, once per switch: one load and one store of its own line, no
  // read-modify-write. Two threads switching at once (a driver's first switch inside
  // start(), a late one from another thread) may lose a count, which only the watch
  // reads, and only to see that switches still come.
  void Count() { count_.store(count_.load(std::memory_order_relaxed) + 1, std::memory_order_relaxed); }
  // Host's thread: switches counted so far (wraps).
  std::uint32_t Get() const { return count_.load(std::memory_order_relaxed); }

 private:
  alignas(64) std::atomic<std::uint32_t> count_{0};
};

// What the host's thread does about the device between commands: a reset the driver
// asked for, a device that stopped calling back, a device that is gone and tried
// again. It decides only; the caller carries out, on the host's thread, without
// boxes, and reports back with Started or TryFailed.
//
// The watch: while the driver is started, the switches the driver's thread counts
// must move. A device is taken as gone once they have stood still for Bound(period)
// as the host's looks see it: long enough for several periods of any buffer a
// driver offers and for a host's thread or a machine that is busy for a moment,
// short enough that a show hears about it within a second.
//
// The tries: a gone device is opened again first after kFirstTry, then at intervals
// that double up to kLastTry, so that a device that is away for long costs the
// host's thread little, and one that comes back plays again within kLastTry; a reset
// request from the device meanwhile (drivers send one when their hardware returns)
// has it tried at once.
class TDeviceMonitor {
 public:
  using TClock = std::chrono::steady_clock;
  using TTime = TClock::time_point;

  static constexpr std::chrono::milliseconds kMinSilence{500};
  static constexpr std::chrono::milliseconds kMaxSilence{1000};
  static constexpr int kSilentPeriods = 8;
  static constexpr std::chrono::milliseconds kFirstTry{250};
  static constexpr std::chrono::milliseconds kLastTry{2000};

  enum class TAction {
    None,
    // Close the driver and open it again, keeping the channels.
    Reset,
    // The device has just been taken as gone: close it, keep the channels, say so.
    Lost,
    // Try the open sequence again.
    Retry,
  };

  enum class TState {
    Idle,     // no device to keep: none chosen, or the user's own open failed
    Running,  // started; the watch runs
    Gone,     // to be tried again
  };

  // How long the switches may stand still: kSilentPeriods buffer periods (a period
  // is two halves), no less than kMinSilence and no more than kMaxSilence.
  static std::chrono::nanoseconds Bound(std::int32_t bufferSize, double rate);

  TState State() const { return state_; }

  // The driver was started at `now`, with `switches` counted so far, buffer halves of
  // bufferSize samples at rate Hz.
  void Started(TTime now, std::uint32_t switches, std::int32_t bufferSize, double rate);
  // The device is to be kept but could not be opened (absent at creation, a reset
  // whose open failed): taken as gone, tried again from now.
  void Lost(TTime now);
  // A try did not open it: the next one later.
  void TryFailed(TTime now);
  // Nothing to keep any more (closed, or the user picked another device).
  void Stop() { state_ = TState::Idle; }

  // The host's look: what to do now, given the switches counted so far and whether
  // the driver asked for a reset since the last look. Lost moves to Gone; the caller
  // answers a Retry with Started or TryFailed.
  TAction Poll(TTime now, std::uint32_t switches, bool resetRequested);

 private:
  TState state_ = TState::Idle;
  std::uint32_t switches_ = 0;
  TTime lastMove_{};
  std::chrono::nanoseconds bound_{kMaxSilence};
  TTime nextTry_{};
  std::chrono::milliseconds interval_{kFirstTry};
};

}  // namespace tonvane
