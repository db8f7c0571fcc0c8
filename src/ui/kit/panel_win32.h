#pragma once

#include <windows.h>

#include "ui/kit/controls_win32.h"

namespace tonvane {

// A plain container without a bevel, in the button-face colour.
class TPanel : public TControl {
 public:
  TPanel(HWND parent, const RECT& bounds);

 protected:
  LRESULT WndProc(UINT msg, WPARAM wParam, LPARAM lParam) override;
};

}  // namespace tonvane
