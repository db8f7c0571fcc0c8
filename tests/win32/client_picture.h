#pragma once

// What a window paints, or shows on screen, read back through GDI alone, so that the
// tests of the controls and those of the whole plug-in (which do not link the UI
// library) read pictures the same way.

#include <windows.h>

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

namespace tonvane::testing {

// A window's client area, at its client size, as a picture taken of it.
class ClientPicture {
 public:
  int Width() const { return width_; }
  int Height() const { return height_; }
  // The pixel at (x, y) as an RGB value; CLR_INVALID outside the picture.
  COLORREF Pixel(int x, int y) const {
    if (x < 0 || y < 0 || x >= width_ || y >= height_) return CLR_INVALID;
    const std::uint32_t rgb = pixels_[static_cast<std::size_t>(y) * width_ + x];
    return RGB((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF);
  }
  bool operator==(const ClientPicture&) const = default;

  // What draw(dc) puts into a bitmap of the window's client size.
  template <typename Draw>
  static ClientPicture Take(HWND hwnd, Draw&& draw);

 private:
  int width_ = 0, height_ = 0;
  std::vector<std::uint32_t> pixels_;  // 0x00RRGGBB, top row first
};

template <typename Draw>
ClientPicture ClientPicture::Take(HWND hwnd, Draw&& draw) {
  RECT client{};
  GetClientRect(hwnd, &client);
  ClientPicture picture;
  if (client.right <= 0 || client.bottom <= 0) return picture;
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = client.right;
  info.bmiHeader.biHeight = -client.bottom;  // top-down
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HDC dc = CreateCompatibleDC(nullptr);
  HBITMAP bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (!dc || !bitmap || !bits) {
    ADD_FAILURE() << "no bitmap of " << client.right << " x " << client.bottom << " to print into";
    if (bitmap) DeleteObject(bitmap);
    if (dc) DeleteDC(dc);
    return picture;
  }
  HGDIOBJ old = SelectObject(dc, bitmap);
  const auto count = static_cast<std::size_t>(client.right) * client.bottom;
  std::memset(bits, 0x5A, count * 4);  // a grey no test paints with, where the window paints nothing
  draw(dc);
  GdiFlush();
  const auto* p = static_cast<const std::uint32_t*>(bits);
  picture.width_ = client.right;
  picture.height_ = client.bottom;
  picture.pixels_.assign(p, p + count);
  SelectObject(dc, old);
  DeleteObject(bitmap);
  DeleteDC(dc);
  return picture;
}

// The window's client area as it paints it now, for WM_PRINTCLIENT.
inline ClientPicture PrintClient(HWND hwnd) {
  return ClientPicture::Take(
      hwnd, [hwnd](HDC dc) { SendMessageA(hwnd, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc), PRF_CLIENT); });
}

// What the window's client area shows on screen: what it painted last, where nothing covers it.
inline ClientPicture ScreenPicture(HWND hwnd) {
  return ClientPicture::Take(hwnd, [hwnd](HDC dc) {
    RECT client{};
    GetClientRect(hwnd, &client);
    HDC screen = GetDC(hwnd);
    BitBlt(dc, 0, 0, client.right, client.bottom, screen, 0, 0, SRCCOPY);
    ReleaseDC(hwnd, screen);
  });
}

}  // namespace tonvane::testing
