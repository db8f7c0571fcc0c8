// The main window's side of the device: the device list, the open sequence as the
// user sees it (status text, boxes, the rate list), the strips of the channels.
#include <windows.h>

#include <cstdio>

#include "asio/sample_types.h"
#include "base/exception.h"
#include "base/modal_loop_win32.h"
#include "base/scope_exit.h"
#include "ui/error_box_win32.h"
#include "ui/main_form_win32.h"

namespace tonvane {

namespace {

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

bool SameTextIgnoringCase(const std::string& a, const std::string& b) {
  return CompareStringA(LOCALE_USER_DEFAULT, NORM_IGNORECASE, a.c_str(), -1, b.c_str(), -1) == CSTR_EQUAL;
}

}  // namespace

void TMainForm::FormCreateDevice() {
  try {
    Device.ListDrivers();
  } catch (const std::exception& e) {
    ShowErrorBox(e.what());
  }
  for (const auto& entry : Device.Drivers()) DeviceLB->AddItem(entry.Name);
  if (prefs_.Device.empty()) return;
  for (int i = 0; i < DeviceLB->ItemCount(); ++i) {
    if (SameTextIgnoringCase(DeviceLB->Item(i), prefs_.Device)) {
      DeviceLB->SetItemIndex(i);
      DeviceLBClick();
      // The rack may be switched on later: the remembered device is kept and tried
      // again, as one that dropped out. After the box: a box holds back a release,
      // so the window is still there.
      if (!Device.IsOpen()) {
        keptDevice_ = i;
        DeviceStopped();
      }
      return;
    }
  }
}

void TMainForm::DeviceLBClick() {
  // A driver may show a box or dialog of its own inside stop, init or createBuffers,
  // whose message loop dispatches the host's messages as ours do: a close or release
  // that comes then is held back the same way until the open sequence is over.
  TModalLoop driversLoop;
  monitor_.Stop();
  Device.SetStopped(false);
  keptDevice_ = -1;
  Device.Close();
  Device.FreeChannels();
  const std::string failure = OpenDevice(DeviceLB->ItemIndex(), false);
  if (failure.empty()) return;
  // Closed before the box: a Play or a strip that comes while the box is up finds
  // no device, rather than a channel that answers OK and never sounds.
  Device.Close();
  DeviceLB->SetItemIndex(-1);
  ShowErrorBox(failure);
}

std::string TMainForm::OpenDevice(int index, bool keep) {
  // A request of a driver let go of is no request of the one opened now.
  TAsioDevice::Signals().TakeResetRequest();
  try {
    Device.Open(index, handle_);
    StatusBar->SetSimpleText("Sample type: " + SampleTypeName(Device.SampleType()));
    // A reopen says nothing it said at the first open.
    if (!keep && !SampleTypeSupported(Device.SampleType()))
      ShowErrorBox("Required sample type not supported");

    // A reopen leaves the list alone when the device offers what it offered.
    if (!keep) {
      RateLB->ClearItems();
      rateData_.clear();
    }
    const std::vector<std::int32_t> rates = Device.StandardRates();
    if (rates != rateData_) {
      RateLB->ClearItems();
      rateData_ = rates;
      for (std::int32_t rate : rateData_) RateLB->AddItem(RateText(rate));
    }
    // A reopen runs at the rate that ran; a first open at the remembered one, or the
    // first rate the device offers when it does not offer that one today.
    const std::int32_t wanted = keep && runningRate_ != 0 ? runningRate_ : prefs_.Rate;
    int rateIndex = 0;
    for (std::size_t i = 0; i < rateData_.size(); ++i)
      if (rateData_[i] == wanted) rateIndex = static_cast<int>(i);
    RateLB->SetItemIndex(rateIndex);
    ApplySelectedRate();

    if (keep && !Device.Channels().empty()) {
      if (!Device.RebuildChannels()) BuildStrips();
    } else {
      Device.BuildChannels();
      BuildStrips();
    }
    Device.Start();
  } catch (const std::exception& e) {
    if (keep) Device.Suspend();
    return e.what();
  }
  keptDevice_ = index;
  Device.SetStopped(false);
  DeviceLB->SetItemIndex(index);
  ShowDeviceStatus();
  monitor_.Started(TDeviceMonitor::TClock::now(), TAsioDevice::Signals().Switches(), Device.BufferSize(),
                   runningRate_);
  return "";
}

void TMainForm::ShowDeviceStatus() {
  std::string text = "Sample type: " + SampleTypeName(Device.SampleType());
  // The remembered rate stays remembered until the user picks one: say which runs.
  if (prefs_.Rate != 0 && prefs_.Rate != runningRate_)
    text += ", running at " + RateText(runningRate_) + " kHz instead of " + RateText(prefs_.Rate) + " kHz";
  StatusBar->SetSimpleText(text);
}

void TMainForm::DeviceStopped() {
  Device.SetStopped(true);
  StatusBar->SetSimpleText("Device not responding: trying to reopen it");
  monitor_.Lost(TDeviceMonitor::TClock::now());
}

void TMainForm::KeepDevice(bool atTick) {
  if (keeping_ || keptDevice_ < 0) return;
  keeping_ = true;
  const TScopeExit done([this] { keeping_ = false; });
  TDeviceSignals& signals = TAsioDevice::Signals();
  TDeviceMonitor::TAction action = TDeviceMonitor::TAction::None;
  if (atTick) {
    action = monitor_.Poll(TDeviceMonitor::TClock::now(), signals.Switches(), signals.TakeResetRequest());
  } else if (monitor_.State() == TDeviceMonitor::TState::Running && signals.TakeResetRequest()) {
    // A command carries out a reset only: the watch and the tries are the tick's.
    action = TDeviceMonitor::TAction::Reset;
  }
  if (action == TDeviceMonitor::TAction::None) return;
  // As in the open sequence: a driver's own box inside a reopen holds back a release.
  TModalLoop driversLoop;
  switch (action) {
    case TDeviceMonitor::TAction::None:
      return;
    case TDeviceMonitor::TAction::Reset:
      // Stop, dispose, release, and the open sequence again with the driver's new
      // settings; the channels carry on where they stopped.
      Device.Suspend();
      if (!OpenDevice(keptDevice_, true).empty()) DeviceStopped();
      return;
    case TDeviceMonitor::TAction::Lost:
      Device.Suspend();
      DeviceStopped();
      return;
    case TDeviceMonitor::TAction::Retry:
      if (!OpenDevice(keptDevice_, true).empty()) monitor_.TryFailed(TDeviceMonitor::TClock::now());
      return;
  }
}

void TMainForm::ApplySelectedRate() {
  const int index = RateLB->ItemIndex();
  if (index < 0 || index >= static_cast<int>(rateData_.size())) return;
  const std::int32_t rate = rateData_[static_cast<std::size_t>(index)];
  Device.SetRate(rate);
  runningRate_ = rate;
}

void TMainForm::RateLBClick() {
  // After a failed open the list keeps its rates while no driver is open: there is
  // nothing to set them on.
  if (!Device.IsOpen()) return;
  try {
    ApplySelectedRate();
    // The user's pick is remembered, and the status no longer names another rate.
    prefs_.Rate = runningRate_;
    ShowDeviceStatus();
  } catch (const std::exception& e) {
    ShowErrorBox(e.what());
  }
}

void TMainForm::BuildStrips() {
  ChanSB->ScrollToTop();
  ChanSB->DisableAutoRange();
  for (std::size_t i = 0; i < Device.Channels().size(); ++i) CreateStrip(static_cast<std::int32_t>(i));
  ChanSB->EnableAutoRange();
  ChanSBResize();
}

void TMainForm::FormDestroyDevice() { Device.Destroy(); }

}  // namespace tonvane
