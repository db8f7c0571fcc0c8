#include "ui/kit/scroll_box_win32.h"

#include <commctrl.h>

#include <algorithm>

#include "base/scope_exit.h"

namespace tonvane {

namespace {

constexpr char kScrollBoxClass[] = "TonvaneScrollBox";
// One click on a scroll-bar arrow moves the column this far.
constexpr int kScrollLine = 8;
constexpr UINT kUpdateRangeMessage = WM_APP + 1;

}  // namespace

TScrollBox::TScrollBox(HWND parent, const RECT& bounds) {
  RegisterControlClass(kScrollBoxClass, 0);
  Create(WS_EX_CLIENTEDGE | WS_EX_CONTROLPARENT, kScrollBoxClass, "", WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN,
         bounds, parent);
}

void TScrollBox::DisableAutoRange() { ++autoRangeDisabled_; }

void TScrollBox::EnableAutoRange() {
  if (autoRangeDisabled_ > 0 && --autoRangeDisabled_ == 0) UpdateScrollRange(nullptr);
}

void TScrollBox::ScrollToTop() { SendMessageA(Handle(), WM_VSCROLL, MAKEWPARAM(SB_TOP, 0), 0); }

int TScrollBox::MaxPosition() const { return std::max(0, extent_ - ClientHeight()); }

void TScrollBox::ScrollTo(int position) {
  position = std::clamp(position, 0, MaxPosition());
  if (position == position_) return;
  const int delta = position_ - position;
  position_ = position;
  ScrollWindowEx(Handle(), 0, delta, nullptr, nullptr, nullptr, nullptr,
                 SW_SCROLLCHILDREN | SW_INVALIDATE | SW_ERASE);
  SetScrollPos(Handle(), SB_VERT, position_, TRUE);
}

void TScrollBox::UpdateScrollRange(HWND leaving) {
  if (!Handle() || autoRangeDisabled_ > 0 || updatingRange_) return;
  // Showing or hiding the bar resizes the client area, which asks for this again.
  updatingRange_ = true;
  const TScopeExit done([this] { updatingRange_ = false; });

  int extent = 0;
  for (HWND row : Rows()) {
    if (row == leaving || !(GetWindowLongA(row, GWL_STYLE) & WS_VISIBLE)) continue;
    RECT r{};
    GetWindowRect(row, &r);
    MapWindowPoints(HWND_DESKTOP, Handle(), reinterpret_cast<POINT*>(&r), 2);
    extent = std::max<int>(extent, r.bottom + position_);
  }
  extent_ = extent;
  if (position_ > MaxPosition()) ScrollTo(MaxPosition());

  SCROLLINFO si{};
  si.cbSize = sizeof(si);
  si.fMask = SIF_RANGE | SIF_PAGE | SIF_POS;
  si.nMin = 0;
  si.nMax = std::max(extent, 1) - 1;
  si.nPage = static_cast<UINT>(ClientHeight());
  si.nPos = position_;
  SetScrollInfo(Handle(), SB_VERT, &si, TRUE);
}

LRESULT TScrollBox::WndProc(UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_VSCROLL: {
      const int page = std::max(1, ClientHeight());
      switch (LOWORD(wParam)) {
        case SB_LINEUP:
          ScrollTo(position_ - kScrollLine);
          break;
        case SB_LINEDOWN:
          ScrollTo(position_ + kScrollLine);
          break;
        case SB_PAGEUP:
          ScrollTo(position_ - page);
          break;
        case SB_PAGEDOWN:
          ScrollTo(position_ + page);
          break;
        case SB_TOP:
          ScrollTo(0);
          break;
        case SB_BOTTOM:
          ScrollTo(MaxPosition());
          break;
        case SB_THUMBTRACK:
        case SB_THUMBPOSITION:
          ScrollTo(HIWORD(wParam));
          break;
        default:
          break;
      }
      return 0;
    }
    case WM_MOUSEWHEEL:
      ScrollTo(position_ - GET_WHEEL_DELTA_WPARAM(wParam) * 3 * kScrollLine / WHEEL_DELTA);
      return 0;
    case WM_SIZE: {
      const LRESULT result = DefaultProc(msg, wParam, lParam);
      ApplyChildAnchors(Handle());
      UpdateScrollRange(nullptr);
      if (OnResize) OnResize();
      return result;
    }
    case WM_PARENTNOTIFY:
      // A new row is announced before it is shown, so its share of the range is
      // counted once its creation has finished; a leaving row still exists here.
      if (LOWORD(wParam) == WM_CREATE && !rangeUpdatePosted_) {
        rangeUpdatePosted_ = PostMessageA(Handle(), kUpdateRangeMessage, 0, 0) != FALSE;
      }
      if (LOWORD(wParam) == WM_DESTROY) UpdateScrollRange(reinterpret_cast<HWND>(lParam));
      break;
    case kUpdateRangeMessage:
      rangeUpdatePosted_ = false;
      UpdateScrollRange(nullptr);
      return 0;
    case WM_COMMAND:
    case WM_NOTIFY: {
      LRESULT result = 0;
      if (ReflectNotification(msg, wParam, lParam, result)) return result;
      break;
    }
    default:
      break;
  }
  return DefaultProc(msg, wParam, lParam);
}

}  // namespace tonvane
