#include "ui/kit/speed_button_win32.h"

#include <utility>
#include <vector>

namespace tonvane {

namespace {

constexpr char kSpeedButtonClass[] = "TonvaneSpeedButton";

// Every speed button alive, so that one put down finds its group without asking the
// window system for its siblings: a window's tick may put down a button in each of
// many strips. Windows live on the thread that made them, and so does this list.
std::vector<TSpeedButton*>& LiveButtons() {
  static std::vector<TSpeedButton*> buttons;
  return buttons;
}

}  // namespace

TSpeedButton::TSpeedButton(HWND parent, const RECT& bounds) : parent_(parent) {
  // No double-click style: a quick second click is one more click.
  RegisterControlClass(kSpeedButtonClass, 0);
  Create(0, kSpeedButtonClass, "", WS_CHILD | WS_VISIBLE, bounds, parent);
  LiveButtons().push_back(this);
}

TSpeedButton::~TSpeedButton() { std::erase(LiveButtons(), this); }

void TSpeedButton::SetDown(bool down) {
  if (down == down_) return;
  if (!down && groupIndex_ != 0) return;
  SetDownState(down);
  if (!down || groupIndex_ == 0) return;
  for (TSpeedButton* other : LiveButtons()) {
    if (other != this && other->parent_ == parent_ && other->groupIndex_ == groupIndex_)
      other->SetDownState(false);
  }
}

void TSpeedButton::SetDownState(bool down) {
  if (down == down_) return;
  down_ = down;
  Invalidate();
}

void TSpeedButton::SetGlyph(std::unique_ptr<TBitmap> glyph) {
  glyph_ = std::move(glyph);
  InvalidateRect(Handle(), nullptr, FALSE);
}

void TSpeedButton::Click() {
  if (OnClick) OnClick(*this);
}

bool TSpeedButton::MouseOver(LPARAM lParam) const {
  RECT client{0, 0, ClientWidth(), ClientHeight()};
  const POINT p{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
  return PtInRect(&client, p) != FALSE;
}

LRESULT TSpeedButton::WndProc(UINT msg, WPARAM wParam, LPARAM lParam) {
  if (PaintMessage(msg, wParam, [this](HDC dc) { Paint(dc); })) return msg == WM_ERASEBKGND;
  switch (msg) {
    case WM_LBUTTONDOWN:
      SetCapture(Handle());
      tracking_ = pressed_ = true;
      InvalidateRect(Handle(), nullptr, FALSE);
      return 0;
    case WM_MOUSEMOVE:
      if (tracking_ && MouseOver(lParam) != pressed_) {
        pressed_ = !pressed_;
        InvalidateRect(Handle(), nullptr, FALSE);
      }
      return 0;
    case WM_LBUTTONUP: {
      if (!tracking_) return 0;
      const bool click = MouseOver(lParam);
      tracking_ = pressed_ = false;
      if (GetCapture() == Handle()) ReleaseCapture();
      if (click && groupIndex_ != 0) SetDown(true);
      InvalidateRect(Handle(), nullptr, FALSE);
      if (click) Click();
      return 0;
    }
    case WM_CAPTURECHANGED:
      if (tracking_) {
        tracking_ = pressed_ = false;
        InvalidateRect(Handle(), nullptr, FALSE);
      }
      return 0;
    default:
      return DefaultProc(msg, wParam, lParam);
  }
}

void TSpeedButton::Paint(HDC dc) {
  RECT r{0, 0, ClientWidth(), ClientHeight()};
  const bool sunken = down_ || pressed_;
  // A latched button shows the checked face, as a tool button that stays down does.
  UINT state = DFCS_BUTTONPUSH;
  if (sunken) state |= DFCS_PUSHED;
  if (down_ && !pressed_) state |= DFCS_CHECKED;
  DrawFrameControl(dc, &r, DFC_BUTTON, state);
  if (!glyph_) return;
  const int offset = sunken ? 1 : 0;
  DrawGlyph(dc, (r.right - glyph_->Width()) / 2 + offset, (r.bottom - glyph_->Height()) / 2 + offset);
}

void TSpeedButton::DrawGlyph(HDC dc, int x, int y) const {
  const int w = glyph_->Width();
  const int h = glyph_->Height();
  // A monochrome mask, white where the glyph is transparent, cuts the glyph's shape
  // out of the face; the glyph's own pixels are then put into it.
  HDC maskDC = CreateCompatibleDC(dc);
  HBITMAP mask = CreateBitmap(w, h, 1, 1, nullptr);
  const HGDIOBJ previousMask = SelectObject(maskDC, mask);
  HDC glyphDC = glyph_->Canvas();
  const COLORREF transparent = glyph_->Pixel(0, h - 1);
  SetBkColor(glyphDC, transparent);
  BitBlt(maskDC, 0, 0, w, h, glyphDC, 0, 0, SRCCOPY);

  TBitmap shape(w, h);
  BitBlt(shape.Canvas(), 0, 0, w, h, glyphDC, 0, 0, SRCCOPY);
  // From monochrome, 1 bits come out in the background colour and 0 bits in the text colour.
  SetBkColor(shape.Canvas(), RGB(255, 255, 255));
  SetTextColor(shape.Canvas(), RGB(0, 0, 0));
  BitBlt(shape.Canvas(), 0, 0, w, h, maskDC, 0, 0, 0x00220326);  // DSna: transparent pixels to black

  const COLORREF text = SetTextColor(dc, RGB(0, 0, 0));
  const COLORREF back = SetBkColor(dc, RGB(255, 255, 255));
  BitBlt(dc, x, y, w, h, maskDC, 0, 0, SRCAND);
  BitBlt(dc, x, y, w, h, shape.Canvas(), 0, 0, SRCPAINT);
  SetTextColor(dc, text);
  SetBkColor(dc, back);

  SelectObject(maskDC, previousMask);
  DeleteObject(mask);
  DeleteDC(maskDC);
}

}  // namespace tonvane
