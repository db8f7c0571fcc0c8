#include "commands/channel_operations.h"

#include <exception>

#include "playback/channel_state.h"
#include "base/exception.h"
#include "commands/format_check.h"

namespace tonvane {

TChannelOperations::TChannelOperations(IDeviceView& device, std::function<void(const std::string&)> showError)
    : device_(device), showError_(std::move(showError)) {}

bool TChannelOperations::DriverOpen() const { return device_.IsOpen(); }

int TChannelOperations::ChannelCount() const { return static_cast<int>(device_.ChannelCount()); }

bool TChannelOperations::PlayFile(int index, const std::string& fileName, std::optional<std::int32_t> level) {
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
    WAVEFORMATEX format{};
    const bool opened = OpenChannelStream(channels, index, fileName, format);
    const double rate = opened ? device_.SampleRate() : 0;
    CheckOpenedForPlay(opened, format, WholeRate(rate));
    // Before Playing: the driver's thread may switch at any moment from here on, and
    // its first samples of this file must already have the level asked for.
    if (level) tonvane::SetChannelLevel(channels, index, *level);
    StartChannel(channels, index, rate, &cue);
    device_.FeedNow();
    return true;
  } catch (const std::exception& e) {
    problem = e.what();
  }
  // Closed before the box: a Play of the same channel that arrives while the box is
  // up must not be cut off when it is dismissed; and the cue waits no longer.
  CloseChannelStream(channels, index);
  cue.Leave();
  showError_(problem);
  return false;
}

void TChannelOperations::StopChannel(int index) { ResetChannel(device_.Channels(), index); }

void TChannelOperations::SetChannelLevel(int index, std::int32_t level) {
  tonvane::SetChannelLevel(device_.Channels(), index, level);
}

}  // namespace tonvane
