#include "ui/kit/gauges_win32.h"

#include <cmath>
#include <numbers>

#include "ui/kit/gauge_math.h"

namespace tonvane {

namespace {

constexpr char kGaugeClass[] = "TonvaneGauge";

std::string OutOfRangeMessage(std::int64_t low, std::int64_t high) {
  return "Value must be between " + std::to_string(low) + " and " + std::to_string(high);
}

// Brush and pen of one drawing step, taken off the canvas again at the end of it.
class TDrawingTools {
 public:
  TDrawingTools(HDC dc, TColor brush, TColor pen)
      : brush_(dc, CreateSolidBrush(ColorToRGB(brush))), pen_(dc, CreatePen(PS_SOLID, 1, ColorToRGB(pen))) {}

 private:
  TSelectedObject brush_;
  TSelectedObject pen_;
};

}  // namespace

void TBltBitmap::MakeLike(const TBitmap& templateBitmap) {
  // The fill below covers every pixel, so a bitmap of the right size is kept as it is.
  if (Width() != templateBitmap.Width() || Height() != templateBitmap.Height())
    SetSize(templateBitmap.Width(), templateBitmap.Height());
  FillRect(RECT{0, 0, Width(), Height()}, clWindowFrame);
}

TGauge::TGauge(HWND parent) {
  RegisterControlClass(kGaugeClass, 0);
  Create(0, kGaugeClass, "", WS_CHILD | WS_VISIBLE, RECT{0, 0, 100, 100}, parent);
}

void TGauge::SetMinValue(std::int32_t value) {
  if (value == minValue_) return;
  if (value > maxValue_ && !Loading()) {
    throw EInvalidOperation(OutOfRangeMessage(-2147483647, static_cast<std::int64_t>(maxValue_) - 1));
  }
  minValue_ = value;
  if (progress_ < value) progress_ = value;
  Repaint();
}

void TGauge::SetMaxValue(std::int32_t value) {
  if (value == maxValue_) return;
  if (value < minValue_ && !Loading()) {
    throw EInvalidOperation(OutOfRangeMessage(static_cast<std::int64_t>(minValue_) + 1, 2147483647));
  }
  maxValue_ = value;
  if (progress_ > value) progress_ = value;
  Repaint();
}

void TGauge::SetProgress(std::int32_t value) {
  const std::int32_t before = PercentComplete();
  if (value < minValue_) {
    value = minValue_;
  } else if (value > maxValue_) {
    value = maxValue_;
  }
  if (value == progress_) return;
  progress_ = value;
  // Marked, not painted: an owner that moves many gauges at once (a column of strips
  // at every tick) then pays for the paints of those in view only, in the window's
  // next paint.
  if (PercentComplete() != before) Invalidate();
}

std::int32_t TGauge::PercentComplete() const {
  return PercentOfRange(static_cast<std::int64_t>(progress_) - minValue_,
                        static_cast<std::int64_t>(maxValue_) - minValue_);
}

void TGauge::SetKind(TGaugeKind kind) {
  if (kind == kind_) return;
  kind_ = kind;
  Repaint();
}

void TGauge::SetShowText(bool showText) {
  if (showText == showText_) return;
  showText_ = showText;
  Repaint();
}

void TGauge::SetBorderStyle(TBorderStyle style) {
  if (style == borderStyle_) return;
  borderStyle_ = style;
  Repaint();
}

void TGauge::SetForeColor(TColor color) {
  if (color == foreColor_) return;
  foreColor_ = color;
  Repaint();
}

void TGauge::SetBackColor(TColor color) {
  if (color == backColor_) return;
  backColor_ = color;
  Repaint();
}

void TGauge::SetColor(TColor color) {
  if (color == color_) return;
  color_ = color;
  Repaint();
}

void TGauge::Repaint() {
  if (!Handle()) return;
  InvalidateRect(Handle(), nullptr, FALSE);
  UpdateWindow(Handle());
}

LRESULT TGauge::WndProc(UINT msg, WPARAM wParam, LPARAM lParam) {
  if (PaintMessage(msg, wParam, [this](HDC dc) { Paint(dc); })) return msg == WM_ERASEBKGND;
  switch (msg) {
    case WM_SETFONT:
      font_ = reinterpret_cast<HFONT>(wParam);
      if (LOWORD(lParam)) Repaint();
      return 0;
    case WM_GETFONT:
      return reinterpret_cast<LRESULT>(font_);
    default:
      return DefaultProc(msg, wParam, lParam);
  }
}

RECT TGauge::PaintRect() const {
  RECT paint{0, 0, ClientWidth(), ClientHeight()};
  if (borderStyle_ == TBorderStyle::bsSingle) InflateRect(&paint, -1, -1);
  return paint;
}

void TGauge::Paint(HDC dc) {
  const int width = ClientWidth();
  const int height = ClientHeight();
  if (width <= 0 || height <= 0) return;
  // The layers are kept from one paint to the next while the size stays: a paint
  // then creates no bitmap and no device context, and every step below still
  // covers each layer's whole area.
  TBitmap& image = image_;
  if (image.Width() != width || image.Height() != height) image.SetSize(width, height);
  DrawBackground(image);
  const RECT paint = PaintRect();
  {
    TBltBitmap& overlay = overlay_;
    overlay.MakeLike(image);
    DrawBackground(overlay);
    switch (kind_) {
      case TGaugeKind::gkText:
        DrawPlain(overlay, paint);
        break;
      case TGaugeKind::gkHorizontalBar:
      case TGaugeKind::gkVerticalBar:
        DrawBar(overlay, paint);
        break;
      case TGaugeKind::gkPie:
        DrawPie(overlay, paint);
        break;
      case TGaugeKind::gkNeedle:
        DrawNeedle(overlay, paint);
        break;
    }
    image.CopyMode = SRCINVERT;
    image.Draw(0, 0, overlay);
    image.CopyMode = SRCCOPY;
  }
  if (showText_) DrawPercentText(image, paint);
  BitBlt(dc, 0, 0, width, height, image.Canvas(), 0, 0, SRCCOPY);
}

void TGauge::DrawBackground(TBitmap& image) const {
  // Through the copy mode rather than a fill, so that no brush is involved.
  const RECT all{0, 0, ClientWidth(), ClientHeight()};
  image.CopyMode = BLACKNESS;
  image.CopyRect(all, image.Canvas(), all);
  image.CopyMode = SRCCOPY;
}

void TGauge::DrawPlain(const TBitmap& image, const RECT& paint) const { image.FillRect(paint, backColor_); }

void TGauge::DrawBar(const TBitmap& image, const RECT& paint) const {
  // Widths and heights count one pixel more than the paint rectangle holds and are
  // used as far edges from the bitmap's origin: the bitmap clips the excess, and a
  // bordered gauge's bar ends exactly at its inner edge.
  const int w = paint.right - paint.left + 1;
  const int h = paint.bottom - paint.top + 1;
  image.FillRect(paint, backColor_);
  if (kind_ == TGaugeKind::gkHorizontalBar) {
    int fill = ScaleByPercent(PercentComplete(), w);
    if (fill > w) fill = w;
    if (fill > 0) image.FillRect(RECT{paint.left, paint.top, fill, h}, foreColor_);
  } else {
    int fill = ScaleByPercent(PercentComplete(), h);
    if (fill >= h) fill = h - 1;
    image.FillRect(RECT{paint.left, h - fill, w, h}, foreColor_);
  }
}

void TGauge::DrawPie(const TBitmap& image, const RECT& paint) const {
  const int extra = borderStyle_ == TBorderStyle::bsSingle ? 1 : 0;
  const int w = paint.right - paint.left + extra;
  const int h = paint.bottom - paint.top + extra;
  HDC dc = image.Canvas();
  image.FillRect(paint, color_);
  {
    TDrawingTools tools(dc, backColor_, foreColor_);
    Ellipse(dc, paint.left, paint.top, w, h);
  }
  const std::int32_t percent = PercentComplete();
  if (percent > 0) {
    TDrawingTools tools(dc, foreColor_, foreColor_);
    const int mx = w / 2;
    const int my = h / 2;
    const double angle = std::numbers::pi * (static_cast<double>(percent) / 50 + 0.5);
    // Windows draws pies counter-clockwise, so the wedge runs from its far end back to twelve o'clock.
    Pie(dc, paint.left, paint.top, w, h, RoundHalfEven(mx * (1 - std::cos(angle))),
        RoundHalfEven(my * (1 - std::sin(angle))), mx, 0);
  }
}

void TGauge::DrawNeedle(const TBitmap& image, const RECT& paint) const {
  const int extra = borderStyle_ == TBorderStyle::bsSingle ? 1 : 0;
  const int x = paint.left;
  const int y = paint.top;
  const int w = paint.right - x + extra;
  const int h = paint.bottom - y + extra;
  const int bottom = paint.bottom;
  HDC dc = image.Canvas();
  image.FillRect(paint, color_);
  TDrawingTools tools(dc, backColor_, foreColor_);
  // The upper half of an ellipse twice the dial's height, standing on the base line.
  Pie(dc, x, y, w, 2 * h - 1, x + w, bottom - 1, x, bottom - 1);
  MoveToEx(dc, x, bottom, nullptr);
  LineTo(dc, x + w, bottom);
  const std::int32_t percent = PercentComplete();
  if (percent > 0) {
    const int mx = ClientWidth() / 2;
    const double angle = std::numbers::pi * percent / 100;
    MoveToEx(dc, mx, bottom - 1, nullptr);
    LineTo(dc, RoundHalfEven(mx * (1 - std::cos(angle))),
           RoundHalfEven((bottom - 1) * (1 - std::sin(angle))));
  }
}

HFONT TGauge::TextFont() const {
  return font_ ? font_ : static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
}

void TGauge::DrawPercentText(TBitmap& image, const RECT& paint) {
  // The text goes onto a black layer in white and is then xor-ed onto the picture:
  // every pixel under a glyph is inverted, so the text reads on bar and background alike.
  TBltBitmap& text = text_;
  text.MakeLike(image);
  DrawBackground(text);
  const std::string s = std::to_string(PercentComplete()) + "%";
  HDC dc = text.Canvas();
  const HGDIOBJ previousFont = SelectObject(dc, TextFont());
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, RGB(255, 255, 255));
  SIZE size{};
  GetTextExtentPoint32A(dc, s.c_str(), static_cast<int>(s.size()), &size);
  const int x = (paint.right - paint.left + 1 - size.cx) / 2;
  const int y = (paint.bottom - paint.top + 1 - size.cy) / 2;
  ExtTextOutA(dc, x, y, ETO_CLIPPED, &paint, s.c_str(), static_cast<UINT>(s.size()), nullptr);
  SelectObject(dc, previousFont);
  image.CopyMode = SRCINVERT;
  image.Draw(0, 0, text);
  image.CopyMode = SRCCOPY;
}

}  // namespace tonvane
