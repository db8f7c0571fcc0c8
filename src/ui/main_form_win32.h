#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/modal_loop_win32.h"
#include "base/module_hold_win32.h"
#include "commands/channel_operations.h"
#include "playback/player.h"
#include "prefs/prefs.h"
#include "ui/chan_frame_win32.h"
#include "ui/error_box_win32.h"
#include "ui/form_icon_win32.h"
#include "ui/kit/controls_win32.h"
#include "ui/kit/left_label_combo_box_win32.h"
#include "ui/kit/open_dialog_win32.h"
#include "ui/kit/panel_win32.h"
#include "ui/kit/scroll_box_win32.h"
#include "ui/kit/status_bar_win32.h"

namespace tonvane {

// The plug-in's only window: device and rate choice, the column of channel strips
// and the status bar. A view of the player: it asks the player to open the device
// picked and to close it when the window goes, and shows what the player reports.
class TMainForm final {
 public:
  // Creates the window, hidden, runs its creation handler and sets MainForm.
  static void CreateMainForm(TPrefs& prefs, TPlayer& player, TChannelOperations& channelOps);

  HWND Handle() const { return handle_; }

  // Makes the window visible and brings it to the front; minimized first sets the
  // window state to minimized. The plain variant leaves the state as it is.
  void ShowForm(bool minimized);
  // Visible, also when minimized.
  bool FormVisible() const;
  // Requests destruction: the window is destroyed when the thread's message loop
  // processes the request, never during this call, and never while one of our
  // modal loops runs (see TModalLoop).
  void Release();
  // Hands the device picked and where the window stands to the preferences object,
  // as the window's destruction does; a window still being created has offered no
  // choice yet and hands nothing.
  void StoreChoices();
  // A fault that no box shows, in the status bar until the next one.
  void ShowFault(const std::string& text);
  // A failed Play in the error box, or with the boxes off in the status bar with its
  // channel and file (then false: the command's answer carries it).
  bool ReportPlayFault(int index, const std::string& fileName, const std::string& reason);
  // The channel operations the command language acts through.
  TChannelOperations& ChannelOperations() { return channelOps_; }
  // The host's tick: every strip shows its channel's state, progress and level as
  // the player has them. Only strips in view are marked for painting; the window
  // paints them when the host's thread next takes its messages.
  void RefreshStrips();
  // What the device needs on the host's thread, without boxes (TPlayer::Keep): at a
  // tick, or before a command (atTick false); the status bar and the strips follow.
  void KeepDevice(bool atTick);

  // Whether the strip of a channel can be seen, as the tick in progress found the
  // window and the column's scroll position; nullopt outside a tick.
  std::optional<bool> StripInSight(int index) const;

  // Gives every channel strip the scroll box's client width; runs whenever the scroll
  // box changes size, and after the strips have been placed.
  void ChanSBResize();

 private:
  TMainForm(TPrefs& prefs, TPlayer& player, TChannelOperations& channelOps);
  ~TMainForm();
  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
  LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam);
  // Builds the controls at their design places, then fits them to the real client area.
  void CreateControls();
  void AlignControls(int clientWidth, int clientHeight);
  void MakeFullyVisible();
  void FormCreate();
  void FormDestroy();
  // The end of one of our modal loops (see TModalLoop), installed with the first window.
  static void ModalLoopEnded(bool outermost, TModuleHold& hold);
  // A pick of the user's is written at once, so that it survives any end of the host.
  void WriteChoices();
  // The window's top-left corner as it stands when not minimized.
  POINT RestoredPosition() const;
  // The device connection (main_form_device_win32.cpp).
  void FormCreateDevice();
  void FormDestroyDevice();
  void DeviceLBClick();
  void RateLBClick();
  // Sets the rate picked in RateLB on the driver and remembers it; throws when the
  // driver refuses it.
  void ApplySelectedRate();
  // The status bar's line for a running device: its sample type, and the rate that
  // runs when the remembered one is not offered.
  void ShowDeviceStatus();
  // The status bar's line for a device that is kept but does not run, with why it did
  // not open when no box said so.
  void ShowDeviceStopped(const std::string& reason = {});
  // One strip per channel of the device, in the channel column.
  void BuildStrips();
  void CreateStrip(std::int32_t index);
  void FreeStrips();
  // The strips' requests (main_form_channels_win32.cpp); the sender's Tag is its channel.
  void OnStripPlay(TControl& sender);
  void OnStripStop(TControl& sender);
  void OnStripLevelChange(TControl& sender);
  static int ControlTag(TControl& sender);

  TPrefs& prefs_;
  // Taken over from a modal loop that ended while the window stood: the host may have
  // freed the library meanwhile, and the window's code must stay until it is gone.
  TModuleHold moduleHold_;
  HWND handle_ = nullptr;
  bool minimizedWhenShown_ = false;
  bool created_ = false;      // the controls are made and the creation handler has run
  bool releaseHeld_ = false;  // a release came while one of our modal loops ran
  int minTrackWidth_ = 0;
  std::unique_ptr<TFontHandle> font_;
  std::unique_ptr<TFormIcon> bigIcon_;
  std::unique_ptr<TFormIcon> smallIcon_;

  std::unique_ptr<TLeftLabelComboBox> DeviceLB;
  std::unique_ptr<TPanel> Panel1;
  std::unique_ptr<TScrollBox> ChanSB;
  TOpenDialog OpenDialog;
  std::unique_ptr<TLeftLabelComboBox> RateLB;
  std::unique_ptr<TStatusBar> StatusBar;
  // What the tick in progress found: the window shown, and the rows of the column
  // that its client area shows.
  struct TColumnSight {
    bool shown = false;
    int top = 0;
    int bottom = 0;
  };
  std::optional<TColumnSight> tickSight_;
  // The rate in Hz of each RateLB item.
  std::vector<std::int32_t> rateData_;
  // Why the last pick's open failed; empty once one succeeds.
  std::string openFault_;
  // The plug-in's player, which the window shows, and the operations on its channels.
  TPlayer& player_;
  TChannelOperations& channelOps_;
  // One strip per channel of the player, in its order.
  std::vector<std::unique_ptr<TChanFrame>> strips_;
  // The user picked a device: only then does the window hand a device to the
  // preferences (a remembered one that did not open is kept for the next start).
  bool devicePicked_ = false;
  // KeepDevice is running: a driver that runs a message loop in its open may re-enter.
  bool keeping_ = false;
};

// The one main window, or null.
extern TMainForm* MainForm;

// Writes the preferences to their file; a file that cannot be written is reported in
// the error box, and the plug-in carries on.
void SavePreferences(TPrefs& prefs);

// Destroys the main window at once: for a library that is being unloaded, whose
// pending release request can no longer be processed.
void DestroyMainFormAtUnload();

}  // namespace tonvane
