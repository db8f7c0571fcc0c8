#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "asio/asio_device.h"
#include "asio/asio_message.h"
#include "asio/driver_list_win32.h"
#include "asio_driver_win32.h"
#include "base/module_hold_win32.h"

namespace tonvane {

// The installed ASIO drivers and the open driver object, behind OpenAsio.dll: the
// callback table the driver calls, and keeping this module loaded while a driver
// runs. The driver's thread comes in only through the buffer-switch callback, which
// goes to the target of the last CreateBuffers from Start until StopSwitching.
class TAsioDevice final : public IAsioDevice {
 public:
  TAsioDevice();
  ~TAsioDevice() override;
  TAsioDevice(const TAsioDevice&) = delete;
  TAsioDevice& operator=(const TAsioDevice&) = delete;

  // Loads OpenAsio.dll and lists the installed drivers.
  std::vector<std::string> ListDrivers() override;
  bool Create(int index) override;
  bool IsOpen() const override { return static_cast<bool>(driver_); }

  ASIOBool Init(void* sysHandle) override { return driver_->init(sysHandle); }
  ASIOError GetChannels(std::int32_t& inputs, std::int32_t& outputs) override {
    return driver_->getChannels(&inputs, &outputs);
  }
  ASIOError GetChannelInfo(ASIOChannelInfo& info) override { return driver_->getChannelInfo(&info); }
  ASIOError CanSampleRate(ASIOSampleRate rate) override { return driver_->canSampleRate(rate); }
  ASIOError SetSampleRate(ASIOSampleRate rate) override { return driver_->setSampleRate(rate); }
  ASIOError GetSampleRate(ASIOSampleRate& rate) override { return driver_->getSampleRate(&rate); }
  ASIOError GetBufferSize(std::int32_t& minSize, std::int32_t& maxSize, std::int32_t& preferred,
                          std::int32_t& granularity) override {
    return driver_->getBufferSize(&minSize, &maxSize, &preferred, &granularity);
  }
  ASIOError CreateBuffers(ASIOBufferInfo* infos, std::int32_t count, std::int32_t bufferSize,
                          IBufferSwitch& target) override;
  ASIOError Start() override;
  ASIOError Stop() override { return driver_->stop(); }
  ASIOError DisposeBuffers() override { return driver_->disposeBuffers(); }
  void Release() override { driver_.Reset(); }

  void StopSwitching() override;
  bool TakeResetRequest() override;
  void Unload() override;
  void ShutDown(bool processExit) override;

 private:
  TAsioDriverList drivers_;
  TAsioDriverRef driver_;
  ASIOCallbacks callbacks_{};
  IBufferSwitch* target_ = nullptr;
  TModuleHold runningHold_;
  // Left to the end of the process.
  bool forgotten_ = false;
};

}  // namespace tonvane
