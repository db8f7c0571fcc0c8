#include "ui/kit/controls_win32.h"

#include <commctrl.h>

#include <algorithm>
#include <exception>

#include "base/exception.h"
#include "base/module_instance_win32.h"
#include "ui/kit/error_handler_win32.h"

namespace tonvane {

namespace {

constexpr char kControlProp[] = "TonvaneControl";

std::vector<std::string>& RegisteredClasses() {
  static std::vector<std::string> names;
  return names;
}

}  // namespace

// The class procedure stays the system's default one: every instance is taken over
// right after creation, so a registration that outlives an unloaded module never
// points into freed code.
void RegisterControlClass(const char* name, UINT style) {
  WNDCLASSEXA wc{};
  wc.cbSize = sizeof(wc);
  if (GetClassInfoExA(ThisModule(), name, &wc)) return;
  wc.style = style;
  wc.lpfnWndProc = DefWindowProcA;
  wc.hInstance = ThisModule();
  wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.lpszClassName = name;
  if (!RegisterClassExA(&wc)) throw Exception(std::string("Unable to register the window class ") + name);
  auto& names = RegisteredClasses();
  if (std::find(names.begin(), names.end(), name) == names.end()) names.emplace_back(name);
}

TControl::~TControl() {
  const HWND hwnd = handle_;
  Detach();
  if (hwnd && ownsWindow_) DestroyWindow(hwnd);
}

TControl* TControl::FromHandle(HWND hwnd) {
  return hwnd ? static_cast<TControl*>(GetPropA(hwnd, kControlProp)) : nullptr;
}

void TControl::Create(DWORD exStyle, const char* className, const char* text, DWORD style, const RECT& bounds,
                      HWND parent) {
  HWND hwnd =
      CreateWindowExA(exStyle, className, text, style, bounds.left, bounds.top, bounds.right - bounds.left,
                      bounds.bottom - bounds.top, parent, nullptr, ThisModule(), nullptr);
  if (!hwnd) throw Exception(std::string("Unable to create a window of class ") + className);
  ownsWindow_ = true;
  Subclass(hwnd);
}

void TControl::Subclass(HWND hwnd) {
  handle_ = hwnd;
  SetPropA(hwnd, kControlProp, this);
  previous_ = reinterpret_cast<WNDPROC>(
      SetWindowLongPtrA(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&TControl::SubclassProc)));
}

void TControl::Detach() {
  if (!handle_) return;
  if (previous_) SetWindowLongPtrA(handle_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(previous_));
  RemovePropA(handle_, kControlProp);
  handle_ = nullptr;
}

LRESULT CALLBACK TControl::SubclassProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  TControl* control = FromHandle(hwnd);
  if (!control) return DefWindowProcA(hwnd, msg, wParam, lParam);
  if (msg == WM_NCDESTROY) {
    // The window goes first; the object lives on without it until its owner frees it.
    const WNDPROC previous = control->previous_;
    control->Detach();
    return CallWindowProcA(previous, hwnd, msg, wParam, lParam);
  }
  LRESULT result = 0;
  ShowingErrors([&] { result = control->WndProc(msg, wParam, lParam); });
  return result;
}

LRESULT TControl::WndProc(UINT msg, WPARAM wParam, LPARAM lParam) { return DefaultProc(msg, wParam, lParam); }

LRESULT TControl::DefaultProc(UINT msg, WPARAM wParam, LPARAM lParam) {
  return previous_ ? CallWindowProcA(previous_, handle_, msg, wParam, lParam)
                   : DefWindowProcA(handle_, msg, wParam, lParam);
}

bool TControl::Notification(UINT, WPARAM, LPARAM, LRESULT&) { return false; }

HWND TControl::ParentHandle() const { return handle_ ? GetParent(handle_) : nullptr; }

RECT TControl::BoundsRect() const {
  RECT r{};
  if (!handle_) return r;
  GetWindowRect(handle_, &r);
  MapWindowPoints(HWND_DESKTOP, ParentHandle(), reinterpret_cast<POINT*>(&r), 2);
  return r;
}

int TControl::Width() const {
  const RECT r = BoundsRect();
  return r.right - r.left;
}

int TControl::Height() const {
  const RECT r = BoundsRect();
  return r.bottom - r.top;
}

int TControl::ClientWidth() const {
  RECT r{};
  if (handle_) GetClientRect(handle_, &r);
  return r.right;
}

int TControl::ClientHeight() const {
  RECT r{};
  if (handle_) GetClientRect(handle_, &r);
  return r.bottom;
}

void TControl::SetBounds(int left, int top, int width, int height) {
  if (!handle_) return;
  SetWindowPos(handle_, nullptr, left, top, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
}

void TControl::SetWidth(int width) {
  const RECT r = BoundsRect();
  SetBounds(r.left, r.top, width, r.bottom - r.top);
}

bool TControl::Visible() const { return handle_ && (GetWindowLongA(handle_, GWL_STYLE) & WS_VISIBLE) != 0; }

void TControl::SetVisible(bool visible) {
  if (handle_) ShowWindow(handle_, visible ? SW_SHOWNA : SW_HIDE);
}

HFONT TControl::Font() const {
  return handle_ ? reinterpret_cast<HFONT>(SendMessageA(handle_, WM_GETFONT, 0, 0)) : nullptr;
}

void TControl::SetFont(HFONT font) {
  if (handle_) SendMessageA(handle_, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
}

bool TControl::InView() const {
  if (!handle_) return false;
  if (knownSight_) return *knownSight_;
  if (sightOwner_ && sightOwner_->knownSight_) return *sightOwner_->knownSight_;
  // One pass up the parents, and out at the first one that hides or clips the
  // control away.
  RECT seen{};
  GetWindowRect(handle_, &seen);
  for (HWND window = handle_;;) {
    const LONG style = GetWindowLongA(window, GWL_STYLE);
    if (!(style & WS_VISIBLE)) return false;
    if (!(style & WS_CHILD)) return !(style & WS_MINIMIZE);
    window = GetParent(window);
    if (!window) return true;
    RECT client{};
    GetClientRect(window, &client);
    MapWindowPoints(window, HWND_DESKTOP, reinterpret_cast<POINT*>(&client), 2);
    if (!IntersectRect(&seen, &seen, &client)) return false;
  }
}

void TControl::Invalidate() const {
  if (InView()) InvalidateRect(handle_, nullptr, FALSE);
}

void TControl::SetAnchors(unsigned anchors, int parentDesignWidth, int parentDesignHeight) {
  const RECT r = BoundsRect();
  anchors_ = anchors;
  anchorMargins_ = {r.left, r.top, parentDesignWidth - r.right, parentDesignHeight - r.bottom};
  designSize_ = {r.right - r.left, r.bottom - r.top};
}

void TControl::ApplyAnchors(int parentWidth, int parentHeight) {
  if (!handle_ || anchors_ == (akLeft | akTop)) return;
  // Along each axis: both edges anchored stretches, the far edge alone follows it,
  // neither keeps the control's place relative to the middle.
  const auto place = [](bool nearEdge, bool farEdge, int nearMargin, int farMargin, int size, int parentSize,
                        int& pos, int& extent) {
    extent = size;
    if (nearEdge && farEdge) {
      pos = nearMargin;
      extent = std::max(0, parentSize - nearMargin - farMargin);
    } else if (farEdge) {
      pos = parentSize - farMargin - size;
    } else if (nearEdge) {
      pos = nearMargin;
    } else {
      pos = nearMargin + (parentSize - (nearMargin + size + farMargin)) / 2;
    }
  };
  int left = 0, top = 0, width = 0, height = 0;
  place(anchors_ & akLeft, anchors_ & akRight, anchorMargins_.left, anchorMargins_.right, designSize_.cx,
        parentWidth, left, width);
  place(anchors_ & akTop, anchors_ & akBottom, anchorMargins_.top, anchorMargins_.bottom, designSize_.cy,
        parentHeight, top, height);
  const RECT r = BoundsRect();
  if (r.left != left || r.top != top || r.right - r.left != width || r.bottom - r.top != height) {
    SetBounds(left, top, width, height);
  }
}

bool ReflectNotification(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) {
  HWND from = nullptr;
  if (msg == WM_COMMAND || msg == WM_HSCROLL || msg == WM_VSCROLL) {
    from = reinterpret_cast<HWND>(lParam);
  } else if (msg == WM_NOTIFY && lParam) {
    from = reinterpret_cast<const NMHDR*>(lParam)->hwndFrom;
  }
  TControl* control = TControl::FromHandle(from);
  return control && control->Notification(msg, wParam, lParam, result);
}

std::vector<HWND> ChildWindows(HWND parent) {
  std::vector<HWND> children;
  for (HWND child = GetWindow(parent, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    children.push_back(child);
  }
  return children;
}

void ApplyChildAnchors(HWND parent) {
  RECT client{};
  GetClientRect(parent, &client);
  for (HWND child : ChildWindows(parent)) {
    if (TControl* control = TControl::FromHandle(child)) control->ApplyAnchors(client.right, client.bottom);
  }
}

// Font

TFontHandle::TFontHandle(const char* face, int height)
    : font_(CreateFontA(height, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                        CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, face)) {
  if (!font_) throw Exception(std::string("Unable to create the font ") + face);
}

TFontHandle::~TFontHandle() { DeleteObject(font_); }

void UnregisterControlClasses() {
  for (const std::string& name : RegisteredClasses()) UnregisterClassA(name.c_str(), ThisModule());
  RegisteredClasses().clear();
}

}  // namespace tonvane
