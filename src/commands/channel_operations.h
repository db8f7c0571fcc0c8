#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "playback/device_view.h"
#include "commands/channel_control.h"

namespace tonvane {

// How a failed Play is reported: true when shown in the window's error box, which
// may run a message loop; false when the boxes are off and the caller is to hand the
// reason on.
using TPlayFaultReport =
    std::function<bool(int index, const std::string& fileName, const std::string& reason)>;

// The operations the command language and the strips call on the channels of a
// device, on the host's thread. Failures of a Play go to reportFault: nothing of the
// channel is touched after it.
class TChannelOperations final : public IChannelControl {
 public:
  TChannelOperations(IDeviceView& device, TPlayFaultReport reportFault);

  bool DriverOpen() const override;
  bool DeviceStopped() const override;
  int ChannelCount() const override;
  bool SampleTypeWritten() const override;
  // The play command's sequence: stops the channel, opens the file, checks its format
  // against the device's rate (asked once the file is open), stores and shows the
  // level if one is given, and only then puts the channel in the start cue, to start
  // with the Plays sent together with it, and wakes the feeder.
  // On a fault the stream is closed and the channel left stopped at its earlier
  // level, then the message is reported.
  bool PlayFile(int index, const std::string& fileName, std::optional<std::int32_t> level,
                std::string& unshown) override;
  void StopChannel(int index) override;
  void SetChannelLevel(int index, std::int32_t level) override;

 private:
  IDeviceView& device_;
  TPlayFaultReport reportFault_;
};

}  // namespace tonvane
