// The ASIO device: the driver objects through OpenAsio.dll, the callback table, and
// keeping this module loaded while a driver runs.
#include "asio/asio_device_win32.h"

#include <atomic>
#include <new>
#include <thread>

#include "base/exception.h"

namespace tonvane {
namespace {

// Where the switches go, global because ASIO callbacks carry no context. It is set
// only while the driver runs (from just before start() until stop() has returned),
// so a switch that arrives before, or late after, writes nothing. Switches in flight
// are counted, and StopSwitching waits them out before the buffers and channels can go.
std::atomic<IBufferSwitch*> callbackTarget{nullptr};
std::atomic<int> switchesInFlight{0};
// A reset the driver asked for, for the host's thread.
TResetRequest resetRequest;

// Drivers built with other compilers may call in with a stack aligned to 4 bytes
// only; realign so the engine's code may use aligned vector stores.
#define TONVANE_DRIVER_CALLBACK __attribute__((force_align_arg_pointer)) TONVANE_ASIO_CALLBACK

void TONVANE_DRIVER_CALLBACK BufferSwitch(std::int32_t doubleBufferIndex, ASIOBool) {
  // Counted before the pointer is read, both in one total order with StopSwitching's
  // clearing and counting: either StopSwitching sees this switch, or this switch sees
  // no target.
  switchesInFlight.fetch_add(1, std::memory_order_seq_cst);
  if (IBufferSwitch* target = callbackTarget.load(std::memory_order_seq_cst))
    target->BufferSwitch(doubleBufferIndex);
  switchesInFlight.fetch_sub(1, std::memory_order_release);
}

void TONVANE_DRIVER_CALLBACK SampleRateDidChange(ASIOSampleRate) {}

// May come from a thread the system does not know, inside a buffer switch or not:
// answers from constants and stores a flag, nothing more.
std::int32_t TONVANE_DRIVER_CALLBACK AsioMessage(std::int32_t selector, std::int32_t value, void*, double*) {
  return AnswerAsioMessage(resetRequest, selector, value);
}

ASIOTime* TONVANE_DRIVER_CALLBACK BufferSwitchTimeInfo(ASIOTime*, std::int32_t, ASIOBool) { return nullptr; }

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

bool TAsioDevice::TakeResetRequest() { return resetRequest.Take(); }

void TAsioDevice::StopSwitching() {
  if (target_) {
    IBufferSwitch* ours = target_;
    callbackTarget.compare_exchange_strong(ours, nullptr, std::memory_order_seq_cst);
  }
  while (switchesInFlight.load(std::memory_order_seq_cst) != 0) std::this_thread::yield();
}

std::vector<std::string> TAsioDevice::ListDrivers() {
  if (!LoadDriverLibrary()) throw Exception("Unable to load OpenAsio.dll");
  BuildDriverList(drivers_);
  if (drivers_.empty()) throw Exception("No ASIO devices found");
  std::vector<std::string> names;
  for (const auto& entry : drivers_) names.emplace_back(entry.Name);
  return names;
}

bool TAsioDevice::Create(int index) {
  return index >= 0 && index < static_cast<int>(drivers_.size()) &&
         CreateDriver(drivers_[static_cast<std::size_t>(index)], driver_);
}

ASIOError TAsioDevice::CreateBuffers(ASIOBufferInfo* infos, std::int32_t count, std::int32_t bufferSize,
                                     IBufferSwitch& target) {
  const ASIOError result = driver_->createBuffers(infos, count, bufferSize, &callbacks_);
  if (result != ASE_OK) return result;
  target_ = &target;
  // While a driver runs, its thread calls into this module: the module holds itself
  // from the first start until the loader is unloaded with the window, so a host
  // that frees the library while a device plays does not pull the code from under
  // the driver's thread or the window; both live on until the user closes the window.
  if (!runningHold_) runningHold_ = TModuleHold::Take();
  return result;
}

ASIOError TAsioDevice::Start() {
  // Before start(): some drivers make the first switch inside it.
  callbackTarget.store(target_, std::memory_order_seq_cst);
  return driver_->start();
}

void TAsioDevice::Unload() {
  UnloadDriverLibrary();
  runningHold_.LetGo();
}

void TAsioDevice::ShutDown(bool processExit) {
  if (!processExit) driver_.Reset();
  driver_.Detach();
  IBufferSwitch* ours = target_;
  if (ours) callbackTarget.compare_exchange_strong(ours, nullptr, std::memory_order_seq_cst);
  if (!processExit) {
    drivers_.clear();
    return;
  }
  // The driver's thread may have been ended inside a switch: see TPlayer::ShutDown.
  forgotten_ = true;
  alignas(TAsioDriverList) static unsigned char forgotten[sizeof(TAsioDriverList)];
  new (forgotten) TAsioDriverList(std::move(drivers_));
}

}  // namespace tonvane
