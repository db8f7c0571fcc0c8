#pragma once

#include <windows.h>

#include "ui/kit/controls_win32.h"

namespace tonvane {

// A one-line caption that sizes itself to its text unless told to keep its bounds.
class TLabel : public TControl {
 public:
  TLabel(HWND parent, const RECT& bounds);
  std::string Caption() const;
  void SetCaption(const std::string& caption);
  bool AutoSize() const { return autoSize_; }
  void SetAutoSize(bool autoSize);
  // The text in the middle of the bounds, both ways, instead of at the top left.
  void SetCentered(bool centered);
  // An auto-sized label takes the size of its text; it keeps its left edge, or its
  // right edge when only that one is anchored.
  void SetBounds(int left, int top, int width, int height) override;

 protected:
  LRESULT WndProc(UINT msg, WPARAM wParam, LPARAM lParam) override;

 private:
  void AdjustSize();

  bool autoSize_ = true;
};

}  // namespace tonvane
