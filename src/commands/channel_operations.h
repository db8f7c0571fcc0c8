#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "playback/device_view.h"
#include "commands/channel_control.h"

namespace tonvane {

// The operations the command language and the strips call on the channels of a
// device, on the host's thread. Failures of a Play are shown through showError
// (the window's error box), which may run a message loop: nothing of the channel is
// touched after it.
class TChannelOperations final : public IChannelControl {
 public:
  TChannelOperations(IDeviceView& device, std::function<void(const std::string&)> showError);

  bool DriverOpen() const override;
  int ChannelCount() const override;
  // The play command's sequence: stops the channel, opens the file, checks its format
  // against the device's rate (asked once the file is open), stores and shows the
  // level if one is given, and only then puts the channel in the start cue, to start
  // with the Plays sent together with it, and wakes the feeder.
  // On a fault the stream is closed and the channel left stopped at its earlier
  // level, then the message is shown.
  bool PlayFile(int index, const std::string& fileName, std::optional<std::int32_t> level) override;
  void StopChannel(int index) override;
  void SetChannelLevel(int index, std::int32_t level) override;

 private:
  IDeviceView& device_;
  std::function<void(const std::string&)> showError_;
};

}  // namespace tonvane
