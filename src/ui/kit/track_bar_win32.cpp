#include "ui/kit/track_bar_win32.h"

#include <commctrl.h>

namespace tonvane {

TQLTrackBar::TQLTrackBar(HWND parent, const RECT& bounds) {
  INITCOMMONCONTROLSEX icc{sizeof(icc), ICC_BAR_CLASSES};
  InitCommonControlsEx(&icc);
  // No TBS_ENABLESELRANGE: a level has no selection to show on its track. A fixed
  // thumb length lets the owner choose the thumb's size.
  Create(0, TRACKBAR_CLASSA, "",
         WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_TABSTOP | TBS_HORZ | TBS_BOTTOM | TBS_AUTOTICKS |
             TBS_FIXEDLENGTH,
         bounds, parent);
  position_ = static_cast<int>(SendMessageA(Handle(), TBM_GETPOS, 0, 0));
}

int TQLTrackBar::Min() const { return static_cast<int>(SendMessageA(Handle(), TBM_GETRANGEMIN, 0, 0)); }

void TQLTrackBar::SetMin(int value) {
  SendMessageA(Handle(), TBM_SETRANGEMIN, TRUE, value);
  SendMessageA(Handle(), TBM_SETPOS, TRUE, position_);
}

int TQLTrackBar::Max() const { return static_cast<int>(SendMessageA(Handle(), TBM_GETRANGEMAX, 0, 0)); }

void TQLTrackBar::SetMax(int value) {
  SendMessageA(Handle(), TBM_SETRANGEMAX, TRUE, value);
  SendMessageA(Handle(), TBM_SETPOS, TRUE, position_);
}

void TQLTrackBar::SetPosition(int value) {
  if (value == position_) return;
  ShowPosition(value);
  Changed();
}

void TQLTrackBar::ShowPosition(int value) {
  if (value == position_) return;
  position_ = value;
  SendMessageA(Handle(), TBM_SETPOS, TRUE, value);
}

void TQLTrackBar::SetFrequency(int frequency) {
  frequency_ = frequency;
  SendMessageA(Handle(), TBM_SETTICFREQ, frequency, 0);
}

int TQLTrackBar::ThumbLength() const {
  return static_cast<int>(SendMessageA(Handle(), TBM_GETTHUMBLENGTH, 0, 0));
}

void TQLTrackBar::SetThumbLength(int length) { SendMessageA(Handle(), TBM_SETTHUMBLENGTH, length, 0); }

TTickStyle TQLTrackBar::TickStyle() const {
  return (GetWindowLongA(Handle(), GWL_STYLE) & TBS_NOTICKS) ? TTickStyle::tsNone : TTickStyle::tsAuto;
}

void TQLTrackBar::SetTickStyle(TTickStyle style) {
  LONG bits = GetWindowLongA(Handle(), GWL_STYLE) & ~(TBS_NOTICKS | TBS_AUTOTICKS);
  bits |= style == TTickStyle::tsNone ? TBS_NOTICKS : TBS_AUTOTICKS;
  SetWindowLongA(Handle(), GWL_STYLE, bits);
  SetWindowPos(Handle(), nullptr, 0, 0, 0, 0,
               SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
  InvalidateRect(Handle(), nullptr, TRUE);
}

void TQLTrackBar::Changed() {
  if (OnChange) OnChange(*this);
}

LRESULT TQLTrackBar::WndProc(UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_LBUTTONDOWN && OnDragBegin) OnDragBegin(*this);
  const LRESULT result = DefaultProc(msg, wParam, lParam);
  if (msg == WM_LBUTTONUP && OnDragEnd) OnDragEnd(*this);
  return result;
}

bool TQLTrackBar::Notification(UINT msg, WPARAM, LPARAM, LRESULT& result) {
  if (msg != WM_HSCROLL && msg != WM_VSCROLL) return false;
  // The control reports every step of a move, and the end of it too; only a step
  // that lands somewhere new is a change.
  const int position = static_cast<int>(SendMessageA(Handle(), TBM_GETPOS, 0, 0));
  if (position != position_) {
    position_ = position;
    Changed();
  }
  result = 0;
  return true;
}

}  // namespace tonvane
