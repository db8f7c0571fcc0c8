#include "ui/kit/bitmap_win32.h"

#include "base/exception.h"

namespace tonvane {

COLORREF ColorToRGB(TColor color) {
  if ((color & 0xFF000000) == 0xFF000000) return GetSysColor(static_cast<int>(color & 0xFF));
  return static_cast<COLORREF>(color & 0x00FFFFFF);
}

TBitmap::TBitmap(int width, int height) { SetSize(width, height); }

TBitmap::~TBitmap() { Release(); }

void TBitmap::Release() {
  if (dc_) {
    SelectObject(dc_, previous_);
    DeleteDC(dc_);
  }
  if (bitmap_) DeleteObject(bitmap_);
  dc_ = nullptr;
  bitmap_ = nullptr;
  previous_ = nullptr;
  bits_ = nullptr;
  width_ = height_ = 0;
}

void TBitmap::SetSize(int width, int height) {
  Release();
  if (width <= 0 || height <= 0) return;
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;  // top-down: row 0 first
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  bitmap_ = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  dc_ = CreateCompatibleDC(nullptr);
  if (!bitmap_ || !dc_) {
    Release();
    throw Exception("Unable to create a bitmap");
  }
  previous_ = SelectObject(dc_, bitmap_);
  bits_ = static_cast<std::uint32_t*>(bits);
  width_ = width;
  height_ = height;
}

void TBitmap::CopyRect(const RECT& dest, HDC source, const RECT& sourceRect) const {
  if (!dc_) return;
  StretchBlt(dc_, dest.left, dest.top, dest.right - dest.left, dest.bottom - dest.top, source,
             sourceRect.left, sourceRect.top, sourceRect.right - sourceRect.left,
             sourceRect.bottom - sourceRect.top, CopyMode);
}

void TBitmap::Draw(int x, int y, const TBitmap& graphic) const {
  if (!dc_ || !graphic.dc_) return;
  BitBlt(dc_, x, y, graphic.width_, graphic.height_, graphic.dc_, 0, 0, CopyMode);
}

void TBitmap::FillRect(const RECT& rect, TColor color) const {
  if (!dc_) return;
  HBRUSH brush = CreateSolidBrush(ColorToRGB(color));
  ::FillRect(dc_, &rect, brush);
  DeleteObject(brush);
}

COLORREF TBitmap::Pixel(int x, int y) const {
  if (!bits_ || x < 0 || y < 0 || x >= width_ || y >= height_) return CLR_INVALID;
  GdiFlush();
  const std::uint32_t bgr = bits_[static_cast<std::size_t>(y) * width_ + x];
  return RGB((bgr >> 16) & 0xFF, (bgr >> 8) & 0xFF, bgr & 0xFF);
}

}  // namespace tonvane
