#pragma once

#include <atomic>
#include <cstdint>

namespace tonvane {

// What the driver's callbacks leave for the host's thread, which alone acts on it.
// The callbacks may come on any thread, inside a buffer switch or outside, and on
// some drivers on a thread where a Win32 or C-runtime call crashes: they only store
// into these atomics, which are lock-free on every target.
class TDeviceSignals {
 public:
  static_assert(std::atomic<std::uint32_t>::is_always_lock_free && std::atomic<bool>::is_always_lock_free);

  // Driver's thread, once per buffer switch: one load and one store of its own line,
  // no read-modify-write. Two threads switching at once (a driver's first switch
  // inside start(), a late one from another thread) may lose a count, which only
  // the host's watch reads, and only to see that switches still come.
  void CountSwitch() {
    switches_.store(switches_.load(std::memory_order_relaxed) + 1, std::memory_order_relaxed);
  }
  // Host's thread: switches counted so far (wraps).
  std::uint32_t Switches() const { return switches_.load(std::memory_order_relaxed); }

  // Any thread: the driver asks to be reset. Several requests before the host gets
  // to them are one reset.
  void RequestReset() { resetRequested_.store(true, std::memory_order_relaxed); }
  // Host's thread: whether a reset was asked for since the last call.
  bool TakeResetRequest() {
    return resetRequested_.load(std::memory_order_relaxed) &&
           resetRequested_.exchange(false, std::memory_order_relaxed);
  }

 private:
  alignas(64) std::atomic<std::uint32_t> switches_{0};
  alignas(64) std::atomic<bool> resetRequested_{false};
};

// The answer to the driver's asioMessage, recording what the host's thread is to do.
// kAsioSelectorSupported is 1 for the selectors handled here; kAsioEngineVersion is
// 2; a reset request is recorded and answers 1. Everything else answers 0: a buffer
// size change, so that the driver falls back to a reset request; time info, which
// the buffer switch does not use.
std::int32_t AnswerAsioMessage(TDeviceSignals& signals, std::int32_t selector, std::int32_t value);

}  // namespace tonvane
