#include "ui/kit/status_bar_win32.h"

#include <commctrl.h>

#include <string>

namespace tonvane {

TStatusBar::TStatusBar(HWND parent, const RECT& bounds) {
  INITCOMMONCONTROLSEX icc{sizeof(icc), ICC_BAR_CLASSES};
  InitCommonControlsEx(&icc);
  // The owner places the bar; the bar would otherwise size itself to its font.
  Create(0, STATUSCLASSNAMEA, "",
         WS_CHILD | WS_VISIBLE | SBARS_SIZEGRIP | CCS_NORESIZE | CCS_NOPARENTALIGN | CCS_NODIVIDER, bounds,
         parent);
  SendMessageA(Handle(), SB_SIMPLE, TRUE, 0);
}

std::string TStatusBar::SimpleText() const {
  // Reading takes a part index; in simple mode every index reads the one text.
  const LRESULT length = LOWORD(SendMessageA(Handle(), SB_GETTEXTLENGTHA, 0, 0));
  std::string text(length + 1, '\0');
  SendMessageA(Handle(), SB_GETTEXTA, 0, reinterpret_cast<LPARAM>(text.data()));
  text.resize(length);
  return text;
}

void TStatusBar::SetSimpleText(const std::string& text) {
  SendMessageA(Handle(), SB_SETTEXTA, SB_SIMPLEID, reinterpret_cast<LPARAM>(text.c_str()));
}

}  // namespace tonvane
