#pragma once

#include <cstdint>
#include <vector>

#include "asio_types.h"
#include "playback/channel_state.h"

namespace tonvane {

// The open device as the buffer switch sees it. Built, resized and emptied only
// while the driver is stopped; while it runs, only the channels' Playing, Level and
// streams and the start cue change, through the channel operations.
struct TDeviceState {
  std::int32_t BufferSize = 0;  // samples per buffer half
  std::int32_t SampleType = 0;  // of output channel 0, used for every channel
  std::vector<ASIOBufferInfo> BufferInfos;
  std::vector<TChannelState> Channels;
  TStartCue Cue;
};

// The work of one buffer switch, on the driver's thread: fills buffer half h (0 or 1)
// of every channel with its next BufferSize samples from the channel's ring,
// level-scaled and in the device's sample type, starts the channels of a cue whose
// time has come, and stops a channel whose file has been played to its end. Never waits, allocates nothing,
// reads no file: a channel the host's thread is stopping, or whose ring the feeder has not kept up with, gets
// silence for what is missing.
void FillBuffers(TDeviceState& device, std::int32_t h);

// The 32-bit float nearest to 10^(level/20).
float LevelGain(std::int32_t level);

}  // namespace tonvane
