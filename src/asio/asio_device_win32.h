#pragma once

#include <windows.h>

#include <cstdint>
#include <span>
#include <vector>

#include "asio_driver_win32.h"
#include "asio/device_signals.h"
#include "asio/device_view.h"
#include "asio/driver_list_win32.h"
#include "asio/engine.h"
#include "asio/feeder.h"
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
  std::int32_t SampleType() const override { return state_.SampleType; }
  // The standard rates in Hz that the open driver accepts, in ascending order.
  std::vector<std::int32_t> StandardRates();
  void SetRate(std::int32_t rate);
  // The open driver's current rate; 0 without one.
  double SampleRate() const override;
  // Reads the buffer size and makes one output buffer record and one stopped channel
  // at 0 dB per output. The channels' strips are the caller's to attach.
  void BuildChannels();
  // The same for a device opened again (after Suspend): the channels it still has
  // keep their files, places, levels, rings and strips; those it no longer has are
  // stopped and go. False when they could not be kept (a device with more outputs
  // than before, or buffers too large for the rings): they were built anew, stopped,
  // and need their strips.
  bool RebuildChannels();
  std::int32_t BufferSize() const { return state_.BufferSize; }
  // Creates the buffers and starts the feeder and the driver.
  void Start();
  // Stops the feeder and the driver and lets go of the open driver; the channels stay.
  void Close();
  // The same, but the channels are left as they are, playing or waiting in the cue:
  // for a device that is to be opened again and carry on where it stopped.
  void Suspend();
  void FreeChannels();
  // The window is going: the device closes, its channels go and the driver library
  // is unloaded.
  void Destroy();
  // The library is being unloaded (processExit: the whole process is ending).
  void ShutDown(bool processExit);

  // What the driver's callbacks have told: switches counted, resets asked for.
  static TDeviceSignals& Signals();

  bool IsOpen() const override { return static_cast<bool>(driver_); }
  bool Stopped() const override { return stopped_; }
  // Set while the device is kept but not running, and tried again.
  void SetStopped(bool stopped) { stopped_ = stopped; }
  std::span<TChannelState> Channels() override { return state_.Channels; }
  std::size_t ChannelCount() const override { return state_.Channels.size(); }
  void FeedNow() override { feeder_.Wake(); }
  TStartCue& Cue() override { return state_.Cue; }

 private:
  // Sends the driver's switches nowhere, and waits out any still in flight.
  void StopSwitching();
  // The driver's preferred buffer size, and one output buffer record per output.
  void ReadBufferSize();

  TAsioDriverList drivers_;
  TAsioDriverRef driver_;
  ASIOCallbacks callbacks_{};
  std::int32_t outputs_ = 0;
  TDeviceState state_;
  TFeeder feeder_;
  TModuleHold runningHold_;
  // Left to the end of the process.
  bool forgotten_ = false;
  bool stopped_ = false;
};

}  // namespace tonvane
