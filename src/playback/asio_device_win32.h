#pragma once

#include <windows.h>

#include <cstdint>
#include <span>
#include <vector>

#include "asio_driver_win32.h"
#include "playback/device_view.h"
#include "asio/driver_list_win32.h"
#include "playback/engine.h"
#include "playback/feeder.h"
#include "base/module_hold_win32.h"

namespace tonvane {

// The ASIO device the window drives: the installed drivers, the open driver, the
// callback table it calls, the buffer records and the channel states the buffer
// switch fills. Every operation runs on the host's thread; the driver's thread comes
// in only through the buffer-switch callback, and the feeder's threads, which read
// the files into the rings, touch the channels only from Start to Close. An operation that fails raises
// tonvane::Exception with the message the user is shown.
class TAsioDevice final : public IDeviceView {
 public:
  TAsioDevice();
  ~TAsioDevice();
  TAsioDevice(const TAsioDevice&) = delete;
  TAsioDevice& operator=(const TAsioDevice&) = delete;

  // Loads OpenAsio.dll and lists the installed drivers.
  void ListDrivers();
  const TAsioDriverList& Drivers() const { return drivers_; }

  // The first steps of an open: creates driver `index` of the list, initialises it
  // with the window it may send messages to, and reads its outputs and the sample
  // type of output 0 (the type every channel is written in).
  void Open(int index, HWND owner);
  std::int32_t Outputs() const { return outputs_; }
  std::int32_t SampleType() const { return state_.SampleType; }
  // The standard rates in Hz that the open driver accepts, in ascending order.
  std::vector<std::int32_t> StandardRates();
  void SetRate(std::int32_t rate);
  // The open driver's current rate; 0 without one.
  double SampleRate() const override;
  // Reads the buffer size and makes one output buffer record and one stopped channel
  // at 0 dB per output. The channels' strips are the caller's to attach.
  void BuildChannels();
  // Creates the buffers and starts the feeder and the driver.
  void Start();
  // Stops the feeder and the driver and lets go of the open driver; the channels stay.
  void Close();
  void FreeChannels();
  // The window is going: the device closes, its channels go and the driver library
  // is unloaded.
  void Destroy();
  // The library is being unloaded (processExit: the whole process is ending).
  void ShutDown(bool processExit);

  bool IsOpen() const override { return static_cast<bool>(driver_); }
  std::span<TChannelState> Channels() override { return state_.Channels; }
  std::size_t ChannelCount() const override { return state_.Channels.size(); }
  void FeedNow() override { feeder_.Wake(); }
  TStartCue& Cue() override { return state_.Cue; }

 private:
  // Sends the driver's switches nowhere, and waits out any still in flight.
  void StopSwitching();

  TAsioDriverList drivers_;
  TAsioDriverRef driver_;
  ASIOCallbacks callbacks_{};
  std::int32_t outputs_ = 0;
  TDeviceState state_;
  TFeeder feeder_;
  TModuleHold runningHold_;
  // Left to the end of the process.
  bool forgotten_ = false;
};

}  // namespace tonvane
