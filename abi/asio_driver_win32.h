#pragma once

// The ASIO driver object in its two binary forms.
//
// IAsioDriver is what the plug-in holds: the object that CreateOpenAsio hands out,
// every slot stdcall with the object first, like any COM interface.
//
// IAsioDriverThiscall is what a real ASIO driver implements: the three IUnknown
// slots are stdcall, but the ASIO slots follow the C++ member convention of the
// compiler that built it, which for MSVC on x86 is thiscall (object in ECX,
// arguments on the stack, removed by the callee). OpenAsio.dll bridges the two.
//
// Both share one slot order; a slot is never added, moved or left out.

#include <unknwn.h>
#include <windows.h>

#include "asio_types.h"

namespace tonvane {

struct IAsioDriver : public IUnknown {
  virtual ASIOBool __stdcall init(void* sysHandle) = 0;
  virtual void __stdcall getDriverName(char* name) = 0;  // at most 32 bytes with the zero
  virtual std::int32_t __stdcall getDriverVersion() = 0;
  virtual void __stdcall getErrorMessage(char* string) = 0;  // at most 124 bytes with the zero
  virtual ASIOError __stdcall start() = 0;
  virtual ASIOError __stdcall stop() = 0;
  virtual ASIOError __stdcall getChannels(std::int32_t* numInputChannels,
                                          std::int32_t* numOutputChannels) = 0;
  virtual ASIOError __stdcall getLatencies(std::int32_t* inputLatency, std::int32_t* outputLatency) = 0;
  virtual ASIOError __stdcall getBufferSize(std::int32_t* minSize, std::int32_t* maxSize,
                                            std::int32_t* preferredSize, std::int32_t* granularity) = 0;
  virtual ASIOError __stdcall canSampleRate(ASIOSampleRate sampleRate) = 0;
  virtual ASIOError __stdcall getSampleRate(ASIOSampleRate* sampleRate) = 0;
  virtual ASIOError __stdcall setSampleRate(ASIOSampleRate sampleRate) = 0;
  virtual ASIOError __stdcall getClockSources(ASIOClockSource* clocks, std::int32_t* numSources) = 0;
  virtual ASIOError __stdcall setClockSource(std::int32_t reference) = 0;
  virtual ASIOError __stdcall getSamplePosition(ASIOSamples* sPos, ASIOTimeStamp* tStamp) = 0;
  virtual ASIOError __stdcall getChannelInfo(ASIOChannelInfo* info) = 0;
  virtual ASIOError __stdcall createBuffers(ASIOBufferInfo* bufferInfos, std::int32_t numChannels,
                                            std::int32_t bufferSize, ASIOCallbacks* callbacks) = 0;
  virtual ASIOError __stdcall disposeBuffers() = 0;
  virtual ASIOError __stdcall controlPanel() = 0;
  virtual ASIOError __stdcall future(std::int32_t selector, void* opt) = 0;
  virtual ASIOError __stdcall outputReady() = 0;
};

struct IAsioDriverThiscall : public IUnknown {
  virtual ASIOBool __thiscall init(void* sysHandle) = 0;
  virtual void __thiscall getDriverName(char* name) = 0;
  virtual std::int32_t __thiscall getDriverVersion() = 0;
  virtual void __thiscall getErrorMessage(char* string) = 0;
  virtual ASIOError __thiscall start() = 0;
  virtual ASIOError __thiscall stop() = 0;
  virtual ASIOError __thiscall getChannels(std::int32_t* numInputChannels,
                                           std::int32_t* numOutputChannels) = 0;
  virtual ASIOError __thiscall getLatencies(std::int32_t* inputLatency, std::int32_t* outputLatency) = 0;
  virtual ASIOError __thiscall getBufferSize(std::int32_t* minSize, std::int32_t* maxSize,
                                             std::int32_t* preferredSize, std::int32_t* granularity) = 0;
  virtual ASIOError __thiscall canSampleRate(ASIOSampleRate sampleRate) = 0;
  virtual ASIOError __thiscall getSampleRate(ASIOSampleRate* sampleRate) = 0;
  virtual ASIOError __thiscall setSampleRate(ASIOSampleRate sampleRate) = 0;
  virtual ASIOError __thiscall getClockSources(ASIOClockSource* clocks, std::int32_t* numSources) = 0;
  virtual ASIOError __thiscall setClockSource(std::int32_t reference) = 0;
  virtual ASIOError __thiscall getSamplePosition(ASIOSamples* sPos, ASIOTimeStamp* tStamp) = 0;
  virtual ASIOError __thiscall getChannelInfo(ASIOChannelInfo* info) = 0;
  virtual ASIOError __thiscall createBuffers(ASIOBufferInfo* bufferInfos, std::int32_t numChannels,
                                             std::int32_t bufferSize, ASIOCallbacks* callbacks) = 0;
  virtual ASIOError __thiscall disposeBuffers() = 0;
  virtual ASIOError __thiscall controlPanel() = 0;
  virtual ASIOError __thiscall future(std::int32_t selector, void* opt) = 0;
  virtual ASIOError __thiscall outputReady() = 0;
};

// Slot numbers, counted from QueryInterface = 0, for code that calls through the
// table by hand (tests of the calling conventions).
enum class AsioSlot : int {
  init = 3,
  getDriverName,
  getDriverVersion,
  getErrorMessage,
  start,
  stop,
  getChannels,
  getLatencies,
  getBufferSize,
  canSampleRate,
  getSampleRate,
  setSampleRate,
  getClockSources,
  setClockSource,
  getSamplePosition,
  getChannelInfo,
  createBuffers,
  disposeBuffers,
  controlPanel,
  future,
  outputReady,
};

// CreateOpenAsio: creates the driver of the given class and hands out its stdcall
// face with one reference. Returns a COM result code.
using CreateOpenAsioFunc = HRESULT(__stdcall*)(const CLSID* clsid, IAsioDriver** driver);

// Holds one reference to a driver object; dropping it releases the object.
class TAsioDriverRef {
 public:
  TAsioDriverRef() = default;
  TAsioDriverRef(const TAsioDriverRef&) = delete;
  TAsioDriverRef& operator=(const TAsioDriverRef&) = delete;
  TAsioDriverRef(TAsioDriverRef&& other) noexcept : driver_(other.driver_) { other.driver_ = nullptr; }
  TAsioDriverRef& operator=(TAsioDriverRef&& other) noexcept {
    if (this != &other) {
      Reset();
      driver_ = other.driver_;
      other.driver_ = nullptr;
    }
    return *this;
  }
  ~TAsioDriverRef() { Reset(); }

  void Reset() {
    if (driver_ != nullptr) {
      IAsioDriver* driver = driver_;
      driver_ = nullptr;
      driver->Release();
    }
  }
  // Lets go of the pointer without releasing it: for what a failed factory left.
  IAsioDriver* Detach() {
    IAsioDriver* driver = driver_;
    driver_ = nullptr;
    return driver;
  }
  // Releases what is held and gives the address a factory fills.
  IAsioDriver** Put() {
    Reset();
    return &driver_;
  }
  IAsioDriver* Get() const { return driver_; }
  IAsioDriver* operator->() const { return driver_; }
  explicit operator bool() const { return driver_ != nullptr; }

 private:
  IAsioDriver* driver_ = nullptr;
};

}  // namespace tonvane
