#pragma once

// One row of the channel column: the user interface of one output channel. It keeps
// no playback state: it reports the user's requests to its owner and shows what the
// owner tells it to.

#include <windows.h>

#include <memory>
#include <string>

#include "ui/kit/controls_win32.h"
#include "ui/kit/label_win32.h"
#include "ui/kit/panel_win32.h"
#include "ui/kit/gauges_win32.h"
#include "ui/kit/speed_button_win32.h"
#include "ui/kit/track_bar_win32.h"

namespace tonvane {

class TChanFrame : public TPanel {
 public:
  static constexpr int kDesignWidth = 327;
  static constexpr int kDesignHeight = 30;
  static constexpr int kMinWidth = 280;

  // A strip for the channel with zero-based index, at the parent's top left at its
  // design size; the owner places it. Tag holds the index.
  TChanFrame(HWND parent, int index);
  ~TChanFrame() override;

  const std::string& Name() const { return name_; }
  // Also the window's text, so that the strip can be told apart among its siblings.
  void SetName(const std::string& name);

  // Play down for true; Stop down and an empty gauge for false. Raises no event.
  void SetPlaying(bool playing);
  void ShowProgress(int percent);
  // The slider's position in dB.
  int Level() const;
  // Above the slider's maximum (0) shows the maximum; below its minimum (-50) is
  // kept and shown as it is with the thumb at the left end. Raises OnLevelChange
  // when the position changes.
  void SetLevel(int value);
  // Shows the level as SetLevel does, without raising OnLevelChange: the level is
  // the player's, and the strip only follows it.
  void ShowLevel(int value);

  // The user asks to play a file on this channel (a click on Play, also when it is down).
  TNotifyEvent OnPlay;
  // The user asks to stop this channel (a click on Stop).
  TNotifyEvent OnStop;
  // The slider's position changed, by the user or by SetLevel.
  TNotifyEvent OnLevelChange;

  std::unique_ptr<TLabel> ChanLabel;
  std::unique_ptr<TGauge> Gauge;
  std::unique_ptr<TSpeedButton> PlayButton;
  std::unique_ptr<TSpeedButton> StopButton;
  std::unique_ptr<TLabel> Label1;
  std::unique_ptr<TQLTrackBar> LevelTB;
  std::unique_ptr<TLabel> LevelLabel;

 protected:
  LRESULT WndProc(UINT msg, WPARAM wParam, LPARAM lParam) override;

 private:
  void PlayButtonClick();
  void LevelTBChange();
  void UpdateLevelLabel();

  std::string name_;
  std::unique_ptr<TFontHandle> font_;
  std::unique_ptr<TFontHandle> chanFont_;
};

}  // namespace tonvane
