#include "playback/device_monitor.h"

#include <algorithm>

namespace tonvane {

std::chrono::nanoseconds TDeviceMonitor::Bound(std::int32_t bufferSize, double rate) {
  const std::chrono::nanoseconds floor = kMinSilence, ceiling = kMaxSilence;
  if (bufferSize <= 0 || !(rate > 0)) return ceiling;
  const double seconds = kSilentPeriods * 2.0 * bufferSize / rate;
  if (seconds >= std::chrono::duration<double>(ceiling).count()) return ceiling;
  const auto periods =
      std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::duration<double>(seconds));
  return std::clamp(periods, floor, ceiling);
}

void TDeviceMonitor::Started(TTime now, std::uint32_t switches, std::int32_t bufferSize, double rate) {
  state_ = TState::Running;
  switches_ = switches;
  lastMove_ = now;
  bound_ = Bound(bufferSize, rate);
  interval_ = kFirstTry;
}

void TDeviceMonitor::Lost(TTime now) {
  state_ = TState::Gone;
  interval_ = kFirstTry;
  nextTry_ = now + interval_;
}

void TDeviceMonitor::TryFailed(TTime now) {
  state_ = TState::Gone;
  interval_ = std::min(interval_ * 2, kLastTry);
  nextTry_ = now + interval_;
}

TDeviceMonitor::TAction TDeviceMonitor::Poll(TTime now, std::uint32_t switches, bool resetRequested) {
  switch (state_) {
    case TState::Idle:
      return TAction::None;
    case TState::Running:
      if (resetRequested) return TAction::Reset;
      if (switches != switches_) {
        switches_ = switches;
        lastMove_ = now;
        return TAction::None;
      }
      if (now - lastMove_ <= bound_) return TAction::None;
      Lost(now);
      return TAction::Lost;
    case TState::Gone:
      return resetRequested || now >= nextTry_ ? TAction::Retry : TAction::None;
  }
  return TAction::None;
}

}  // namespace tonvane
