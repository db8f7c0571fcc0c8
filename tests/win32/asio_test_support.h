#pragma once

// What the ASIO tests share: the virtual driver shaped through its environment
// keys, OpenAsio.dll loaded from beside the test, callbacks that count switches,
// and raw calls through a slot in a chosen calling convention.

#include <windows.h>
#include <objbase.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "asio_driver_win32.h"
#include "playback/sample_types.h"
#include "timeline.h"
#include "virtual_asio_ids.h"

namespace tonvane::test {

// Sets TONVANE_VASIO_* variables for one test and removes them afterwards, so
// each test starts from the driver's defaults, and from a device whose timeline
// (its reset request, its drop-out) has not begun.
class TDriverEnvironment {
 public:
  TDriverEnvironment() { SetEnvironmentVariableA(vasio::kTimelineVariable, nullptr); }
  TDriverEnvironment(std::initializer_list<std::pair<const char*, std::string>> values)
      : TDriverEnvironment() {
    for (const auto& [key, value] : values) Set(key, value);
  }
  ~TDriverEnvironment() {
    for (const std::string& name : names_) SetEnvironmentVariableA(name.c_str(), nullptr);
    SetEnvironmentVariableA(vasio::kTimelineVariable, nullptr);
  }
  TDriverEnvironment(const TDriverEnvironment&) = delete;
  TDriverEnvironment& operator=(const TDriverEnvironment&) = delete;

  void Set(const char* key, const std::string& value) {
    const std::string name = std::string("TONVANE_VASIO_") + key;
    SetEnvironmentVariableA(name.c_str(), value.c_str());
    names_.push_back(name);
  }

 private:
  std::vector<std::string> names_;
};

// OpenAsio.dll from the test's own directory, unloaded at the end.
class TOpenAsio {
 public:
  TOpenAsio() : module_(LoadLibraryA("OpenAsio.dll")) {
    if (module_ != nullptr)
      create_ = reinterpret_cast<CreateOpenAsioFunc>(
          reinterpret_cast<void*>(GetProcAddress(module_, "CreateOpenAsio")));
  }
  ~TOpenAsio() {
    if (module_ != nullptr) FreeLibrary(module_);
  }
  TOpenAsio(const TOpenAsio&) = delete;
  TOpenAsio& operator=(const TOpenAsio&) = delete;

  bool Loaded() const { return create_ != nullptr; }
  HRESULT Create(const CLSID& clsid, TAsioDriverRef& driver) const { return create_(&clsid, driver.Put()); }

 private:
  HMODULE module_;
  CreateOpenAsioFunc create_ = nullptr;
};

// What the test callbacks saw. The driver calls them on its own thread; the test
// reads the atomics and, once the driver has stopped, the vectors.
struct TSwitchLog {
  std::atomic<int> Count{0};
  std::atomic<bool> InCallback{false};
  std::vector<int> Indexes;
  std::vector<DWORD> Threads;
  // Filled in by a test that writes into the buffers from its callback.
  ASIOBufferInfo* Infos = nullptr;
  int Channels = 0;
  int BufferSize = 0;
  std::int32_t SampleType = 0;
  bool Write = false;
  int HoldMs = 0;  // time spent inside each callback

  void Reset() {
    Count = 0;
    InCallback = false;
    Indexes.clear();
    Threads.clear();
    Indexes.reserve(1 << 16);
    Threads.reserve(1 << 16);
    Infos = nullptr;
    Write = false;
    HoldMs = 0;
  }
};

inline TSwitchLog switchLog;

// The sample a test writes at position i of channel c in the n-th switch: every
// byte pattern of a 16-bit sample turns up, negative ones included.
inline std::int16_t PatternSample(int n, int c, int i) {
  return static_cast<std::int16_t>(n * 4099 + c * 257 + i * 131 - 20000);
}

// Counts and logs every switch; writes the pattern into each output's half when
// the test asks for it, in the test's sample type, through the plug-in's writer.
inline void __cdecl LogBufferSwitch(std::int32_t index, ASIOBool /*directProcess*/) {
  switchLog.InCallback = true;
  const int n = switchLog.Count.load();
  if (switchLog.Indexes.size() < switchLog.Indexes.capacity()) {
    switchLog.Indexes.push_back(index);
    switchLog.Threads.push_back(GetCurrentThreadId());
  }
  if (switchLog.Write && switchLog.Infos != nullptr) {
    for (int c = 0; c < switchLog.Channels; ++c) {
      auto* pos = static_cast<std::uint8_t*>(switchLog.Infos[c].buffers[index]);
      for (int i = 0; i < switchLog.BufferSize; ++i)
        WriteSample(switchLog.SampleType, pos, PatternSample(n, c, i));
    }
  }
  if (switchLog.HoldMs > 0) Sleep(static_cast<DWORD>(switchLog.HoldMs));
  switchLog.InCallback = false;
  switchLog.Count.fetch_add(1);
}

inline void __cdecl NoRateChange(ASIOSampleRate) {}
inline std::int32_t __cdecl NoMessage(std::int32_t, std::int32_t, void*, double*) { return 0; }
inline ASIOTime* __cdecl NoTimeInfo(ASIOTime*, std::int32_t, ASIOBool) { return nullptr; }

inline ASIOCallbacks LogCallbacks() { return {LogBufferSwitch, NoRateChange, NoMessage, NoTimeInfo}; }

// Waits until the callbacks have counted at least n switches.
inline bool WaitForSwitches(int n, std::chrono::milliseconds limit = std::chrono::seconds(20)) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (switchLog.Count.load() < n) {
    if (std::chrono::steady_clock::now() > end) return false;
    Sleep(1);
  }
  return true;
}

// Output buffer records for channels 0..n-1.
inline std::vector<ASIOBufferInfo> OutputInfos(int n) {
  std::vector<ASIOBufferInfo> infos(static_cast<std::size_t>(n));
  for (int i = 0; i < n; ++i) infos[static_cast<std::size_t>(i)] = {ASIOFalse, i, {nullptr, nullptr}};
  return infos;
}

// Calls fn with ECX = ecx and the 32-bit words args pushed right to left, as a
// compiler does for stdcall (object as args[0]) and for MSVC's thiscall (object
// in ECX). Returns EAX; leftOnStack is what the callee did not pop, which both
// conventions require to be 0.
inline std::uint32_t RawCall(void* fn, void* ecx, std::vector<std::uint32_t> args,
                             std::uint32_t& leftOnStack) {
  std::uint32_t result;
  std::uint32_t count = static_cast<std::uint32_t>(args.size());
  const std::uint32_t* words = args.data();
  std::uint32_t scratch;
  asm volatile(
      "movl %%esp, %%edi\n\t"
      "1:\n\t"
      "testl %%edx, %%edx\n\t"
      "jz 2f\n\t"
      "decl %%edx\n\t"
      "pushl (%%esi,%%edx,4)\n\t"
      "jmp 1b\n\t"
      "2:\n\t"
      "call *%%ebx\n\t"
      "movl %%edi, %%edx\n\t"
      "subl %%esp, %%edx\n\t"
      "movl %%edi, %%esp\n\t"
      : "=a"(result), "+d"(count), "+c"(ecx), "+S"(words), "=&D"(scratch)
      : "b"(fn)
      : "memory", "cc");
  leftOnStack = count;
  return result;
}

inline void* Slot(void* object, int slot) { return (*static_cast<void***>(object))[slot]; }
inline void* Slot(void* object, AsioSlot slot) { return Slot(object, static_cast<int>(slot)); }

inline std::uint32_t Word(const void* p) {
  return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(p));
}

// A double as the two words it occupies on the stack, low word first.
inline std::vector<std::uint32_t> Words(double value) {
  std::uint32_t w[2];
  static_assert(sizeof w == sizeof value);
  std::memcpy(w, &value, sizeof w);
  return {w[0], w[1]};
}

}  // namespace tonvane::test
