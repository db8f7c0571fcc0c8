#pragma once

#include <windows.h>

#include "ui/kit/controls_win32.h"

namespace tonvane {

// The status line at the bottom: one simple text panel.
class TStatusBar : public TControl {
 public:
  TStatusBar(HWND parent, const RECT& bounds);
  std::string SimpleText() const;
  void SetSimpleText(const std::string& text);
};

}  // namespace tonvane
