#pragma once

// The virtual ASIO driver object: the ASIO slots in the thiscall convention, as an
// MSVC-built driver has them, so that hosts and loaders meet it as they meet a
// real one. It has no hardware: a thread of its own plays the part of the clock.

#include <windows.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "asio_driver_win32.h"
#include "config.h"
#include "recorder.h"
#include "timeline.h"

namespace tonvane::vasio {

class TVirtualDriver final : public IAsioDriverThiscall {
 public:
  TVirtualDriver();
  TVirtualDriver(const TVirtualDriver&) = delete;
  TVirtualDriver& operator=(const TVirtualDriver&) = delete;

  // Driver objects alive in this DLL, for DllCanUnloadNow.
  static long Alive();

  HRESULT __stdcall QueryInterface(REFIID riid, void** object) override;
  ULONG __stdcall AddRef() override;
  ULONG __stdcall Release() override;

  ASIOBool __thiscall init(void* sysHandle) override;
  void __thiscall getDriverName(char* name) override;
  std::int32_t __thiscall getDriverVersion() override;
  void __thiscall getErrorMessage(char* string) override;
  ASIOError __thiscall start() override;
  ASIOError __thiscall stop() override;
  ASIOError __thiscall getChannels(std::int32_t* numInputChannels, std::int32_t* numOutputChannels) override;
  ASIOError __thiscall getLatencies(std::int32_t* inputLatency, std::int32_t* outputLatency) override;
  ASIOError __thiscall getBufferSize(std::int32_t* minSize, std::int32_t* maxSize,
                                     std::int32_t* preferredSize, std::int32_t* granularity) override;
  ASIOError __thiscall canSampleRate(ASIOSampleRate sampleRate) override;
  ASIOError __thiscall getSampleRate(ASIOSampleRate* sampleRate) override;
  ASIOError __thiscall setSampleRate(ASIOSampleRate sampleRate) override;
  ASIOError __thiscall getClockSources(ASIOClockSource* clocks, std::int32_t* numSources) override;
  ASIOError __thiscall setClockSource(std::int32_t reference) override;
  ASIOError __thiscall getSamplePosition(ASIOSamples* sPos, ASIOTimeStamp* tStamp) override;
  ASIOError __thiscall getChannelInfo(ASIOChannelInfo* info) override;
  ASIOError __thiscall createBuffers(ASIOBufferInfo* bufferInfos, std::int32_t numChannels,
                                     std::int32_t bufferSize, ASIOCallbacks* callbacks) override;
  ASIOError __thiscall disposeBuffers() override;
  ASIOError __thiscall controlPanel() override;
  ASIOError __thiscall future(std::int32_t selector, void* opt) override;
  ASIOError __thiscall outputReady() override;

 private:
  struct TChannelBuffers {
    bool Input = false;
    std::int32_t Channel = 0;
    std::vector<std::uint8_t> Halves[2];
    std::unique_ptr<TRecorder> Recorder;
  };

  ~TVirtualDriver();
  ASIOError Fail(ASIOError code, const std::string& message);
  double Rate() const;
  void SwitchHalf(int index, bool sendReset = false);
  void Run(int firstIndex);
  void StopThread();
  // Milliseconds the drop-out still lasts at `now` on the timeline; 0 outside it,
  // negative when it lasts for good.
  std::int64_t DropOutLeft(std::int64_t now) const;
  // The reset request is due at `now`, and this object has not sent it.
  bool ResetDue(std::int64_t now) const;
  // Asks the host for a reset, as a driver does after its settings changed; from
  // then on it calls back no more.
  void SendReset();
  void RunResetThread();

  std::atomic<ULONG> refs_{1};
  TConfig config_;
  bool initialized_ = false;
  std::string error_;

  // The rate as the bits of a double: the clock thread reads it while the host may set it.
  std::atomic<std::uint64_t> rateBits_{0};
  std::vector<TChannelBuffers> buffers_;
  ASIOCallbacks callbacks_{};
  bool buffersCreated_ = false;

  std::thread thread_;
  bool running_ = false;
  std::mutex mutex_;
  std::condition_variable wake_;
  bool stopRequested_ = false;
  TTimeline timeline_;
  // This object is to send the reset request (its timeline had not sent it at init).
  bool resetPending_ = false;
  // Under mutex_: the reset request went out; no more switches.
  bool silenced_ = false;
  std::thread resetThread_;
  std::atomic<std::uint64_t> samplePosition_{0};
  std::int64_t switches_ = 0;  // since start; touched by one thread at a time
};

}  // namespace tonvane::vasio
