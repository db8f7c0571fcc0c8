#include "commands/channel_operations.h"

#include <exception>

#include "playback/channel_state.h"
#include "playback/sample_types.h"
#include "base/exception.h"
#include "commands/format_check.h"

namespace tonvane {

TChannelOperations::TChannelOperations(IDeviceView& device, TPlayFaultReport reportFault)
    : device_(device), reportFault_(std::move(reportFault)) {}

bool TChannelOperations::DriverOpen() const { return device_.IsOpen(); }

bool TChannelOperations::DeviceStopped() const { return device_.Stopped(); }

int TChannelOperations::ChannelCount() const { return static_cast<int>(device_.ChannelCount()); }

bool TChannelOperations::SampleTypeWritten() const { return SampleTypeSupported(device_.SampleType()); }

bool TChannelOperations::PlayFile(int index, const std::string& fileName, std::optional<std::int32_t> level,
                                  std::string& unshown) {
  // Refused before the channel is touched: what it plays carries on once the device
  // is back, and this Play never sounds.
  if (device_.Stopped()) {
    if (!reportFault_(index, fileName, kDeviceStopped))
      unshown = std::string(kDeviceStopped) + ": " + fileName;
    return false;
  }
  const std::span<TChannelState> channels = device_.Channels();
  TStartCue& cue = device_.Cue();
  // From here on the cue waits for this Play before it starts the others.
  cue.Arrive();
  std::string problem;
  try {
    // A strip left by a failed open has no driver to ask for its rate.
    if (!device_.IsOpen()) {
      ResetChannel(channels, index);
      throw Exception("No ASIO device open");
    }
    // Nothing would be heard: the engine writes only silence in such a type.
    if (!SampleTypeWritten()) throw Exception("Required sample type not supported");
    WAVEFORMATEX format{};
    const bool opened = OpenChannelStream(channels, index, fileName, format);
    const double rate = opened ? device_.SampleRate() : 0;
    CheckOpenedForPlay(opened, format, WholeRate(rate));
    // Before Playing: the driver's thread may switch at any moment from here on, and
    // its first samples of this file must already have the level asked for.
    if (level) tonvane::SetChannelLevel(channels, index, *level);
    // The file opened, but its sound could not be read even after a few tries (a
    // stick or a share that fails): nothing of it will play.
    if (!StartChannel(channels, index, rate, &cue)) throw Exception("Unable to read file");
    device_.FeedNow();
    return true;
  } catch (const std::exception& e) {
    problem = e.what();
  }
  // Closed before the box: a Play of the same channel that arrives while the box is
  // up must not be cut off when it is dismissed; and the cue waits no longer.
  CloseChannelStream(channels, index);
  cue.Leave();
  if (!reportFault_(index, fileName, problem)) unshown = problem + ": " + fileName;
  return false;
}

void TChannelOperations::StopChannel(int index) { ResetChannel(device_.Channels(), index); }

void TChannelOperations::SetChannelLevel(int index, std::int32_t level) {
  tonvane::SetChannelLevel(device_.Channels(), index, level);
}

}  // namespace tonvane
