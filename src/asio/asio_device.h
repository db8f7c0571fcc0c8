#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "asio_types.h"

namespace tonvane {

// Where the driver's buffer switches go while a driver runs: called on the driver's
// thread, once per buffer half.
class IBufferSwitch {
 public:
  virtual ~IBufferSwitch() = default;
  virtual void BufferSwitch(std::int32_t doubleBufferIndex) = 0;
};

// The installed ASIO drivers and the one driver object open at a time, as the player
// drives them: the driver's own calls, answered as the driver answers them, so that
// the player decides what each answer means. Host's thread only. The Windows side
// (TAsioDevice) loads drivers through OpenAsio.dll; tests give their own.
class IAsioDevice {
 public:
  virtual ~IAsioDevice() = default;

  // The installed drivers' names, in the order Create takes them. Raises
  // tonvane::Exception with the message the user is shown when there is none.
  virtual std::vector<std::string> ListDrivers() = 0;
  // Creates driver `index` of the list as the open driver; false when it cannot.
  virtual bool Create(int index) = 0;
  virtual bool IsOpen() const = 0;

  // The open driver's calls.
  virtual ASIOBool Init(void* sysHandle) = 0;
  virtual ASIOError GetChannels(std::int32_t& inputs, std::int32_t& outputs) = 0;
  virtual ASIOError GetChannelInfo(ASIOChannelInfo& info) = 0;
  virtual ASIOError CanSampleRate(ASIOSampleRate rate) = 0;
  virtual ASIOError SetSampleRate(ASIOSampleRate rate) = 0;
  virtual ASIOError GetSampleRate(ASIOSampleRate& rate) = 0;
  virtual ASIOError GetBufferSize(std::int32_t& minSize, std::int32_t& maxSize, std::int32_t& preferred,
                                  std::int32_t& granularity) = 0;
  // The switches of the buffers made here go to target from Start until StopSwitching.
  virtual ASIOError CreateBuffers(ASIOBufferInfo* infos, std::int32_t count, std::int32_t bufferSize,
                                  IBufferSwitch& target) = 0;
  virtual ASIOError Start() = 0;
  virtual ASIOError Stop() = 0;
  virtual ASIOError DisposeBuffers() = 0;
  // Lets go of the open driver object.
  virtual void Release() = 0;

  // Sends the driver's switches nowhere, and waits out any still in flight.
  virtual void StopSwitching() = 0;
  // Whether the driver asked for a reset (asioMessage kAsioResetRequest) since the
  // last call; the request is taken.
  virtual bool TakeResetRequest() = 0;
  // No driver object is left and none is wanted soon: the loader may go.
  virtual void Unload() = 0;
  // The library is being unloaded (processExit: the whole process is ending, and the
  // driver's threads with it): the driver object is let go without a call into it
  // that could wait for them.
  virtual void ShutDown(bool processExit) = 0;
};

}  // namespace tonvane
