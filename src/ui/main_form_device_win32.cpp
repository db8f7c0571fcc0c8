// The main window's side of the device: the device list, the open sequence as the
// user sees it (status text, boxes, the rate list), the strips of the channels.
#include <windows.h>

#include <cstdio>

#include "playback/sample_types.h"
#include "base/exception.h"
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
      return;
    }
  }
}

void TMainForm::DeviceLBClick() {
  Device.Close();
  Device.FreeChannels();
  try {
    Device.Open(DeviceLB->ItemIndex(), handle_);
    StatusBar->SetSimpleText("Sample type: " + SampleTypeName(Device.SampleType()));
    if (!SampleTypeSupported(Device.SampleType())) ShowErrorBox("Required sample type not supported");

    RateLB->ClearItems();
    rateData_.clear();
    rateData_ = Device.StandardRates();
    for (std::int32_t rate : rateData_) RateLB->AddItem(RateText(rate));
    int rateIndex = 0;
    for (std::size_t i = 0; i < rateData_.size(); ++i)
      if (rateData_[i] == prefs_.Rate) rateIndex = static_cast<int>(i);
    RateLB->SetItemIndex(rateIndex);
    ApplySelectedRate();

    Device.BuildChannels();
    BuildStrips();
    Device.Start();
  } catch (const std::exception& e) {
    // Closed before the box: a Play or a strip that comes while the box is up finds
    // no device, rather than a channel that answers OK and never sounds.
    const std::string message = e.what();
    Device.Close();
    DeviceLB->SetItemIndex(-1);
    ShowErrorBox(message);
  }
}

void TMainForm::ApplySelectedRate() {
  const int index = RateLB->ItemIndex();
  if (index < 0 || index >= static_cast<int>(rateData_.size())) return;
  const std::int32_t rate = rateData_[static_cast<std::size_t>(index)];
  Device.SetRate(rate);
  prefs_.Rate = rate;
}

void TMainForm::RateLBClick() {
  // After a failed open the list keeps its rates while no driver is open: there is
  // nothing to set them on.
  if (!Device.IsOpen()) return;
  try {
    ApplySelectedRate();
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
