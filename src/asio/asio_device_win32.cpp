// The ASIO device: the open sequence's driver calls, the callback table, the channel
// states, and keeping this module loaded while a driver runs.
#include "asio/asio_device_win32.h"

#include <atomic>
#include <system_error>

#include "base/exception.h"

namespace tonvane {
namespace {

constexpr std::int32_t kStandardRates[] = {44100, 48000, 88200, 96000, 192000};

// The one piece of device state that must be global: ASIO callbacks carry no context,
// so the buffer switch finds the channels through this pointer. It is set while a
// device object exists, so a switch that arrives before or after writes nothing.
std::atomic<TDeviceState*> callbackDevice{nullptr};

// Drivers built with other compilers may call in with a stack aligned to 4 bytes
// only; realign so the engine's code may use aligned vector stores.
#define TONVANE_DRIVER_CALLBACK __attribute__((force_align_arg_pointer)) TONVANE_ASIO_CALLBACK

void TONVANE_DRIVER_CALLBACK BufferSwitch(std::int32_t doubleBufferIndex, ASIOBool) {
  if (TDeviceState* device = callbackDevice.load(std::memory_order_acquire))
    FillBuffers(*device, doubleBufferIndex);
}

void TONVANE_DRIVER_CALLBACK SampleRateDidChange(ASIOSampleRate) {}

// May come from a thread the system does not know: touches nothing.
std::int32_t TONVANE_DRIVER_CALLBACK AsioMessage(std::int32_t, std::int32_t, void*, double*) { return 0; }

ASIOTime* TONVANE_DRIVER_CALLBACK BufferSwitchTimeInfo(ASIOTime*, std::int32_t, ASIOBool) { return nullptr; }

}  // namespace

TAsioDevice::TAsioDevice() {
  callbacks_.bufferSwitch = BufferSwitch;
  callbacks_.sampleRateDidChange = SampleRateDidChange;
  callbacks_.asioMessage = AsioMessage;
  callbacks_.bufferSwitchTimeInfo = BufferSwitchTimeInfo;
  callbackDevice.store(&state_, std::memory_order_release);
}

TAsioDevice::~TAsioDevice() {
  TDeviceState* self = &state_;
  callbackDevice.compare_exchange_strong(self, nullptr, std::memory_order_acq_rel);
}

void TAsioDevice::ListDrivers() {
  if (!LoadDriverLibrary()) throw Exception("Unable to load OpenAsio.dll");
  BuildDriverList(drivers_);
  if (drivers_.empty()) throw Exception("No ASIO devices found");
}

void TAsioDevice::Open(int index, HWND owner) {
  Close();
  if (index < 0 || index >= static_cast<int>(drivers_.size()) ||
      !CreateDriver(drivers_[static_cast<std::size_t>(index)], driver_))
    throw Exception("Unable to open device");
  if (driver_->init(owner) != 1) throw Exception("Unable to init device");
  std::int32_t inputs = 0;
  outputs_ = 0;
  if (driver_->getChannels(&inputs, &outputs_) != ASE_OK) throw Exception("Error getting channel count");
  if (outputs_ <= 0) throw Exception("Device has no output channels");
  ASIOChannelInfo info{};
  info.channel = 0;
  info.isInput = ASIOFalse;
  if (driver_->getChannelInfo(&info) != ASE_OK) throw Exception("Unable to get channel sample type");
  state_.SampleType = info.type;
}

std::vector<std::int32_t> TAsioDevice::StandardRates() {
  std::vector<std::int32_t> rates;
  for (std::int32_t rate : kStandardRates)
    if (driver_->canSampleRate(static_cast<ASIOSampleRate>(rate)) == ASE_OK) rates.push_back(rate);
  if (rates.empty()) throw Exception("No standard sample rates supported");
  return rates;
}

void TAsioDevice::SetRate(std::int32_t rate) {
  if (driver_->setSampleRate(static_cast<ASIOSampleRate>(rate)) != ASE_OK)
    throw Exception("Error setting sample rate");
}

double TAsioDevice::SampleRate() const {
  ASIOSampleRate rate = 0;
  if (driver_) driver_->getSampleRate(&rate);
  return rate;
}

void TAsioDevice::BuildChannels() {
  std::int32_t minSize = 0, maxSize = 0, preferred = 0, granularity = 0;
  if (driver_->getBufferSize(&minSize, &maxSize, &preferred, &granularity) != ASE_OK)
    throw Exception("Error getting buffer size");
  state_.BufferSize = preferred;
  const auto n = static_cast<std::size_t>(outputs_);
  state_.BufferInfos.assign(n, ASIOBufferInfo{});
  state_.Channels = std::vector<TChannelState>(n);
  for (std::size_t i = 0; i < n; ++i) {
    state_.BufferInfos[i].isInput = ASIOFalse;
    state_.BufferInfos[i].channelNum = static_cast<std::int32_t>(i);
    state_.Channels[i].Level.store(0, std::memory_order_relaxed);
    state_.Channels[i].Playing.store(0, std::memory_order_relaxed);
    state_.Channels[i].SizeFor(preferred);
  }
}

void TAsioDevice::Start() {
  if (driver_->createBuffers(state_.BufferInfos.data(), outputs_, state_.BufferSize, &callbacks_) != ASE_OK)
    throw Exception("Error creating buffers");
  // While a driver runs, its thread calls into this module: the module holds itself
  // from the first start until the device is destroyed with its window, so a host
  // that frees the library while a device plays does not pull the code from under
  // the driver's thread or the window; both live on until the user closes the window.
  if (!runningHold_) runningHold_ = TModuleHold::Take();
  // Before the driver, so that the first switches find the rings of files played
  // meanwhile filled.
  try {
    feeder_.Start(state_.Channels,
                  [] { SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_ABOVE_NORMAL); });
  } catch (const std::system_error&) {
    throw Exception("Unable to start device");
  }
  if (driver_->start() != ASE_OK) throw Exception("Unable to start device");
}

void TAsioDevice::Close() {
  // Before the channels can go, and before the driver stops: nothing reads a file
  // for a device that is not running.
  feeder_.Stop();
  if (!driver_) return;
  driver_->stop();
  driver_->disposeBuffers();
  driver_.Reset();
}

void TAsioDevice::FreeChannels() {
  // Each record takes its stream and its strip with it.
  state_.Channels.clear();
}

void TAsioDevice::Destroy() {
  Close();
  FreeChannels();
  callbackDevice.store(nullptr, std::memory_order_release);
  UnloadDriverLibrary();
  runningHold_.LetGo();
}

void TAsioDevice::ShutDown(bool processExit) {
  // A running device holds the module, so the library is only unloaded with a
  // driver still set at process exit, when the driver's threads are gone: its
  // objects are left alone then. Stopping a driver here, under the loader's lock,
  // would wait for its thread forever.
  if (!processExit) driver_.Reset();
  driver_.Detach();
  callbackDevice.store(nullptr, std::memory_order_release);
  // At process exit the feeder's threads are gone, and waiting for them under the
  // loader's lock would never end. Otherwise it is not running: it runs only while a
  // driver runs, and a running driver holds the module.
  if (processExit)
    feeder_.Abandon();
  else
    feeder_.Stop();
  if (processExit) {
    // Windows and files go with the process; destroying strips of a window whose
    // thread may be gone is no help at this point.
    for (auto& channel : state_.Channels) {
      static_cast<void>(channel.Strip.release());
      static_cast<void>(channel.Stream.release());
    }
  }
  state_.Channels.clear();
  state_.BufferInfos.clear();
  drivers_.clear();
}

}  // namespace tonvane
