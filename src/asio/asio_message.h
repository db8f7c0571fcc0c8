#pragma once

#include <atomic>
#include <cstdint>

#include "asio_types.h"

namespace tonvane {

// A reset the driver asked for, left for the host's thread, which alone carries it
// out. The driver's asioMessage may come on any thread, inside a buffer switch or
// outside, and on some drivers on a thread where a Win32 or C-runtime call crashes:
// it only stores into this atomic, which is lock-free on every target.
class TResetRequest {
 public:
  static_assert(std::atomic<bool>::is_always_lock_free);

  // Any thread. Several requests before the host gets to them are one reset.
  void Request() { requested_.store(true, std::memory_order_relaxed); }
  // Host's thread: whether a reset was asked for since the last call.
  bool Take() {
    return requested_.load(std::memory_order_relaxed) &&
           requested_.exchange(false, std::memory_order_relaxed);
  }

 private:
  std::atomic<bool> requested_{false};
};

// The answer to the driver's asioMessage. kAsioSelectorSupported is 1 for the
// selectors handled here; kAsioEngineVersion is 2; a reset request is recorded and
// answers 1. Everything else answers 0: a buffer size change, so that the driver
// falls back to a reset request; a resync or a latency change, which need nothing
// here (the buffer switch uses no sample positions and reports no latency); time
// info, which the buffer switch does not take.
inline std::int32_t AnswerAsioMessage(TResetRequest& reset, std::int32_t selector, std::int32_t value) {
  switch (selector) {
    case kAsioSelectorSupported:
      return value == kAsioEngineVersion || value == kAsioResetRequest || value == kAsioResyncRequest ||
                     value == kAsioLatenciesChanged
                 ? 1
                 : 0;
    case kAsioEngineVersion:
      return 2;
    case kAsioResetRequest:
      reset.Request();
      return 1;
    default:
      return 0;
  }
}

}  // namespace tonvane
