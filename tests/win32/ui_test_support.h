#pragma once

// A visible top-level window with a panel to put controls in, the message pump,
// mouse input as the system delivers it to a window, and pictures read back from
// what a window paints.

#include <windows.h>

#include <memory>
#include <string>

#include "client_picture.h"
#include "ui/kit/controls_win32.h"
#include "ui/kit/panel_win32.h"
#include "window_lookup.h"

namespace tonvane::uitest {

// Reading windows and their pictures is shared with the tests of the whole plug-in
// (window_lookup.h, client_picture.h).
using testing::ClientPicture;
using testing::HeightOf;
using testing::InParent;
using testing::PrintClient;
using testing::TextOf;
using testing::WidthOf;

inline void PumpPending() {
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
}

class TestWindow {
 public:
  TestWindow(int width, int height) {
    WNDCLASSEXA wc{};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = DefWindowProcA;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = "TonvaneUiTestHost";
    RegisterClassExA(&wc);
    RECT outer{0, 0, width, height};
    AdjustWindowRectEx(&outer, WS_OVERLAPPEDWINDOW, FALSE, 0);
    host_ = CreateWindowExA(0, wc.lpszClassName, "test", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 50, 50,
                            outer.right - outer.left, outer.bottom - outer.top, nullptr, nullptr,
                            wc.hInstance, nullptr);
    panel_ = std::make_unique<TPanel>(host_, RECT{0, 0, width, height});
    PumpPending();
  }
  ~TestWindow() {
    panel_.reset();
    DestroyWindow(host_);
    PumpPending();
  }
  TestWindow(const TestWindow&) = delete;
  TestWindow& operator=(const TestWindow&) = delete;

  HWND Host() const { return host_; }
  // The parent for controls under test: it hands their notifications back to them.
  HWND Parent() const { return panel_->Handle(); }

 private:
  HWND host_ = nullptr;
  std::unique_ptr<TPanel> panel_;
};

// Counts the messages of one kind that reach a window, behind its own procedure.
class MessageCounter {
 public:
  MessageCounter(HWND hwnd, UINT msg) : hwnd_(hwnd), msg_(msg) {
    SetPropA(hwnd, "MessageCounter", this);
    previous_ = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&MessageCounter::Proc)));
  }
  ~MessageCounter() {
    SetWindowLongPtrA(hwnd_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(previous_));
    RemovePropA(hwnd_, "MessageCounter");
  }
  MessageCounter(const MessageCounter&) = delete;
  MessageCounter& operator=(const MessageCounter&) = delete;
  int Count() const { return count_; }

 private:
  static LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    auto* self = static_cast<MessageCounter*>(GetPropA(hwnd, "MessageCounter"));
    if (msg == self->msg_) ++self->count_;
    return CallWindowProcA(self->previous_, hwnd, msg, wParam, lParam);
  }
  HWND hwnd_;
  UINT msg_;
  WNDPROC previous_ = nullptr;
  int count_ = 0;
};

inline LPARAM At(int x, int y) { return MAKELPARAM(x, y); }

// A left click at (x, y) in the window's client coordinates.
inline void Click(HWND hwnd, int x, int y) {
  SendMessageA(hwnd, WM_MOUSEMOVE, 0, At(x, y));
  SendMessageA(hwnd, WM_LBUTTONDOWN, MK_LBUTTON, At(x, y));
  SendMessageA(hwnd, WM_LBUTTONUP, 0, At(x, y));
}

inline void RightClick(HWND hwnd, int x, int y) {
  SendMessageA(hwnd, WM_RBUTTONDOWN, MK_RBUTTON, At(x, y));
  SendMessageA(hwnd, WM_RBUTTONUP, 0, At(x, y));
}

inline void Key(HWND hwnd, UINT vk) {
  SendMessageA(hwnd, WM_KEYDOWN, vk, 1);
  SendMessageA(hwnd, WM_KEYUP, vk, 0xC0000001);
}

}  // namespace tonvane::uitest
