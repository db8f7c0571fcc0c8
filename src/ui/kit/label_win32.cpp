#include "ui/kit/label_win32.h"

#include <string>

namespace tonvane {

TLabel::TLabel(HWND parent, const RECT& bounds) {
  Create(0, "STATIC", "", WS_CHILD | WS_VISIBLE | SS_LEFT, bounds, parent);
  AdjustSize();
}

std::string TLabel::Caption() const {
  std::string text(GetWindowTextLengthA(Handle()) + 1, '\0');
  text.resize(GetWindowTextA(Handle(), text.data(), static_cast<int>(text.size())));
  return text;
}

void TLabel::SetCaption(const std::string& caption) {
  // The same text again would still repaint the label and measure it anew.
  if (caption != Caption()) SetWindowTextA(Handle(), caption.c_str());
}

void TLabel::SetAutoSize(bool autoSize) {
  autoSize_ = autoSize;
  AdjustSize();
}

void TLabel::SetCentered(bool centered) {
  LONG style = GetWindowLongA(Handle(), GWL_STYLE) & ~(SS_TYPEMASK | SS_CENTERIMAGE);
  style |= centered ? SS_CENTER | SS_CENTERIMAGE : SS_LEFT;
  SetWindowLongA(Handle(), GWL_STYLE, style);
  InvalidateRect(Handle(), nullptr, TRUE);
}

void TLabel::SetBounds(int left, int top, int width, int height) {
  TControl::SetBounds(left, top, width, height);
  AdjustSize();
}

LRESULT TLabel::WndProc(UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_SETTEXT || msg == WM_SETFONT) {
    const LRESULT result = DefaultProc(msg, wParam, lParam);
    AdjustSize();
    return result;
  }
  return DefaultProc(msg, wParam, lParam);
}

void TLabel::AdjustSize() {
  if (!Handle() || !autoSize_) return;
  const std::string text = Caption();
  HDC dc = GetDC(Handle());
  HFONT font = Font();
  HGDIOBJ old = SelectObject(dc, font ? static_cast<HGDIOBJ>(font) : GetStockObject(SYSTEM_FONT));
  RECT r{};
  DrawTextA(dc, text.empty() ? " " : text.c_str(), -1, &r, DT_CALCRECT | DT_SINGLELINE | DT_LEFT);
  if (text.empty()) r.right = 0;
  SelectObject(dc, old);
  ReleaseDC(Handle(), dc);
  const RECT bounds = BoundsRect();
  const int left = (Anchors() & (akLeft | akRight)) == akRight ? bounds.right - r.right : bounds.left;
  SetWindowPos(Handle(), nullptr, left, bounds.top, r.right, r.bottom, SWP_NOZORDER | SWP_NOACTIVATE);
}

}  // namespace tonvane
