#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "playback/channel_state.h"
#include "playback/start_cue.h"

namespace tonvane {

// What the channel operations need of the open device, on the host's thread. The
// ASIO device implements it; tests and benchmarks give their own.
class IDeviceView {
 public:
  virtual ~IDeviceView() = default;
  // A driver is open.
  virtual bool IsOpen() const = 0;
  // The device stopped calling back, or could not be opened again, and is being
  // tried again: its channels keep their places, and nothing new may play.
  virtual bool Stopped() const { return false; }
  // The driver's current rate in Hz, as it reports it.
  virtual double SampleRate() const = 0;
  // The ASIO sample type of its outputs.
  virtual std::int32_t SampleType() const = 0;
  // One state per output channel; empty before any open.
  virtual std::span<TChannelState> Channels() = 0;
  virtual std::size_t ChannelCount() const = 0;
  // A channel has just started: its feeder should fill the ring now, not after its
  // next sleep.
  virtual void FeedNow() = 0;
  // Where Plays sent together gather to start together.
  virtual TStartCue& Cue() = 0;
};

}  // namespace tonvane
