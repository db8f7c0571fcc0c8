#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace tonvane {

// What the command language needs of the main window: the state of the device and
// the operations on its channels. Channels are addressed by zero-based index.
class IChannelControl {
 public:
  virtual ~IChannelControl() = default;

  // An ASIO driver object is open.
  virtual bool DriverOpen() const = 0;
  // The device has stopped and is being opened again (see IDeviceView::Stopped).
  virtual bool DeviceStopped() const { return false; }
  // Number of channel states; 0 before any device has been opened.
  virtual int ChannelCount() const = 0;

  // The open device's sample type is one the engine writes.
  virtual bool SampleTypeWritten() const = 0;
  // The index is valid; a level, when given, is 0 or below and is in place before
  // the file's first sample plays. On failure returns false, leaving the level as it
  // was, and shows the reason in its error box; with the boxes off, it leaves the
  // reason and the file in unshown instead ("Sound must be mono: <file>").
  virtual bool PlayFile(int index, const std::string& fileName, std::optional<std::int32_t> level,
                        std::string& unshown) = 0;
  // The index is valid.
  virtual void StopChannel(int index) = 0;
  // Checks the index itself: an invalid one is ignored. May throw tonvane::Exception.
  virtual void SetChannelLevel(int index, std::int32_t level) = 0;
};

}  // namespace tonvane
