// The ASIO device: the open sequence's driver calls, the callback table, the channel
// states, and keeping this module loaded while a driver runs.
#include "playback/asio_device_win32.h"

#include <atomic>
#include <new>
#include <thread>
#include <system_error>

#include "base/exception.h"

namespace tonvane {
namespace {

constexpr std::int32_t kStandardRates[] = {44100, 48000, 88200, 96000, 192000};

// The device state that must be global: ASIO callbacks carry no context, so the
// buffer switch finds the channels through this pointer. It is set only while the
// driver runs (from just before start() until stop() has returned), so a switch that
// arrives before, or late after, writes nothing. Switches in flight are counted, and
// Close waits them out before the buffers and channels can go.
std::atomic<TDeviceState*> callbackDevice{nullptr};
std::atomic<int> switchesInFlight{0};

// Drivers built with other compilers may call in with a stack aligned to 4 bytes
// only; realign so the engine's code may use aligned vector stores.
#define TONVANE_DRIVER_CALLBACK __attribute__((force_align_arg_pointer)) TONVANE_ASIO_CALLBACK

void TONVANE_DRIVER_CALLBACK BufferSwitch(std::int32_t doubleBufferIndex, ASIOBool) {
  // Counted before the pointer is read, both in one total order with Close's clearing
  // and counting: either Close sees this switch, or this switch sees no device.
  switchesInFlight.fetch_add(1, std::memory_order_seq_cst);
  if (TDeviceState* device = callbackDevice.load(std::memory_order_seq_cst))
    FillBuffers(*device, doubleBufferIndex);
  switchesInFlight.fetch_sub(1, std::memory_order_release);
}

void TONVANE_DRIVER_CALLBACK SampleRateDidChange(ASIOSampleRate) {}

// May come from a thread the system does not know: touches nothing.
std::int32_t TONVANE_DRIVER_CALLBACK AsioMessage(std::int32_t, std::int32_t, void*, double*) { return 0; }

ASIOTime* TONVANE_DRIVER_CALLBACK BufferSwitchTimeInfo(ASIOTime*, std::int32_t, ASIOBool) { return nullptr; }

// Each feeder thread keeps the module loaded for itself, so that one still inside a
// read when the host unloads the plug-in does not return into unloaded code: its
// maker takes a reference for it, and the thread ends inside FreeLibraryAndExitThread.
TFeederThreadHooks FeederHooks() {
  const auto address = reinterpret_cast<LPCSTR>(&BufferSwitch);
  HMODULE self = nullptr;
  GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     address, &self);
  TFeederThreadHooks hooks;
  hooks.Hold = [address] {
    HMODULE held = nullptr;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, address, &held);
  };
  hooks.Unhold = [self] { FreeLibrary(self); };
  hooks.AtStart = [] { SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_ABOVE_NORMAL); };
  hooks.AtEnd = [self] { FreeLibraryAndExitThread(self, 0); };
  return hooks;
}

}  // namespace

TAsioDevice::TAsioDevice() {
  callbacks_.bufferSwitch = BufferSwitch;
  callbacks_.sampleRateDidChange = SampleRateDidChange;
  callbacks_.asioMessage = AsioMessage;
  callbacks_.bufferSwitchTimeInfo = BufferSwitchTimeInfo;
}

TAsioDevice::~TAsioDevice() {
  // A device left at process exit counts no switches: a driver's thread the system
  // ended inside one never finishes it.
  if (!forgotten_) StopSwitching();
}

void TAsioDevice::StopSwitching() {
  TDeviceState* self = &state_;
  callbackDevice.compare_exchange_strong(self, nullptr, std::memory_order_seq_cst);
  while (switchesInFlight.load(std::memory_order_seq_cst) != 0) std::this_thread::yield();
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
    feeder_.Start(state_.Channels, FeederHooks());
  } catch (const std::system_error&) {
    throw Exception("Unable to start device");
  }
  // Before start(): some drivers make the first switch inside it.
  callbackDevice.store(&state_, std::memory_order_seq_cst);
  if (driver_->start() != ASE_OK) throw Exception("Unable to start device");
}

void TAsioDevice::Close() {
  // Before the channels can go, and before the driver stops: nothing reads a file
  // for a device that is not running. Threads stuck in a read are not waited for.
  feeder_.Stop();
  if (driver_) driver_->stop();
  // A switch still in flight, or one the driver sends late, must not meet buffers or
  // channels that are going.
  StopSwitching();
  if (driver_) {
    driver_->disposeBuffers();
    driver_.Reset();
  }
  // Nothing plays on a closed device: a Play or a strip that comes while a box about
  // the close is up finds every channel stopped, and no stream is left open.
  for (std::size_t i = 0; i < state_.Channels.size(); ++i)
    ResetChannel(state_.Channels, static_cast<std::int32_t>(i));
  state_.Cue.Reset();
}

void TAsioDevice::FreeChannels() {
  // Each record takes its stream and its strip with it.
  state_.Channels.clear();
}

void TAsioDevice::Destroy() {
  Close();
  FreeChannels();
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
  TDeviceState* self = &state_;
  callbackDevice.compare_exchange_strong(self, nullptr, std::memory_order_seq_cst);
  if (!processExit) {
    // Not running: the feeder runs only while a driver runs, and a running driver
    // holds the module.
    feeder_.Stop();
    state_.Channels.clear();
    state_.BufferInfos.clear();
    drivers_.clear();
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
    TAsioDriverList drivers;
  };
  alignas(TForgotten) static unsigned char forgotten[sizeof(TForgotten)];
  new (forgotten) TForgotten{std::move(state_.Channels), std::move(state_.BufferInfos), std::move(drivers_)};
}

}  // namespace tonvane
