#pragma once

#include <windows.h>

#include <functional>
#include <vector>

#include "ui/kit/controls_win32.h"

namespace tonvane {

// A column of child rows that scrolls vertically; the horizontal direction never
// scrolls. The scroll range follows the rows' extent unless suspended.
class TScrollBox : public TControl {
 public:
  TScrollBox(HWND parent, const RECT& bounds);

  std::function<void()> OnResize;

  // While suspended (calls nest) adding or removing rows leaves the range alone, so
  // a whole column can be placed before the bar is worked out once.
  void DisableAutoRange();
  void EnableAutoRange();
  // A vertical-scroll request to the top, as the user's bar would send it.
  void ScrollToTop();
  int ScrollPos() const { return position_; }
  std::vector<HWND> Rows() const { return ChildWindows(Handle()); }
  // Works out the range from the rows' extent now.
  void UpdateScrollRange() { UpdateScrollRange(nullptr); }

 protected:
  LRESULT WndProc(UINT msg, WPARAM wParam, LPARAM lParam) override;

 private:
  void UpdateScrollRange(HWND leaving);
  void ScrollTo(int position);
  int MaxPosition() const;

  int autoRangeDisabled_ = 0;
  bool updatingRange_ = false;
  bool rangeUpdatePosted_ = false;
  int position_ = 0;
  int extent_ = 0;
};

}  // namespace tonvane
