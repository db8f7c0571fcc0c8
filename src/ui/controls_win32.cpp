#include "ui/controls_win32.h"

#include <commctrl.h>

#include <algorithm>
#include <exception>

#include "base/exception.h"
#include "ui/error_box_win32.h"
#include "ui/module_instance_win32.h"

namespace tonvane {

namespace {

constexpr char kControlProp[] = "TonvaneControl";
constexpr char kPanelClass[] = "TonvanePanel";
constexpr char kScrollBoxClass[] = "TonvaneScrollBox";
// One click on a scroll-bar arrow moves the column this far.
constexpr int kScrollLine = 8;
constexpr UINT kUpdateRangeMessage = WM_APP + 1;

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

// Panel

TPanel::TPanel(HWND parent, const RECT& bounds) {
  RegisterControlClass(kPanelClass, 0);
  Create(WS_EX_CONTROLPARENT, kPanelClass, "", WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS, bounds, parent);
}

LRESULT TPanel::WndProc(UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_COMMAND:
    case WM_NOTIFY:
    case WM_HSCROLL:
    case WM_VSCROLL: {
      LRESULT result = 0;
      if (ReflectNotification(msg, wParam, lParam, result)) return result;
      break;
    }
    case WM_SIZE: {
      const LRESULT result = DefaultProc(msg, wParam, lParam);
      ApplyChildAnchors(Handle());
      return result;
    }
    default:
      break;
  }
  return DefaultProc(msg, wParam, lParam);
}

// Label

TLabel::TLabel(HWND parent, const RECT& bounds) {
  Create(0, "STATIC", "", WS_CHILD | WS_VISIBLE | SS_LEFT, bounds, parent);
  AdjustSize();
}

std::string TLabel::Caption() const {
  std::string text(GetWindowTextLengthA(Handle()) + 1, '\0');
  text.resize(GetWindowTextA(Handle(), text.data(), static_cast<int>(text.size())));
  return text;
}

void TLabel::SetCaption(const std::string& caption) { SetWindowTextA(Handle(), caption.c_str()); }

void TLabel::SetAutoSize(bool autoSize) {
  autoSize_ = autoSize;
  AdjustSize();
}

void TLabel::SetCentered(bool centered) {
  LONG style = GetWindowLongA(Handle(), GWL_STYLE) & ~(SS_TYPEMASK | SS_CENTERIMAGE);
  style |= centered ? SS_CENTER | SS_CENTERIMAGE : SS_LEFT;
  SetWindowLongA(Handle(), GWL_STYLE, style);
  InvalidateRect(Handle(), nullptr, TRUE);
}

void TLabel::SetBounds(int left, int top, int width, int height) {
  TControl::SetBounds(left, top, width, height);
  AdjustSize();
}

LRESULT TLabel::WndProc(UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_SETTEXT || msg == WM_SETFONT) {
    const LRESULT result = DefaultProc(msg, wParam, lParam);
    AdjustSize();
    return result;
  }
  return DefaultProc(msg, wParam, lParam);
}

void TLabel::AdjustSize() {
  if (!Handle() || !autoSize_) return;
  const std::string text = Caption();
  HDC dc = GetDC(Handle());
  HFONT font = Font();
  HGDIOBJ old = SelectObject(dc, font ? static_cast<HGDIOBJ>(font) : GetStockObject(SYSTEM_FONT));
  RECT r{};
  DrawTextA(dc, text.empty() ? " " : text.c_str(), -1, &r, DT_CALCRECT | DT_SINGLELINE | DT_LEFT);
  if (text.empty()) r.right = 0;
  SelectObject(dc, old);
  ReleaseDC(Handle(), dc);
  const RECT bounds = BoundsRect();
  const int left = (Anchors() & (akLeft | akRight)) == akRight ? bounds.right - r.right : bounds.left;
  SetWindowPos(Handle(), nullptr, left, bounds.top, r.right, r.bottom, SWP_NOZORDER | SWP_NOACTIVATE);
}

// Scroll box

TScrollBox::TScrollBox(HWND parent, const RECT& bounds) {
  RegisterControlClass(kScrollBoxClass, 0);
  Create(WS_EX_CLIENTEDGE | WS_EX_CONTROLPARENT, kScrollBoxClass, "", WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN,
         bounds, parent);
}

void TScrollBox::DisableAutoRange() { ++autoRangeDisabled_; }

void TScrollBox::EnableAutoRange() {
  if (autoRangeDisabled_ > 0 && --autoRangeDisabled_ == 0) UpdateScrollRange(nullptr);
}

void TScrollBox::ScrollToTop() { SendMessageA(Handle(), WM_VSCROLL, MAKEWPARAM(SB_TOP, 0), 0); }

int TScrollBox::MaxPosition() const { return std::max(0, extent_ - ClientHeight()); }

void TScrollBox::ScrollTo(int position) {
  position = std::clamp(position, 0, MaxPosition());
  if (position == position_) return;
  const int delta = position_ - position;
  position_ = position;
  ScrollWindowEx(Handle(), 0, delta, nullptr, nullptr, nullptr, nullptr,
                 SW_SCROLLCHILDREN | SW_INVALIDATE | SW_ERASE);
  SetScrollPos(Handle(), SB_VERT, position_, TRUE);
}

void TScrollBox::UpdateScrollRange(HWND leaving) {
  if (!Handle() || autoRangeDisabled_ > 0 || updatingRange_) return;
  // Showing or hiding the bar resizes the client area, which asks for this again.
  updatingRange_ = true;
  struct Done {
    bool& flag;
    ~Done() { flag = false; }
  } done{updatingRange_};

  int extent = 0;
  for (HWND row : Rows()) {
    if (row == leaving || !(GetWindowLongA(row, GWL_STYLE) & WS_VISIBLE)) continue;
    RECT r{};
    GetWindowRect(row, &r);
    MapWindowPoints(HWND_DESKTOP, Handle(), reinterpret_cast<POINT*>(&r), 2);
    extent = std::max<int>(extent, r.bottom + position_);
  }
  extent_ = extent;
  if (position_ > MaxPosition()) ScrollTo(MaxPosition());

  SCROLLINFO si{};
  si.cbSize = sizeof(si);
  si.fMask = SIF_RANGE | SIF_PAGE | SIF_POS;
  si.nMin = 0;
  si.nMax = std::max(extent, 1) - 1;
  si.nPage = static_cast<UINT>(ClientHeight());
  si.nPos = position_;
  SetScrollInfo(Handle(), SB_VERT, &si, TRUE);
}

LRESULT TScrollBox::WndProc(UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_VSCROLL: {
      const int page = std::max(1, ClientHeight());
      switch (LOWORD(wParam)) {
        case SB_LINEUP:
          ScrollTo(position_ - kScrollLine);
          break;
        case SB_LINEDOWN:
          ScrollTo(position_ + kScrollLine);
          break;
        case SB_PAGEUP:
          ScrollTo(position_ - page);
          break;
        case SB_PAGEDOWN:
          ScrollTo(position_ + page);
          break;
        case SB_TOP:
          ScrollTo(0);
          break;
        case SB_BOTTOM:
          ScrollTo(MaxPosition());
          break;
        case SB_THUMBTRACK:
        case SB_THUMBPOSITION:
          ScrollTo(HIWORD(wParam));
          break;
        default:
          break;
      }
      return 0;
    }
    case WM_MOUSEWHEEL:
      ScrollTo(position_ - GET_WHEEL_DELTA_WPARAM(wParam) * 3 * kScrollLine / WHEEL_DELTA);
      return 0;
    case WM_SIZE: {
      const LRESULT result = DefaultProc(msg, wParam, lParam);
      ApplyChildAnchors(Handle());
      UpdateScrollRange(nullptr);
      if (OnResize) OnResize();
      return result;
    }
    case WM_PARENTNOTIFY:
      // A new row is announced before it is shown, so its share of the range is
      // counted once its creation has finished; a leaving row still exists here.
      if (LOWORD(wParam) == WM_CREATE && !rangeUpdatePosted_) {
        rangeUpdatePosted_ = PostMessageA(Handle(), kUpdateRangeMessage, 0, 0) != FALSE;
      }
      if (LOWORD(wParam) == WM_DESTROY) UpdateScrollRange(reinterpret_cast<HWND>(lParam));
      break;
    case kUpdateRangeMessage:
      rangeUpdatePosted_ = false;
      UpdateScrollRange(nullptr);
      return 0;
    case WM_COMMAND:
    case WM_NOTIFY: {
      LRESULT result = 0;
      if (ReflectNotification(msg, wParam, lParam, result)) return result;
      break;
    }
    default:
      break;
  }
  return DefaultProc(msg, wParam, lParam);
}

// Status bar

TStatusBar::TStatusBar(HWND parent, const RECT& bounds) {
  INITCOMMONCONTROLSEX icc{sizeof(icc), ICC_BAR_CLASSES};
  InitCommonControlsEx(&icc);
  // The owner places the bar; the bar would otherwise size itself to its font.
  Create(0, STATUSCLASSNAMEA, "",
         WS_CHILD | WS_VISIBLE | SBARS_SIZEGRIP | CCS_NORESIZE | CCS_NOPARENTALIGN | CCS_NODIVIDER, bounds,
         parent);
  SendMessageA(Handle(), SB_SIMPLE, TRUE, 0);
}

std::string TStatusBar::SimpleText() const {
  // Reading takes a part index; in simple mode every index reads the one text.
  const LRESULT length = LOWORD(SendMessageA(Handle(), SB_GETTEXTLENGTHA, 0, 0));
  std::string text(length + 1, '\0');
  SendMessageA(Handle(), SB_GETTEXTA, 0, reinterpret_cast<LPARAM>(text.data()));
  text.resize(length);
  return text;
}

void TStatusBar::SetSimpleText(const std::string& text) {
  SendMessageA(Handle(), SB_SETTEXTA, SB_SIMPLEID, reinterpret_cast<LPARAM>(text.c_str()));
}

// Open dialog

bool TOpenDialog::Execute(HWND owner) {
  std::string filter = Filter;
  std::replace(filter.begin(), filter.end(), '|', '\0');
  filter += '\0';  // the list ends in two zeros; c_str() adds the second
  char file[MAX_PATH] = {};
  FileName.copy(file, MAX_PATH - 1);
  OPENFILENAMEA ofn{};
  ofn.lStructSize = sizeof(ofn);
  ofn.hwndOwner = owner;
  ofn.lpstrFilter = filter.c_str();
  ofn.nFilterIndex = 1;
  ofn.lpstrFile = file;
  ofn.nMaxFile = MAX_PATH;
  ofn.lpstrDefExt = DefaultExt.empty() ? nullptr : DefaultExt.c_str();
  ofn.Flags = Options;
  if (!GetOpenFileNameA(&ofn)) return false;
  FileName = file;
  return true;
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
