#pragma once

// The virtual device's own time in a process. Its events (a reset request, a
// drop-out) happen once, at times counted from the first init in the process, and
// what they change (the buffer size after a reset) lasts, whichever driver object
// the host has open by then: a host that releases the driver and creates it again
// meets the device as it is at that moment, as it would meet real hardware.
//
// Kept in the process's environment, not in the DLL: COM may unload the DLL when
// the host releases its last driver object, and the device must not start over
// then. A test that wants a new device clears the variable.

#include <cstdint>

namespace tonvane::vasio {

inline constexpr char kTimelineVariable[] = "TonvaneVirtualAsioTimeline";

struct TTimeline {
  // GetTickCount64 at the first init in the process.
  std::uint64_t StartMs = 0;
  bool ResetSent = false;
  // The buffer size from the reset on; 0: as configured.
  std::int32_t Buffer = 0;
  // When the reset request went out, and when the last driver object started made its
  // first switch, in milliseconds on the timeline; -1: not yet. What a measurement
  // reads: from a request, or from the end of a drop-out, to the reopened device.
  std::int64_t ResetAt = -1;
  std::int64_t SwitchAt = -1;
  // Starts that made a switch: how often a host opened the device and had it run.
  std::int32_t Starts = 0;

  // Milliseconds since the first init.
  std::int64_t Now() const;
};

// The process's timeline; the first call starts it.
TTimeline ReadTimeline();
// The reset request has gone out: later inits take `buffer` (0: unchanged).
void MarkResetSent(std::int32_t buffer);
// A driver object started has made its first switch.
void MarkFirstSwitch();

}  // namespace tonvane::vasio
