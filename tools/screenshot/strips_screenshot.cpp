// Shows the plug-in's main window with a column of channel strips in different
// states (playing part way, stopped, at lower levels) and saves what the screen
// shows of it as a BMP file. Run it on a real display (Xvfb will do).
//
//   tonvane-strips-screenshot.exe OUTPUT.bmp
#include <windows.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "asio/asio_device_win32.h"
#include "plugin_host.h"
#include "prefs/prefs.h"
#include "ui/chan_frame_win32.h"
#include "ui/error_box_win32.h"
#include "ui/kit/error_handler_win32.h"
#include "ui/main_form_win32.h"

namespace {

using namespace tonvane;

void Pump(DWORD milliseconds) {
  const DWORD start = GetTickCount();
  while (GetTickCount() - start < milliseconds) {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
    Sleep(10);
  }
}

bool SaveBmp(const std::string& path, HDC source, const RECT& area) {
  const int width = area.right - area.left;
  const int height = area.bottom - area.top;
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = height;  // bottom-up, as BMP files store rows
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 24;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HDC dc = CreateCompatibleDC(nullptr);
  if (!bitmap || !dc) return false;
  const HGDIOBJ previous = SelectObject(dc, bitmap);
  BitBlt(dc, 0, 0, width, height, source, area.left, area.top, SRCCOPY);
  GdiFlush();
  const DWORD stride = (static_cast<DWORD>(width) * 3 + 3) & ~3u;
  const DWORD imageSize = stride * height;
  BITMAPFILEHEADER file{};
  file.bfType = 0x4D42;  // "BM"
  file.bfOffBits = sizeof(file) + sizeof(info.bmiHeader);
  file.bfSize = file.bfOffBits + imageSize;
  info.bmiHeader.biSizeImage = imageSize;
  bool ok = false;
  if (FILE* out = std::fopen(path.c_str(), "wb")) {
    ok = std::fwrite(&file, sizeof file, 1, out) == 1 &&
         std::fwrite(&info.bmiHeader, sizeof info.bmiHeader, 1, out) == 1 &&
         std::fwrite(bits, imageSize, 1, out) == 1;
    ok = std::fclose(out) == 0 && ok;
  }
  SelectObject(dc, previous);
  DeleteDC(dc);
  DeleteObject(bitmap);
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  std::setvbuf(stderr, nullptr, _IONBF, 0);
  if (argc != 2) {
    std::fprintf(stderr, "usage: tonvane-strips-screenshot OUTPUT.bmp\n");
    return 2;
  }
  // A message box of the window (no driver installed, say) would wait for a user:
  // its text goes to the error output and OK closes it.
  host::MessageBoxWatcher boxes(
      [](const std::string& text) { std::fprintf(stderr, "BOX %s\n", text.c_str()); });
  try {
    // Preferences that remember the virtual driver, so that the window opens it and
    // makes a strip per output, as it does for a user.
    char temp[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, temp);
    std::string dir = std::string(temp) + "tonvane-strips-screenshot";
    CreateDirectoryA(dir.c_str(), nullptr);
    TPrefs prefs(dir);
    prefs.Device = "Tonvane Virtual ASIO";
    prefs.Rate = 48000;
    prefs.Save();
    prefs.Load();
    // The controls report to the window's box, as in the plug-in once it is loaded.
    SetErrorHandler(&ShowErrorBox);
    TPlayer player(std::make_unique<TAsioDevice>());
    TChannelOperations channelOps(player, [](int, const std::string&, const std::string& reason) {
      ShowErrorBox(reason);
      return true;
    });
    TMainForm::CreateMainForm(prefs, player, channelOps);
    const HWND form = MainForm->Handle();
    const HWND column = FindWindowExA(form, nullptr, "TonvaneScrollBox", nullptr);
    if (!column) throw Exception("The window has no channel column");

    constexpr int kStrips = 4;
    // Tall enough for the whole column: the window is sizeable downwards.
    RECT outer{};
    GetWindowRect(form, &outer);
    RECT columnRect{};
    GetClientRect(column, &columnRect);
    const int grow = kStrips * TChanFrame::kDesignHeight - columnRect.bottom;
    SetWindowPos(form, nullptr, 0, 0, outer.right - outer.left, outer.bottom - outer.top + grow,
                 SWP_NOMOVE | SWP_NOZORDER);
    GetClientRect(column, &columnRect);

    // The device's own strips; without the driver, strips of our own in their places.
    std::vector<TChanFrame*> strips;
    for (HWND row : ChildWindows(column)) {
      if (auto* strip = dynamic_cast<TChanFrame*>(TControl::FromHandle(row))) strips.push_back(strip);
    }
    std::vector<std::unique_ptr<TChanFrame>> own;
    for (int i = static_cast<int>(strips.size()); i < kStrips; ++i) {
      auto strip = std::make_unique<TChanFrame>(column, i);
      strip->SetName("ChanFrame" + std::to_string(i));
      strip->SetBounds(0, TChanFrame::kDesignHeight * i, columnRect.right, TChanFrame::kDesignHeight);
      strips.push_back(strip.get());
      own.push_back(std::move(strip));
    }
    // No host ticks here, so what is set now stays on show.
    strips[0]->SetPlaying(true);
    strips[0]->ShowProgress(42);
    strips[1]->SetPlaying(false);
    strips[2]->SetPlaying(true);
    strips[2]->ShowProgress(87);
    strips[2]->SetLevel(-12);
    strips[3]->SetLevel(-80);

    MainForm->ShowForm(false);
    Pump(1500);
    RECT window{};
    GetWindowRect(form, &window);
    HDC screen = GetDC(nullptr);
    const bool saved = SaveBmp(argv[1], screen, window);
    ReleaseDC(nullptr, screen);
    own.clear();
    DestroyWindow(form);
    if (!saved) throw Exception(std::string("Unable to write ") + argv[1]);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "tonvane-strips-screenshot: %s\n", e.what());
    return 1;
  }
  return 0;
}
