// OpenAsio.dll: the one export, CreateOpenAsio, creates an ASIO driver through COM
// and hands out an object whose slots are stdcall, each forwarding to the driver's
// thiscall slot of the same name.

#include <windows.h>
#include <objbase.h>

#include <atomic>
#include <map>
#include <mutex>
#include <new>

#include "asio_driver_win32.h"

namespace tonvane {
namespace {

// COM must be initialised on the thread that creates a driver, and the driver must
// be released before that thread's last CoUninitialize. Each thread that creates
// drivers here keeps one initialisation of ours for as long as a driver made on it
// lives; the plug-in's own use of COM on that thread is left as it was.
class TComUse {
 public:
  // Called before a driver is created on this thread.
  void Enter() {
    std::lock_guard<std::mutex> lock(mutex_);
    TThreadUse& use = threads_[GetCurrentThreadId()];
    if (use.drivers == 0) {
      const HRESULT hr = CoInitialize(nullptr);
      // S_FALSE: already initialised, still a call to balance. RPC_E_CHANGED_MODE
      // and real failures leave nothing to undo.
      use.initialized = hr == S_OK || hr == S_FALSE;
    }
    ++use.drivers;
  }
  // Called once a driver made on thread has gone (or was never made).
  void Leave(DWORD thread) {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto it = threads_.find(thread);
    if (it == threads_.end()) return;
    if (--it->second.drivers > 0) return;
    // CoUninitialize undoes the calling thread's initialisation only: released on
    // another thread, ours stays in place until that thread ends.
    if (it->second.initialized && thread == GetCurrentThreadId()) CoUninitialize();
    threads_.erase(it);
  }

 private:
  struct TThreadUse {
    int drivers = 0;
    bool initialized = false;
  };
  std::mutex mutex_;
  std::map<DWORD, TThreadUse> threads_;
};

TComUse& ComUse() {
  static TComUse use;
  return use;
}

class TStdcallDriver final : public IAsioDriver {
 public:
  TStdcallDriver(IAsioDriverThiscall* driver, const CLSID& clsid, DWORD thread)
      : driver_(driver), clsid_(clsid), thread_(thread) {}
  TStdcallDriver(const TStdcallDriver&) = delete;
  TStdcallDriver& operator=(const TStdcallDriver&) = delete;

  HRESULT __stdcall QueryInterface(REFIID riid, void** object) override {
    if (object == nullptr) return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, clsid_)) {
      *object = static_cast<IAsioDriver*>(this);
      AddRef();
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  // The count that callers see is the driver's own; the wrapper lives exactly as
  // long as it holds references on the driver.
  ULONG __stdcall AddRef() override {
    refs_.fetch_add(1, std::memory_order_relaxed);
    return driver_->AddRef();
  }
  ULONG __stdcall Release() override {
    const ULONG driverRefs = driver_->Release();
    if (refs_.fetch_sub(1, std::memory_order_acq_rel) == 1) {
      const DWORD thread = thread_;
      delete this;
      ComUse().Leave(thread);
    }
    return driverRefs;
  }

  ASIOBool __stdcall init(void* sysHandle) override { return driver_->init(sysHandle); }
  void __stdcall getDriverName(char* name) override { driver_->getDriverName(name); }
  std::int32_t __stdcall getDriverVersion() override { return driver_->getDriverVersion(); }
  void __stdcall getErrorMessage(char* string) override { driver_->getErrorMessage(string); }
  ASIOError __stdcall start() override { return driver_->start(); }
  ASIOError __stdcall stop() override { return driver_->stop(); }
  ASIOError __stdcall getChannels(std::int32_t* numInputChannels, std::int32_t* numOutputChannels) override {
    return driver_->getChannels(numInputChannels, numOutputChannels);
  }
  ASIOError __stdcall getLatencies(std::int32_t* inputLatency, std::int32_t* outputLatency) override {
    return driver_->getLatencies(inputLatency, outputLatency);
  }
  ASIOError __stdcall getBufferSize(std::int32_t* minSize, std::int32_t* maxSize, std::int32_t* preferredSize,
                                    std::int32_t* granularity) override {
    return driver_->getBufferSize(minSize, maxSize, preferredSize, granularity);
  }
  ASIOError __stdcall canSampleRate(ASIOSampleRate sampleRate) override {
    return driver_->canSampleRate(sampleRate);
  }
  ASIOError __stdcall getSampleRate(ASIOSampleRate* sampleRate) override {
    return driver_->getSampleRate(sampleRate);
  }
  ASIOError __stdcall setSampleRate(ASIOSampleRate sampleRate) override {
    return driver_->setSampleRate(sampleRate);
  }
  ASIOError __stdcall getClockSources(ASIOClockSource* clocks, std::int32_t* numSources) override {
    return driver_->getClockSources(clocks, numSources);
  }
  ASIOError __stdcall setClockSource(std::int32_t reference) override {
    return driver_->setClockSource(reference);
  }
  ASIOError __stdcall getSamplePosition(ASIOSamples* sPos, ASIOTimeStamp* tStamp) override {
    return driver_->getSamplePosition(sPos, tStamp);
  }
  ASIOError __stdcall getChannelInfo(ASIOChannelInfo* info) override { return driver_->getChannelInfo(info); }
  ASIOError __stdcall createBuffers(ASIOBufferInfo* bufferInfos, std::int32_t numChannels,
                                    std::int32_t bufferSize, ASIOCallbacks* callbacks) override {
    return driver_->createBuffers(bufferInfos, numChannels, bufferSize, callbacks);
  }
  ASIOError __stdcall disposeBuffers() override { return driver_->disposeBuffers(); }
  ASIOError __stdcall controlPanel() override { return driver_->controlPanel(); }
  ASIOError __stdcall future(std::int32_t selector, void* opt) override {
    return driver_->future(selector, opt);
  }
  ASIOError __stdcall outputReady() override { return driver_->outputReady(); }

 private:
  ~TStdcallDriver() = default;

  IAsioDriverThiscall* driver_;
  CLSID clsid_;
  DWORD thread_;
  std::atomic<ULONG> refs_{1};
};

}  // namespace
}  // namespace tonvane

extern "C" HRESULT __stdcall CreateOpenAsio(const CLSID* clsid, tonvane::IAsioDriver** driver) {
  using namespace tonvane;
  if (driver == nullptr) return E_POINTER;
  *driver = nullptr;
  if (clsid == nullptr) return E_POINTER;

  ComUse().Enter();
  // An ASIO driver answers to its class identifier as its interface identifier:
  // there is no shared interface identifier for ASIO.
  IAsioDriverThiscall* raw = nullptr;
  const HRESULT hr =
      CoCreateInstance(*clsid, nullptr, CLSCTX_INPROC_SERVER, *clsid, reinterpret_cast<void**>(&raw));
  if (FAILED(hr) || raw == nullptr) {
    ComUse().Leave(GetCurrentThreadId());
    return FAILED(hr) ? hr : E_NOINTERFACE;
  }
  auto* wrapper = new (std::nothrow) TStdcallDriver(raw, *clsid, GetCurrentThreadId());
  if (wrapper == nullptr) {
    raw->Release();
    ComUse().Leave(GetCurrentThreadId());
    return E_OUTOFMEMORY;
  }
  *driver = wrapper;
  return S_OK;
}
