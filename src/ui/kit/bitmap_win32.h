#pragma once

// Off-screen bitmaps with a canvas, and the colour codes the controls are set with.

#include <windows.h>

#include <cstdint>

namespace tonvane {

// 0x00BBGGRR, or 0xFF000000 plus a system colour index (COLOR_*).
using TColor = std::uint32_t;
constexpr TColor clBlack = 0x000000;
constexpr TColor clWhite = 0xFFFFFF;
constexpr TColor clSilver = 0xC0C0C0;
constexpr TColor clBtnFace = 0xFF000000 | COLOR_BTNFACE;
constexpr TColor clWindowFrame = 0xFF000000 | COLOR_WINDOWFRAME;

// The RGB value a colour code stands for now (system colours follow the user's scheme).
COLORREF ColorToRGB(TColor color);

// A 32-bit top-down bitmap selected into a memory DC of its own, so that every
// layer of a picture has the same format and its pixels can be read back exactly.
class TBitmap {
 public:
  TBitmap() = default;
  TBitmap(int width, int height);
  virtual ~TBitmap();
  TBitmap(const TBitmap&) = delete;
  TBitmap& operator=(const TBitmap&) = delete;

  // Discards the picture.
  void SetSize(int width, int height);
  int Width() const { return width_; }
  int Height() const { return height_; }
  HBITMAP Handle() const { return bitmap_; }
  // The memory DC that draws into this bitmap; null while the bitmap is empty.
  HDC Canvas() const { return dc_; }

  // The raster operation of CopyRect and Draw.
  DWORD CopyMode = SRCCOPY;
  // Copies source's sourceRect into dest on this canvas, with CopyMode.
  void CopyRect(const RECT& dest, HDC source, const RECT& sourceRect) const;
  // Puts graphic's whole picture at (x, y) on this canvas, with CopyMode.
  void Draw(int x, int y, const TBitmap& graphic) const;
  // Fills rect on this canvas with a solid colour.
  void FillRect(const RECT& rect, TColor color) const;
  // The pixel at (x, y) as an RGB value (GDI's pending drawing flushed first).
  COLORREF Pixel(int x, int y) const;

 private:
  void Release();

  int width_ = 0;
  int height_ = 0;
  HDC dc_ = nullptr;
  HBITMAP bitmap_ = nullptr;
  HGDIOBJ previous_ = nullptr;
  std::uint32_t* bits_ = nullptr;
};

// A GDI object that is selected into a DC for a scope and deleted after it.
class TSelectedObject {
 public:
  TSelectedObject(HDC dc, HGDIOBJ object) : dc_(dc), object_(object), previous_(SelectObject(dc, object)) {}
  ~TSelectedObject() {
    SelectObject(dc_, previous_);
    DeleteObject(object_);
  }
  TSelectedObject(const TSelectedObject&) = delete;
  TSelectedObject& operator=(const TSelectedObject&) = delete;

 private:
  HDC dc_;
  HGDIOBJ object_;
  HGDIOBJ previous_;
};

}  // namespace tonvane
