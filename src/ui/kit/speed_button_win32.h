#pragma once

// A push button that does not take the focus and, in a group, latches: a click puts
// it down and raises the other buttons of its group, as a set of tool buttons does.

#include <windows.h>

#include <memory>

#include "ui/kit/bitmap_win32.h"
#include "ui/kit/controls_win32.h"

namespace tonvane {

class TSpeedButton : public TControl {
 public:
  TSpeedButton(HWND parent, const RECT& bounds);
  ~TSpeedButton() override;

  // Buttons of one parent with the same non-zero index form a group in which
  // exactly one is down once one has been put down.
  int GroupIndex() const { return groupIndex_; }
  void SetGroupIndex(int index) { groupIndex_ = index; }
  bool Down() const { return down_; }
  // Down raises the group's other buttons. Up is refused for a grouped button: a
  // group is changed by putting another one down. Raises no event.
  void SetDown(bool down);
  // Drawn centred; pixels in the colour of its bottom left pixel are left out, so
  // the button's face shows through.
  const TBitmap* Glyph() const { return glyph_.get(); }
  void SetGlyph(std::unique_ptr<TBitmap> glyph);

  // A click: the left button pressed and released over the button. A grouped
  // button is already down when this runs.
  TNotifyEvent OnClick;

 protected:
  virtual void Click();
  LRESULT WndProc(UINT msg, WPARAM wParam, LPARAM lParam) override;
  virtual void Paint(HDC dc);

 private:
  void SetDownState(bool down);
  void DrawGlyph(HDC dc, int x, int y) const;
  bool MouseOver(LPARAM lParam) const;

  HWND parent_;  // a button is never moved to another parent
  int groupIndex_ = 0;
  bool down_ = false;
  bool tracking_ = false;  // the left button went down here and is held
  bool pressed_ = false;   // ... and the mouse is over the button
  std::unique_ptr<TBitmap> glyph_;
};

}  // namespace tonvane
