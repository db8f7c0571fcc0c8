#include "ui/kit/panel_win32.h"

namespace tonvane {

namespace {

constexpr char kPanelClass[] = "TonvanePanel";

}  // namespace

TPanel::TPanel(HWND parent, const RECT& bounds) {
  RegisterControlClass(kPanelClass, 0);
  Create(WS_EX_CONTROLPARENT, kPanelClass, "", WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS, bounds, parent);
}

LRESULT TPanel::WndProc(UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_COMMAND:
    case WM_NOTIFY:
    case WM_HSCROLL:
    case WM_VSCROLL: {
      LRESULT result = 0;
      if (ReflectNotification(msg, wParam, lParam, result)) return result;
      break;
    }
    case WM_SIZE: {
      const LRESULT result = DefaultProc(msg, wParam, lParam);
      ApplyChildAnchors(Handle());
      return result;
    }
    default:
      break;
  }
  return DefaultProc(msg, wParam, lParam);
}

}  // namespace tonvane
