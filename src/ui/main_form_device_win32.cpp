// The main window's side of the device: the device list, the open sequence as the
// user sees it (status text, boxes, the rate list), the strips of the channels.
#include <windows.h>

#include <cstdio>
#include <algorithm>
#include <functional>

#include "playback/sample_types.h"
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
    for (const std::string& name : player_.ListDrivers()) DeviceLB->AddItem(name);
  } catch (const std::exception& e) {
    ShowErrorBox(e.what());
  }
  if (prefs_.Device.empty()) return;
  for (int i = 0; i < DeviceLB->ItemCount(); ++i) {
    if (SameTextIgnoringCase(DeviceLB->Item(i), prefs_.Device)) {
      DeviceLB->SetItemIndex(i);
      DeviceLBClick();
      // The rack may be switched on later: the remembered device is kept and tried
      // again, as one that dropped out. After the box: a box holds back a release,
      // so the window is still there.
      if (!player_.IsOpen()) {
        player_.KeepTrying();
        ShowDeviceStopped(ErrorBoxesShown() ? std::string() : openFault_);
      }
      return;
    }
  }
}

namespace {

// What the window shows of an open as it goes: the sample type in the status bar
// (with a box when the engine cannot write it), the driver's rates in RateLB with the
// remembered one picked (or the first, when the driver does not offer it), the strips.
class TOpenInWindow final : public TOpenWatch {
 public:
  TOpenInWindow(TStatusBar& statusBar, TLeftLabelComboBox& rateLB, std::vector<std::int32_t>& rateData,
                TPrefs& prefs, std::function<void()> buildStrips)
      : statusBar_(statusBar),
        rateLB_(rateLB),
        rateData_(rateData),
        prefs_(prefs),
        buildStrips_(std::move(buildStrips)) {}

  void SampleTypeRead(std::int32_t sampleType) override {
    statusBar_.SetSimpleText("Sample type: " + SampleTypeName(sampleType));
    if (!SampleTypeSupported(sampleType)) ShowErrorBox("Required sample type not supported");
    rateLB_.ClearItems();
    rateData_.clear();
  }
  std::size_t PickRate(const std::vector<std::int32_t>& rates) override {
    rateData_ = rates;
    for (std::int32_t rate : rateData_) rateLB_.AddItem(RateText(rate));
    int rateIndex = 0;
    for (std::size_t i = 0; i < rateData_.size(); ++i)
      if (rateData_[i] == prefs_.Rate) rateIndex = static_cast<int>(i);
    rateLB_.SetItemIndex(rateIndex);
    return static_cast<std::size_t>(rateIndex);
  }
  // The remembered rate stays remembered until the user picks one: a device that does
  // not offer it today runs at its first rate, and the status bar says so.
  void ChannelsBuilt() override { buildStrips_(); }

 private:
  TStatusBar& statusBar_;
  TLeftLabelComboBox& rateLB_;
  std::vector<std::int32_t>& rateData_;
  TPrefs& prefs_;
  std::function<void()> buildStrips_;
};

}  // namespace

void TMainForm::DeviceLBClick() {
  // A driver may show a box or dialog of its own inside stop, init or createBuffers,
  // whose message loop dispatches the host's messages as ours do: a close or release
  // that comes then is held back the same way until the open sequence is over.
  TModalLoop driversLoop;
  player_.Close();
  FreeStrips();
  player_.FreeChannels();
  TOpenInWindow watch(*StatusBar, *RateLB, rateData_, prefs_, [this] { BuildStrips(); });
  openFault_.clear();
  try {
    player_.Open(DeviceLB->ItemIndex(), handle_, watch);
    ShowDeviceStatus();
  } catch (const std::exception& e) {
    // The player closed the device before this box: a Play or a strip that comes
    // while it is up finds no device, rather than a channel that answers OK and never
    // sounds.
    const std::string message = e.what();
    openFault_ = message;
    DeviceLB->SetItemIndex(-1);
    ShowErrorBox(message);
  }
}

namespace {

// What the window shows of a reopen: no box; the driver's rates, anew only if they
// changed, with the rate that ran picked (or, for a device that never ran, the
// remembered one); the strips, anew only if the channels are others.
class TReopenInWindow final : public TOpenWatch {
 public:
  TReopenInWindow(TLeftLabelComboBox& rateLB, std::vector<std::int32_t>& rateData, std::int32_t wanted,
                  std::function<void()> channelsBuilt)
      : rateLB_(rateLB), rateData_(rateData), wanted_(wanted), channelsBuilt_(std::move(channelsBuilt)) {}

  std::size_t PickRate(const std::vector<std::int32_t>& rates) override {
    if (rates != rateData_) {
      rateLB_.ClearItems();
      rateData_ = rates;
      for (std::int32_t rate : rateData_) rateLB_.AddItem(RateText(rate));
    }
    const auto at = std::find(rates.begin(), rates.end(), wanted_);
    const int index = at == rates.end() ? 0 : static_cast<int>(at - rates.begin());
    rateLB_.SetItemIndex(index);
    return static_cast<std::size_t>(index);
  }
  void ChannelsBuilt() override { channelsBuilt_(); }

 private:
  TLeftLabelComboBox& rateLB_;
  std::vector<std::int32_t>& rateData_;
  std::int32_t wanted_;
  std::function<void()> channelsBuilt_;
};

}  // namespace

void TMainForm::KeepDevice(bool atTick) {
  if (keeping_) return;
  keeping_ = true;
  const TScopeExit done([this] { keeping_ = false; });
  const TDeviceMonitor::TAction action = player_.Due(atTick);
  if (action == TDeviceMonitor::TAction::None) return;
  // As in the open sequence: a driver's own box inside a reopen holds back a release.
  TModalLoop driversLoop;
  TReopenInWindow watch(*RateLB, rateData_, player_.Rate() != 0 ? player_.Rate() : prefs_.Rate, [this] {
    if (strips_.size() != player_.ChannelCount()) BuildStrips();
  });
  switch (player_.Carry(action, watch)) {
    case TPlayer::TDeviceEvent::None:
      return;
    case TPlayer::TDeviceEvent::Reset:
    case TPlayer::TDeviceEvent::Back:
      DeviceLB->SetItemIndex(player_.DeviceIndex());
      ShowDeviceStatus();
      return;
    case TPlayer::TDeviceEvent::Stopped:
      ShowDeviceStopped();
      return;
  }
}

void TMainForm::ShowDeviceStatus() {
  std::string text = "Sample type: " + SampleTypeName(player_.SampleType());
  if (prefs_.Rate != 0 && prefs_.Rate != player_.Rate())
    text += ", running at " + RateText(player_.Rate()) + " kHz instead of " + RateText(prefs_.Rate) + " kHz";
  StatusBar->SetSimpleText(text);
}

void TMainForm::ShowDeviceStopped(const std::string& reason) {
  std::string text = "Device not responding: trying to reopen it";
  if (!reason.empty()) text += " (" + reason + ")";
  StatusBar->SetSimpleText(text);
}

void TMainForm::ApplySelectedRate() {
  const int index = RateLB->ItemIndex();
  if (index < 0 || index >= static_cast<int>(rateData_.size())) return;
  const std::int32_t rate = rateData_[static_cast<std::size_t>(index)];
  player_.SetRate(rate);
  prefs_.Rate = rate;
}

void TMainForm::RateLBClick() {
  // After a failed open the list keeps its rates while no driver is open: there is
  // nothing to set them on.
  if (!player_.IsOpen()) return;
  try {
    ApplySelectedRate();
    ShowDeviceStatus();
  } catch (const std::exception& e) {
    ShowErrorBox(e.what());
  }
}

void TMainForm::BuildStrips() {
  ChanSB->ScrollToTop();
  ChanSB->DisableAutoRange();
  FreeStrips();
  for (std::size_t i = 0; i < player_.ChannelCount(); ++i) CreateStrip(static_cast<std::int32_t>(i));
  ChanSB->EnableAutoRange();
  ChanSBResize();
}

void TMainForm::FormDestroyDevice() {
  player_.Destroy();
  FreeStrips();
}

}  // namespace tonvane
