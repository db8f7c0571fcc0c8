#pragma once

// The common-control track bar, without a selection range, that also tells when
// the user presses and releases the left mouse button on it.

#include <windows.h>

#include "ui/kit/controls_win32.h"

namespace tonvane {

enum class TTickStyle { tsNone, tsAuto };

class TQLTrackBar : public TControl {
 public:
  TQLTrackBar(HWND parent, const RECT& bounds);

  int Min() const;
  void SetMin(int value);
  int Max() const;
  void SetMax(int value);
  // The value last set or moved to. A value set from code outside Min...Max is kept
  // as it is while the thumb stands at the nearer end of the track.
  int Position() const { return position_; }
  // Raises OnChange when the value differs from Position.
  void SetPosition(int value);
  // Moves to the value as SetPosition does, and raises nothing: for a view that
  // follows a value kept elsewhere, which must not come back as the user's change.
  void ShowPosition(int value);
  int Frequency() const { return frequency_; }
  void SetFrequency(int frequency);
  int ThumbLength() const;
  void SetThumbLength(int length);
  TTickStyle TickStyle() const;
  void SetTickStyle(TTickStyle style);

  // The position changed: moved by the user (mouse or keyboard) or set from code.
  TNotifyEvent OnChange;
  // The left button went down on the control, before the control handles it.
  TNotifyEvent OnDragBegin;
  // The left button came up on the control, after the control has handled it.
  TNotifyEvent OnDragEnd;

 protected:
  virtual void Changed();
  LRESULT WndProc(UINT msg, WPARAM wParam, LPARAM lParam) override;
  bool Notification(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

 private:
  int position_ = 0;
  int frequency_ = 1;
};

}  // namespace tonvane
