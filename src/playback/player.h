#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "asio/asio_device.h"
#include "playback/device_monitor.h"
#include "playback/device_view.h"
#include "playback/engine.h"
#include "playback/feeder.h"

namespace tonvane {

// What the one who asks for an open sees of it, step by step, on the host's thread.
// Each step may show something (and run a message loop while it does); the defaults
// show nothing and take the first rate, as a reopen without boxes wants.
class TOpenWatch {
 public:
  virtual ~TOpenWatch() = default;
  // The driver is initialised and the sample type of its channels is known.
  virtual void SampleTypeRead(std::int32_t /*sampleType*/) {}
  // Which of the rates the driver accepts (in Hz, ascending, never empty) to set:
  // an index into rates.
  virtual std::size_t PickRate(const std::vector<std::int32_t>& /*rates*/) { return 0; }
  // The driver took the rate.
  virtual void RateSet(std::int32_t /*rate*/) {}
  // The channels stand, one per output; the driver starts next.
  virtual void ChannelsBuilt() {}
};

// The player: the connection to one ASIO device (the open sequence, the buffers,
// the start and the close), the channels that play on it, the feeder that fills
// their rings and the cue that starts Plays sent together. Every call is the host's
// thread's; the driver's thread comes in only through the buffer switch, the
// feeder's threads touch the channels only while the driver runs. A step that fails
// raises tonvane::Exception with the message the user is shown.
//
// The channels outlive a close: a device opened again keeps those it still has,
// their levels with them. Only FreeChannels and Destroy let them go.
//
// The device is not forever: a driver asks for a reset, a device stops calling back
// and comes back, a remembered device is absent when the view opens. Keep, at the
// host's tick and before each command, rides through on the host's thread without
// boxes: it reopens a driver that asked for it, takes a device whose switches stood
// still as stopped and tries it again (TDeviceMonitor decides when), and every
// channel keeps its file, its place and its level meanwhile.
class TPlayer final : public IDeviceView, private IBufferSwitch {
 public:
  explicit TPlayer(std::unique_ptr<IAsioDevice> device, TFeederThreadHooks feederHooks = {});
  ~TPlayer() override;
  TPlayer(const TPlayer&) = delete;
  TPlayer& operator=(const TPlayer&) = delete;

  // The installed drivers' names; raises when the loader or any driver is missing.
  std::vector<std::string> ListDrivers() { return device_->ListDrivers(); }

  // The open sequence: closes what was open, creates driver `index` of the list,
  // initialises it with sysHandle (the window it may send messages to), reads its
  // outputs and their sample type, sets one of its standard rates, builds the
  // channels and starts the feeder and the driver. On a fault the device is closed
  // again before the exception leaves.
  void Open(int index, void* sysHandle, TOpenWatch& watch);
  // The same sequence again for the device last opened, showing nothing, at the rate
  // that ran if the driver still offers it, with the buffer size the driver now
  // prefers. The channels are left as they are: those the device still has carry on
  // where they were (playing, waiting in the cue, stopped), those it no longer has
  // stop and go. On a fault the driver is let go again and the channels stay as they
  // were, for the next try.
  void Reopen();
  // The same, showing what watch shows.
  void Reopen(TOpenWatch& watch);
  // Stops the feeder and the driver and lets go of the open driver; every channel is
  // stopped with nothing open, and keeps its level. Nothing is kept any more.
  void Close();
  // The same, but the channels are left as they are, for a reopen that carries on.
  void Suspend();

  // What Keep did.
  enum class TDeviceEvent {
    None,
    Reset,    // the driver asked for a reset and was reopened
    Stopped,  // the device stopped calling back (or a reset's open failed): let go,
              // Plays refused, tried again
    Back,     // a stopped device opened again and runs
  };
  // The host's look at its device. At a tick: a reset the driver asked for, the watch
  // on the switches, a stopped device's tries. Before a command (atTick false): a
  // reset only, so that a Play plays on the reopened device and no command waits for
  // a try. Shows nothing; the caller says what it must.
  TDeviceEvent Keep(bool atTick);
  // Keep in two steps, for a caller that must prepare for a driver's call (one that
  // may run a message loop) only when one comes: what is due, then carrying it out,
  // with what a reopen shows.
  TDeviceMonitor::TAction Due(bool atTick);
  TDeviceEvent Carry(TDeviceMonitor::TAction action, TOpenWatch& watch);
  // The device of the last Open did not open, but is to be kept (a remembered device
  // absent when the view opens): stopped, and tried again from now on.
  void KeepTrying();
  // The device is kept but does not run, and is tried again: Plays are refused.
  bool Stopped() const override { return monitor_.State() == TDeviceMonitor::TState::Gone; }

  // For tests: the clock the watch and the tries read.
  TDeviceMonitor::TTime (*MonitorClock)() = &TDeviceMonitor::TClock::now;
  void FreeChannels();
  // The view is going: the device closes, its channels go and the loader goes.
  void Destroy();
  // The library is being unloaded (processExit: the whole process is ending).
  void ShutDown(bool processExit);

  // The steps of the open sequence, each on the open driver only.
  // The standard rates in Hz that the open driver accepts, in ascending order.
  std::vector<std::int32_t> StandardRates();
  void SetRate(std::int32_t rate);

  std::int32_t Outputs() const { return outputs_; }
  // The driver (its index in the list) and the rate of the last open; -1 and 0 before.
  int DeviceIndex() const { return index_; }
  std::int32_t Rate() const { return rate_; }
  std::int32_t SampleType() const override { return state_.SampleType; }
  std::int32_t BufferSize() const { return state_.BufferSize; }
  TChannelSnapshot Snapshot(std::size_t index) { return tonvane::Snapshot(state_.Channels[index]); }

  // IDeviceView, for the channel operations.
  bool IsOpen() const override { return device_->IsOpen(); }
  // The open driver's current rate; 0 without one.
  double SampleRate() const override;
  std::span<TChannelState> Channels() override { return state_.Channels; }
  std::size_t ChannelCount() const override { return state_.Channels.size(); }
  void FeedNow() override { feeder_.Wake(); }
  TStartCue& Cue() override { return state_.Cue; }

 private:
  void BufferSwitch(std::int32_t doubleBufferIndex) override;
  // Raises unless a driver is open: every step after the first needs one.
  void RequireOpen() const;
  // The first steps: creates and initialises the driver and reads its outputs and
  // their sample type.
  void Connect(int index, void* sysHandle);
  // The steps from the driver's creation to its start, on channels the caller has
  // closed or suspended.
  void Sequence(TOpenWatch& watch);
  // Reads the buffer size and makes one output buffer record per output. The channels
  // there carry on, up to the outputs; outputs the device did not have before get
  // channels stopped at 0 dB.
  void BuildChannels();
  // The driver runs: the watch starts.
  void Watch();
  // Creates the buffers and starts the feeder and the driver.
  void Start();

  std::unique_ptr<IAsioDevice> device_;
  TFeederThreadHooks feederHooks_;
  std::int32_t outputs_ = 0;
  TDeviceState state_;
  TFeeder feeder_;
  TSwitchCount switches_;
  TDeviceMonitor monitor_;
  // What the last open asked for, for a reopen.
  int index_ = -1;
  void* sysHandle_ = nullptr;
  std::int32_t rate_ = 0;
  // Left to the end of the process.
  bool forgotten_ = false;
};

}  // namespace tonvane
