#pragma once

// A progress indicator that draws every frame off screen and composes its layers
// with exclusive-or, so that the percentage text stands out against whatever lies
// beneath each of its pixels.

#include <windows.h>

#include <cstdint>
#include <string>

#include "base/exception.h"
#include "ui/kit/bitmap_win32.h"
#include "ui/kit/controls_win32.h"

namespace tonvane {

enum class TGaugeKind { gkText, gkHorizontalBar, gkVerticalBar, gkPie, gkNeedle };
enum class TBorderStyle { bsNone, bsSingle };

// A request that the control's current state does not allow.
class EInvalidOperation : public Exception {
 public:
  using Exception::Exception;
};

// A layer of a gauge's picture.
class TBltBitmap : public TBitmap {
 public:
  // Takes template's size and fills the whole area with the window-frame colour.
  void MakeLike(const TBitmap& templateBitmap);
};

class TGauge : public TControl {
 public:
  // A gauge of 100 x 100 at the parent's top left corner.
  explicit TGauge(HWND parent);

  std::int32_t MinValue() const { return minValue_; }
  // Throws EInvalidOperation above MaxValue, unless loading.
  void SetMinValue(std::int32_t value);
  std::int32_t MaxValue() const { return maxValue_; }
  // Throws EInvalidOperation below MinValue, unless loading.
  void SetMaxValue(std::int32_t value);
  std::int32_t Progress() const { return progress_; }
  // Clamps to MinValue...MaxValue; repaints only when the whole percentage changes,
  // so that callers may set it as often as they like.
  void SetProgress(std::int32_t value);
  std::int32_t PercentComplete() const;

  TGaugeKind Kind() const { return kind_; }
  void SetKind(TGaugeKind kind);
  bool ShowText() const { return showText_; }
  void SetShowText(bool showText);
  TBorderStyle BorderStyle() const { return borderStyle_; }
  void SetBorderStyle(TBorderStyle style);
  TColor ForeColor() const { return foreColor_; }
  void SetForeColor(TColor color);
  TColor BackColor() const { return backColor_; }
  void SetBackColor(TColor color);
  // Fills the area around the pie and the needle dial.
  TColor Color() const { return color_; }
  void SetColor(TColor color);

  // While loading, the owner sets the design values in any order: MinValue and
  // MaxValue may cross on the way without an error. Calls nest.
  void BeginLoading() { ++loading_; }
  void EndLoading() {
    if (loading_ > 0) --loading_;
  }
  bool Loading() const { return loading_ > 0; }

 protected:
  LRESULT WndProc(UINT msg, WPARAM wParam, LPARAM lParam) override;
  // Composes the whole picture off screen and puts it onto dc in one copy.
  virtual void Paint(HDC dc);

 private:
  void Repaint();
  RECT PaintRect() const;
  void DrawBackground(TBitmap& image) const;
  void DrawPlain(const TBitmap& image, const RECT& paint) const;
  void DrawBar(const TBitmap& image, const RECT& paint) const;
  void DrawPie(const TBitmap& image, const RECT& paint) const;
  void DrawNeedle(const TBitmap& image, const RECT& paint) const;
  void DrawPercentText(TBitmap& image, const RECT& paint);
  HFONT TextFont() const;

  std::int32_t minValue_ = 0;
  std::int32_t maxValue_ = 100;
  std::int32_t progress_ = 0;
  TGaugeKind kind_ = TGaugeKind::gkHorizontalBar;
  bool showText_ = true;
  TBorderStyle borderStyle_ = TBorderStyle::bsSingle;
  TColor foreColor_ = clBlack;
  TColor backColor_ = clWhite;
  TColor color_ = clBtnFace;
  HFONT font_ = nullptr;  // the owner's
  int loading_ = 0;
  // The picture's layers: the composed image, the drawing xor-ed onto it, the text.
  TBitmap image_;
  TBltBitmap overlay_;
  TBltBitmap text_;
};

}  // namespace tonvane
