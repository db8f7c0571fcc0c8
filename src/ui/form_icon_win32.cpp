#include "ui/form_icon_win32.h"

#include <cstdint>
#include <vector>

#include "base/exception.h"

namespace tonvane {

namespace {

// Pixels still holding this colour after drawing become transparent.
constexpr COLORREF kKey = RGB(255, 0, 255);
constexpr std::uint32_t kKeyPixel = 0x00FF00FF;  // the same colour as a BGRA pixel

// A loudspeaker with two sound waves on a rounded tile, laid out on a 32-pixel grid.
void DrawSpeaker(HDC dc, int size) {
  const auto s = [size](int v) { return v * size / 32; };
  HBRUSH background = CreateSolidBrush(kKey);
  RECT all{0, 0, size, size};
  FillRect(dc, &all, background);
  DeleteObject(background);

  HBRUSH tile = CreateSolidBrush(RGB(0, 92, 128));
  HPEN tileEdge = CreatePen(PS_SOLID, 1, RGB(0, 60, 88));
  HGDIOBJ oldBrush = SelectObject(dc, tile);
  HGDIOBJ oldPen = SelectObject(dc, tileEdge);
  RoundRect(dc, 0, 0, size, size, s(10), s(10));

  HBRUSH white = CreateSolidBrush(RGB(255, 255, 255));
  HPEN whiteEdge = CreatePen(PS_SOLID, 1, RGB(255, 255, 255));
  SelectObject(dc, white);
  SelectObject(dc, whiteEdge);
  const POINT speaker[] = {{s(5), s(12)},  {s(10), s(12)}, {s(17), s(5)},
                           {s(17), s(27)}, {s(10), s(20)}, {s(5), s(20)}};
  Polygon(dc, speaker, 6);

  HPEN wave = CreatePen(PS_SOLID, size >= 32 ? 2 : 1, RGB(255, 255, 255));
  SelectObject(dc, wave);
  for (int r : {5, 9}) {
    const int cx = s(17), cy = s(16), rr = s(r);
    Arc(dc, cx - rr, cy - rr, cx + rr, cy + rr, cx + rr, cy + rr, cx + rr, cy - rr);
  }

  SelectObject(dc, oldBrush);
  SelectObject(dc, oldPen);
  DeleteObject(tile);
  DeleteObject(tileEdge);
  DeleteObject(white);
  DeleteObject(whiteEdge);
  DeleteObject(wave);
}

}  // namespace

TFormIcon::TFormIcon(int size) : icon_(nullptr) {
  BITMAPINFO bmi{};
  bmi.bmiHeader.biSize = sizeof(bmi.bmiHeader);
  bmi.bmiHeader.biWidth = size;
  bmi.bmiHeader.biHeight = -size;  // top-down rows
  bmi.bmiHeader.biPlanes = 1;
  bmi.bmiHeader.biBitCount = 32;
  bmi.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP color = CreateDIBSection(nullptr, &bmi, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (!color) throw Exception("Unable to create the window icon");
  HDC dc = CreateCompatibleDC(nullptr);
  HGDIOBJ old = SelectObject(dc, color);
  DrawSpeaker(dc, size);
  GdiFlush();
  SelectObject(dc, old);
  DeleteDC(dc);

  // The colour image gets an alpha channel and the mask marks the same pixels, so
  // both kinds of icon drawing show the shape alone.
  const int maskStride = (size + 15) / 16 * 2;
  std::vector<std::uint8_t> mask(static_cast<size_t>(maskStride) * size, 0);
  auto* pixels = static_cast<std::uint32_t*>(bits);
  for (int y = 0; y < size; ++y) {
    for (int x = 0; x < size; ++x) {
      std::uint32_t& p = pixels[y * size + x];
      if ((p & 0x00FFFFFF) == kKeyPixel) {
        p = 0;
        mask[y * maskStride + x / 8] |= static_cast<std::uint8_t>(0x80 >> (x % 8));
      } else {
        p |= 0xFF000000;
      }
    }
  }
  HBITMAP maskBitmap = CreateBitmap(size, size, 1, 1, mask.data());
  ICONINFO info{};
  info.fIcon = TRUE;
  info.hbmMask = maskBitmap;
  info.hbmColor = color;
  icon_ = CreateIconIndirect(&info);
  DeleteObject(maskBitmap);
  DeleteObject(color);
  if (!icon_) throw Exception("Unable to create the window icon");
}

TFormIcon::~TFormIcon() { DestroyIcon(icon_); }

}  // namespace tonvane
