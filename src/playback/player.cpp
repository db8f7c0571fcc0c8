// The player: the device's open sequence and close, the channels, the feeder and the
// buffer switch.
#include "playback/player.h"

#include <algorithm>
#include <new>
#include <system_error>

#include "base/exception.h"

namespace tonvane {
namespace {

constexpr std::int32_t kStandardRates[] = {44100, 48000, 88200, 96000, 192000};

// A reopen shows nothing and keeps the rate that ran, when the driver still offers it.
class TQuietOpen final : public TOpenWatch {
 public:
  explicit TQuietOpen(std::int32_t rate) : rate_(rate) {}
  std::size_t PickRate(const std::vector<std::int32_t>& rates) override {
    const auto at = std::find(rates.begin(), rates.end(), rate_);
    return at == rates.end() ? 0 : static_cast<std::size_t>(at - rates.begin());
  }

 private:
  std::int32_t rate_;
};

}  // namespace

TPlayer::TPlayer(std::unique_ptr<IAsioDevice> device, TFeederThreadHooks feederHooks)
    : device_(std::move(device)), feederHooks_(std::move(feederHooks)) {}

TPlayer::~TPlayer() {
  // A device left at process exit counts no switches: a driver's thread the system
  // ended inside one never finishes it.
  if (!forgotten_) device_->StopSwitching();
}

void TPlayer::BufferSwitch(std::int32_t doubleBufferIndex) {
  FillBuffers(state_, doubleBufferIndex);
  // The watch's one store per switch.
  switches_.Count();
}

void TPlayer::RequireOpen() const {
  if (!device_->IsOpen()) throw Exception("No ASIO device open");
}

void TPlayer::Open(int index, void* sysHandle, TOpenWatch& watch) {
  index_ = index;
  sysHandle_ = sysHandle;
  Close();
  try {
    Sequence(watch);
  } catch (...) {
    // Closed before the caller shows anything: a Play that comes while a box is up
    // finds no device, rather than a channel that answers OK and never sounds.
    Close();
    throw;
  }
  Watch();
}

void TPlayer::Reopen() {
  TQuietOpen quiet(rate_);
  Reopen(quiet);
}

void TPlayer::Reopen(TOpenWatch& watch) {
  Suspend();
  try {
    Sequence(watch);
  } catch (...) {
    Suspend();
    throw;
  }
  Watch();
}

void TPlayer::Sequence(TOpenWatch& watch) {
  // A request of a driver let go of is no request of the one opened now.
  device_->TakeResetRequest();
  Connect(index_, sysHandle_);
  watch.SampleTypeRead(state_.SampleType);
  const std::vector<std::int32_t> rates = StandardRates();
  const std::size_t picked = watch.PickRate(rates);
  if (picked < rates.size()) {
    SetRate(rates[picked]);
    watch.RateSet(rates[picked]);
  }
  BuildChannels();
  watch.ChannelsBuilt();
  Start();
}

void TPlayer::Watch() { monitor_.Started(MonitorClock(), switches_.Get(), state_.BufferSize, rate_); }

void TPlayer::KeepTrying() {
  if (index_ >= 0) monitor_.Lost(MonitorClock());
}

TPlayer::TDeviceEvent TPlayer::Keep(bool atTick) {
  TQuietOpen quiet(rate_);
  return Carry(Due(atTick), quiet);
}

TDeviceMonitor::TAction TPlayer::Due(bool atTick) {
  if (atTick) return monitor_.Poll(MonitorClock(), switches_.Get(), device_->TakeResetRequest());
  // Before a command, a reset only: the watch and the tries are the tick's.
  if (monitor_.State() == TDeviceMonitor::TState::Running && device_->TakeResetRequest())
    return TDeviceMonitor::TAction::Reset;
  return TDeviceMonitor::TAction::None;
}

TPlayer::TDeviceEvent TPlayer::Carry(TDeviceMonitor::TAction action, TOpenWatch& watch) {
  using TAction = TDeviceMonitor::TAction;
  switch (action) {
    case TAction::None:
      return TDeviceEvent::None;
    case TAction::Reset:
      // Stop, dispose, release, and the open sequence again with the driver's new
      // settings.
      try {
        Reopen(watch);
        return TDeviceEvent::Reset;
      } catch (const std::exception&) {
        monitor_.Lost(MonitorClock());
        return TDeviceEvent::Stopped;
      }
    case TAction::Lost:
      Suspend();
      return TDeviceEvent::Stopped;
    case TAction::Retry:
      try {
        Reopen(watch);
        return TDeviceEvent::Back;
      } catch (const std::exception&) {
        monitor_.TryFailed(MonitorClock());
        return TDeviceEvent::None;
      }
  }
  return TDeviceEvent::None;
}

void TPlayer::Connect(int index, void* sysHandle) {
  if (!device_->Create(index)) throw Exception("Unable to open device");
  if (device_->Init(sysHandle) != 1) throw Exception("Unable to init device");
  std::int32_t inputs = 0;
  outputs_ = 0;
  if (device_->GetChannels(inputs, outputs_) != ASE_OK) throw Exception("Error getting channel count");
  if (outputs_ <= 0) throw Exception("Device has no output channels");
  ASIOChannelInfo info{};
  info.channel = 0;
  info.isInput = ASIOFalse;
  if (device_->GetChannelInfo(info) != ASE_OK) throw Exception("Unable to get channel sample type");
  state_.SampleType = info.type;
}

std::vector<std::int32_t> TPlayer::StandardRates() {
  RequireOpen();
  std::vector<std::int32_t> rates;
  for (std::int32_t rate : kStandardRates)
    if (device_->CanSampleRate(static_cast<ASIOSampleRate>(rate)) == ASE_OK) rates.push_back(rate);
  if (rates.empty()) throw Exception("No standard sample rates supported");
  return rates;
}

void TPlayer::SetRate(std::int32_t rate) {
  RequireOpen();
  if (device_->SetSampleRate(static_cast<ASIOSampleRate>(rate)) != ASE_OK)
    throw Exception("Error setting sample rate");
  rate_ = rate;
}

double TPlayer::SampleRate() const {
  ASIOSampleRate rate = 0;
  if (device_->IsOpen()) device_->GetSampleRate(rate);
  return rate;
}

void TPlayer::BuildChannels() {
  RequireOpen();
  std::int32_t minSize = 0, maxSize = 0, preferred = 0, granularity = 0;
  if (device_->GetBufferSize(minSize, maxSize, preferred, granularity) != ASE_OK)
    throw Exception("Error getting buffer size");
  state_.BufferSize = preferred;
  const auto n = static_cast<std::size_t>(outputs_);
  state_.BufferInfos.assign(n, ASIOBufferInfo{});
  for (std::size_t i = 0; i < n; ++i) {
    state_.BufferInfos[i].isInput = ASIOFalse;
    state_.BufferInfos[i].channelNum = static_cast<std::int32_t>(i);
  }
  const bool fit = std::all_of(state_.Channels.begin(), state_.Channels.end(),
                               [&](const TChannelState& channel) { return channel.Fits(preferred); });
  if (state_.Channels.size() < n || !fit) {
    // A channel's record cannot move, so a longer list, or one whose rings are too
    // small for the new buffers, is made anew; each channel the device still has
    // takes over what its old record was doing. Every ring is allocated, with room
    // for what the old one has waiting, before any channel moves: a failed
    // allocation leaves the old records as they were.
    std::vector<TChannelState> channels(n);
    for (std::size_t i = 0; i < n; ++i)
      channels[i].SizeFor(preferred, i < state_.Channels.size() ? state_.Channels[i].Ring().Capacity() : 0);
    for (std::size_t i = 0; i < state_.Channels.size(); ++i) {
      if (i < n)
        channels[i].TakeOver(state_.Channels[i]);
      else
        ResetChannel(state_.Channels, static_cast<std::int32_t>(i));
    }
    state_.Channels = std::move(channels);
    return;
  }
  // The channels the device no longer has stop and go. The others keep their rings:
  // nothing else touches them while the driver and the feeder are stopped (a read
  // that was stuck when the feeder stopped touches only its source, and the ring it
  // hands back into stays).
  while (state_.Channels.size() > n) {
    ResetChannel(state_.Channels, static_cast<std::int32_t>(state_.Channels.size() - 1));
    state_.Channels.pop_back();
  }
  for (TChannelState& channel : state_.Channels) channel.KeepFor(preferred);
}

void TPlayer::Start() {
  RequireOpen();
  if (device_->CreateBuffers(state_.BufferInfos.data(), outputs_, state_.BufferSize, *this) != ASE_OK)
    throw Exception("Error creating buffers");
  // Before the driver, so that the first switches find the rings of files played
  // meanwhile filled.
  try {
    feeder_.Start(state_.Channels, feederHooks_);
  } catch (const std::system_error&) {
    throw Exception("Unable to start device");
  }
  if (device_->Start() != ASE_OK) throw Exception("Unable to start device");
}

void TPlayer::Suspend() {
  // Before the channels can go, and before the driver stops: nothing reads a file
  // for a device that is not running. Threads stuck in a read are not waited for.
  feeder_.Stop();
  if (device_->IsOpen()) device_->Stop();
  // A switch still in flight, or one the driver sends late, must not meet buffers or
  // channels that are going.
  device_->StopSwitching();
  if (device_->IsOpen()) {
    device_->DisposeBuffers();
    device_->Release();
  }
}

void TPlayer::Close() {
  monitor_.Stop();
  Suspend();
  // Nothing plays on a closed device: a Play that comes while a box about the close
  // is up finds every channel stopped, and no stream is left open.
  for (std::size_t i = 0; i < state_.Channels.size(); ++i)
    ResetChannel(state_.Channels, static_cast<std::int32_t>(i));
  state_.Cue.Reset();
}

void TPlayer::FreeChannels() {
  // Each record takes its stream with it.
  state_.Channels.clear();
}

void TPlayer::Destroy() {
  Close();
  FreeChannels();
  device_->Unload();
}

void TPlayer::ShutDown(bool processExit) {
  // A running device holds the module, so the library is only unloaded with a driver
  // still set at process exit, when the driver's threads are gone: its objects are
  // left alone then. Stopping a driver here, under the loader's lock, would wait for
  // its thread forever.
  device_->ShutDown(processExit);
  if (!processExit) {
    // Not running: the feeder runs only while a driver runs, and a running driver
    // holds the module.
    feeder_.Stop();
    state_.Channels.clear();
    state_.BufferInfos.clear();
    return;
  }
  // At process exit the other threads are gone, wherever they were: the feeder's in
  // a read or a decoder's allocation, the driver's in a switch. Waiting for them under
  // the loader's lock would never end, and freeing what they used (rings, channel
  // records, streams, decoders, the heap they may have left locked) is no help at this
  // point: windows, files and memory go with the process. The lists are moved into
  // storage that is never destroyed, which moves no element and frees nothing.
  feeder_.Abandon();
  forgotten_ = true;
  struct TForgotten {
    std::vector<TChannelState> channels;
    std::vector<ASIOBufferInfo> bufferInfos;
  };
  alignas(TForgotten) static unsigned char forgotten[sizeof(TForgotten)];
  new (forgotten) TForgotten{std::move(state_.Channels), std::move(state_.BufferInfos)};
}

}  // namespace tonvane
