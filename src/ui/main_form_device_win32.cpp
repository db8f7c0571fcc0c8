// The main window's device connection: listing the drivers, the open sequence, the
// rate choice, building and freeing the channels, and closing the device.
#include <windows.h>

#include <atomic>
#include <cstdio>

#include "asio/driver_list_win32.h"
#include "asio/engine.h"
#include "asio/sample_types.h"
#include "base/exception.h"
#include "ui/error_box_win32.h"
#include "ui/main_form_win32.h"

namespace tonvane {

// The open device. There is only ever one main window and one open device.
TAsioDriverList DriverList;
TAsioDriverRef Driver;
ASIOCallbacks Callbacks{};
TDeviceState Device;

namespace {

constexpr std::int32_t kStandardRates[] = {44100, 48000, 88200, 96000, 192000};

// What the driver's callbacks see of the window: set while a window exists, so a
// switch that arrives before creation or after destruction writes nothing.
std::atomic<TDeviceState*> CallbackDevice{nullptr};

// Drivers built with other compilers may call in with a stack aligned to 4 bytes
// only; realign so the engine's code may use aligned vector stores.
#define TONVANE_DRIVER_CALLBACK __attribute__((force_align_arg_pointer)) TONVANE_ASIO_CALLBACK

void TONVANE_DRIVER_CALLBACK BufferSwitch(std::int32_t doubleBufferIndex, ASIOBool) {
  if (TDeviceState* device = CallbackDevice.load(std::memory_order_acquire))
    FillBuffers(*device, doubleBufferIndex);
}

void TONVANE_DRIVER_CALLBACK SampleRateDidChange(ASIOSampleRate) {}

// May come from a thread the system does not know: touches nothing.
std::int32_t TONVANE_DRIVER_CALLBACK AsioMessage(std::int32_t, std::int32_t, void*, double*) { return 0; }

ASIOTime* TONVANE_DRIVER_CALLBACK BufferSwitchTimeInfo(ASIOTime*, std::int32_t, ASIOBool) { return nullptr; }

// The rate in kHz as the list shows it: five significant digits and the user's
// decimal separator (44.1, 48, 88.2, 96, 192).
std::string RateText(std::int32_t rate) {
  char text[32];
  std::snprintf(text, sizeof text, "%.5g", rate / 1000.0);
  std::string s = text;
  char separator[8] = {};
  if (GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, separator, sizeof separator) > 1) {
    const auto dot = s.find('.');
    if (dot != std::string::npos) s.replace(dot, 1, separator);
  }
  return s;
}

// While a driver runs, its thread calls into this module. The module keeps a
// reference to itself from the first start until the window is destroyed, so a host
// that frees the library while a device plays does not pull the code from under the
// driver's thread or the window; both live on until the user closes the window.
//
// The reference is let go from a thread of its own, which first waits until the
// window's thread is back in its message loop (a message sent to a system window
// of that thread returns only then), so that no code of ours is still running on
// it, and then ends inside FreeLibraryAndExitThread, never returning into code that
// may just have been unloaded.
HMODULE heldModule = nullptr;
HWND loopGate = nullptr;  // a system "STATIC" window of the window's thread

void HoldModuleWhileRunning() {
  if (heldModule) return;
  if (!GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCSTR>(&BufferSwitch),
                          &heldModule))
    heldModule = nullptr;
  loopGate = CreateWindowExA(0, "STATIC", nullptr, 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
}

struct ModuleRelease {
  HMODULE module;
  HWND gate;
};

DWORD WINAPI ReleaseModule(void* parameter) {
  const ModuleRelease release = *static_cast<ModuleRelease*>(parameter);
  delete static_cast<ModuleRelease*>(parameter);
  if (release.gate) {
    SendMessageA(release.gate, WM_NULL, 0, 0);
    PostMessageA(release.gate, WM_CLOSE, 0, 0);
  }
  FreeLibraryAndExitThread(release.module, 0);
}

void LetGoOfModule() {
  if (!heldModule) return;
  auto* release = new ModuleRelease{heldModule, loopGate};
  heldModule = nullptr;
  loopGate = nullptr;
  if (HANDLE thread = CreateThread(nullptr, 0, ReleaseModule, release, 0, nullptr)) {
    CloseHandle(thread);
    return;
  }
  // No thread: keep the reference rather than risk unloading under our own feet.
  delete release;
}

bool SameTextIgnoringCase(const std::string& a, const std::string& b) {
  return CompareStringA(LOCALE_USER_DEFAULT, NORM_IGNORECASE, a.c_str(), -1, b.c_str(), -1) == CSTR_EQUAL;
}

}  // namespace

void TMainForm::FormCreateDevice() {
  Callbacks.bufferSwitch = BufferSwitch;
  Callbacks.sampleRateDidChange = SampleRateDidChange;
  Callbacks.asioMessage = AsioMessage;
  Callbacks.bufferSwitchTimeInfo = BufferSwitchTimeInfo;
  CallbackDevice.store(&Device, std::memory_order_release);
  try {
    if (!LoadDriverLibrary()) throw Exception("Unable to load OpenAsio.dll");
    BuildDriverList(DriverList);
    if (DriverList.empty()) throw Exception("No ASIO devices found");
    for (const auto& entry : DriverList) DeviceLB->AddItem(entry.Name);
  } catch (const std::exception& e) {
    ShowErrorBox(e.what());
  }
  if (prefs_.Device.empty()) return;
  for (int i = 0; i < DeviceLB->ItemCount(); ++i) {
    if (SameTextIgnoringCase(DeviceLB->Item(i), prefs_.Device)) {
      DeviceLB->SetItemIndex(i);
      DeviceLBClick();
      return;
    }
  }
}

void TMainForm::DeviceLBClick() {
  CloseDevice();
  FreeChannels();
  try {
    const int selected = DeviceLB->ItemIndex();
    if (selected < 0 || selected >= static_cast<int>(DriverList.size()) ||
        !CreateDriver(DriverList[static_cast<std::size_t>(selected)], Driver))
      throw Exception("Unable to open device");
    if (Driver->init(handle_) != 1) throw Exception("Unable to init device");
    std::int32_t inputs = 0, outputs = 0;
    if (Driver->getChannels(&inputs, &outputs) != ASE_OK) throw Exception("Error getting channel count");
    if (outputs <= 0) throw Exception("Device has no output channels");
    ASIOChannelInfo info{};
    info.channel = 0;
    info.isInput = ASIOFalse;
    if (Driver->getChannelInfo(&info) != ASE_OK) throw Exception("Unable to get channel sample type");
    Device.SampleType = info.type;
    StatusBar->SetSimpleText("Sample type: " + SampleTypeName(Device.SampleType));
    if (!SampleTypeSupported(Device.SampleType)) ShowErrorBox("Required sample type not supported");

    RateLB->ClearItems();
    rateData_.clear();
    for (std::int32_t rate : kStandardRates) {
      if (Driver->canSampleRate(static_cast<ASIOSampleRate>(rate)) == ASE_OK) {
        RateLB->AddItem(RateText(rate));
        rateData_.push_back(rate);
      }
    }
    if (rateData_.empty()) throw Exception("No standard sample rates supported");
    int rateIndex = 0;
    for (std::size_t i = 0; i < rateData_.size(); ++i)
      if (rateData_[i] == prefs_.Rate) rateIndex = static_cast<int>(i);
    RateLB->SetItemIndex(rateIndex);
    ApplySelectedRate();

    std::int32_t minSize = 0, maxSize = 0, preferred = 0, granularity = 0;
    if (Driver->getBufferSize(&minSize, &maxSize, &preferred, &granularity) != ASE_OK)
      throw Exception("Error getting buffer size");
    Device.BufferSize = preferred;
    BuildChannels(outputs);
    if (Driver->createBuffers(Device.BufferInfos.data(), outputs, Device.BufferSize, &Callbacks) != ASE_OK)
      throw Exception("Error creating buffers");
    HoldModuleWhileRunning();
    if (Driver->start() != ASE_OK) throw Exception("Unable to start device");
  } catch (const std::exception& e) {
    ShowErrorBox(e.what());
    CloseDevice();
    DeviceLB->SetItemIndex(-1);
  }
}

void TMainForm::ApplySelectedRate() {
  const int index = RateLB->ItemIndex();
  if (index < 0 || index >= static_cast<int>(rateData_.size())) return;
  const std::int32_t rate = rateData_[static_cast<std::size_t>(index)];
  if (Driver->setSampleRate(static_cast<ASIOSampleRate>(rate)) != ASE_OK)
    throw Exception("Error setting sample rate");
  prefs_.Rate = rate;
}

void TMainForm::RateLBClick() {
  // After a failed open the list keeps its rates while no driver is open: there is
  // nothing to set them on.
  if (!Driver) return;
  try {
    ApplySelectedRate();
  } catch (const std::exception& e) {
    ShowErrorBox(e.what());
  }
}

void TMainForm::BuildChannels(std::int32_t count) {
  const auto n = static_cast<std::size_t>(count);
  Device.BufferInfos.assign(n, ASIOBufferInfo{});
  Device.Channels = std::vector<TChannelState>(n);
  ChanSB->ScrollToTop();
  ChanSB->DisableAutoRange();
  for (std::size_t i = 0; i < n; ++i) {
    Device.BufferInfos[i].isInput = ASIOFalse;
    Device.BufferInfos[i].channelNum = static_cast<std::int32_t>(i);
    Device.Channels[i].Level.store(0, std::memory_order_relaxed);
    Device.Channels[i].Playing.store(0, std::memory_order_relaxed);
    CreateStrip(static_cast<std::int32_t>(i));
  }
  ChanSB->EnableAutoRange();
  ChanSBResize();
}

void TMainForm::FreeChannels() {
  // Each record takes its stream and its strip with it.
  Device.Channels.clear();
}

void TMainForm::CloseDevice() {
  if (!Driver) return;
  Driver->stop();
  Driver->disposeBuffers();
  Driver.Reset();
}

void TMainForm::FormDestroyDevice() {
  CloseDevice();
  FreeChannels();
  CallbackDevice.store(nullptr, std::memory_order_release);
  UnloadDriverLibrary();
  LetGoOfModule();
}

bool TMainForm::DriverOpen() const { return static_cast<bool>(Driver); }

int TMainForm::ChannelCount() const { return static_cast<int>(Device.Channels.size()); }

void ShutDownDeviceLayer(bool processExit) {
  // A running device holds the module, so the library is only unloaded with a
  // driver still set at process exit, when the driver's threads are gone: its
  // objects are left alone then. Stopping a driver here, under the loader's lock,
  // would wait for its thread forever.
  if (!processExit) Driver.Reset();
  Driver.Detach();
  CallbackDevice.store(nullptr, std::memory_order_release);
  if (processExit) {
    // Windows and files go with the process; destroying strips of a window whose
    // thread may be gone is no help at this point.
    for (auto& channel : Device.Channels) {
      static_cast<void>(channel.Strip.release());
      static_cast<void>(channel.Stream.release());
    }
  }
  Device.Channels.clear();
  Device.BufferInfos.clear();
  DriverList.clear();
}

}  // namespace tonvane
