#include "ui/main_form_win32.h"

#include <algorithm>
#include <exception>

#include "base/exception.h"
#include "base/module_instance_win32.h"
#include "ui/error_box_win32.h"
#include "ui/kit/error_handler_win32.h"

namespace tonvane {

TMainForm* MainForm = nullptr;

namespace {

constexpr char kClassName[] = "TonvaneMainForm";
constexpr UINT kReleaseMessage = WM_APP + 1;
constexpr int kDesignClientWidth = 335;
constexpr int kDesignClientHeight = 123;
// The layout was designed with a fixed single border; the window is made sizeable
// at creation and keeps the outer size of that design.
constexpr DWORD kDesignStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_MAXIMIZEBOX;
constexpr DWORD kStyle = kDesignStyle | WS_THICKFRAME | WS_CLIPCHILDREN;
constexpr DWORD kExStyle = WS_EX_TOPMOST | WS_EX_APPWINDOW | WS_EX_CONTROLPARENT;

constexpr int kPanelHeight = 33;
constexpr int kStatusBarHeight = 19;

void RegisterFormClass() {
  WNDCLASSEXA wc{};
  wc.cbSize = sizeof(wc);
  if (GetClassInfoExA(ThisModule(), kClassName, &wc)) return;
  wc.style = CS_DBLCLKS;
  wc.lpfnWndProc = DefWindowProcA;
  wc.hInstance = ThisModule();
  wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.hIcon = LoadIcon(nullptr, IDI_APPLICATION);
  wc.lpszClassName = kClassName;
  RegisterClassExA(&wc);
}

}  // namespace

TMainForm::TMainForm(TPrefs& prefs, TPlayer& player, TChannelOperations& channelOps)
    : prefs_(prefs), player_(player), channelOps_(channelOps) {}

TMainForm::~TMainForm() = default;

void TMainForm::CreateMainForm(TPrefs& prefs, TPlayer& player, TChannelOperations& channelOps) {
  TModalLoop::SetEndHandler(&TMainForm::ModalLoopEnded);
  RegisterFormClass();
  auto* form = new TMainForm(prefs, player, channelOps);
  RECT outer{0, 0, kDesignClientWidth, kDesignClientHeight};
  AdjustWindowRectEx(&outer, kDesignStyle, FALSE, kExStyle);
  const int width = outer.right - outer.left;
  const int height = outer.bottom - outer.top;
  const int left = (GetSystemMetrics(SM_CXSCREEN) - width) / 2;
  const int top = (GetSystemMetrics(SM_CYSCREEN) - height) / 2;
  form->handle_ = CreateWindowExA(kExStyle, kClassName, "Tonvane", kStyle, left, top, width, height, nullptr,
                                  nullptr, ThisModule(), nullptr);
  if (!form->handle_) {
    delete form;
    throw Exception("Unable to create the main window");
  }
  SetWindowLongPtrA(form->handle_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(form));
  SetWindowLongPtrA(form->handle_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&TMainForm::WindowProc));
  MainForm = form;
  try {
    form->CreateControls();
    form->FormCreate();
    form->created_ = true;
  } catch (...) {
    // Destroying the window frees the form and clears MainForm.
    DestroyWindow(form->handle_);
    throw;
  }
}

LRESULT CALLBACK TMainForm::WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  auto* form = reinterpret_cast<TMainForm*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
  if (!form) return DefWindowProcA(hwnd, msg, wParam, lParam);
  LRESULT result = 0;
  ShowingErrors([&] { result = form->HandleMessage(msg, wParam, lParam); });
  return result;
}

LRESULT TMainForm::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_CLOSE:
      Release();
      return 0;
    case kReleaseMessage:
      if (TModalLoop::Running()) {
        releaseHeld_ = true;
        return 0;
      }
      DestroyWindow(handle_);
      return 0;
    case WM_DESTROY:
      FormDestroy();
      return 0;
    case WM_SIZE:
      // The status bar is the last control made: a window whose creation stopped
      // before it has nothing to align.
      if (wParam != SIZE_MINIMIZED && StatusBar) AlignControls(LOWORD(lParam), HIWORD(lParam));
      return 0;
    case WM_GETMINMAXINFO:
      if (minTrackWidth_ > 0) reinterpret_cast<MINMAXINFO*>(lParam)->ptMinTrackSize.x = minTrackWidth_;
      return 0;
    case WM_COMMAND:
    case WM_NOTIFY: {
      LRESULT result = 0;
      if (ReflectNotification(msg, wParam, lParam, result)) return result;
      return DefWindowProcA(handle_, msg, wParam, lParam);
    }
    case WM_NCDESTROY: {
      const LRESULT r = DefWindowProcA(handle_, msg, wParam, lParam);
      SetWindowLongPtrA(handle_, GWLP_USERDATA, 0);
      handle_ = nullptr;
      delete this;
      return r;
    }
    default:
      return DefWindowProcA(handle_, msg, wParam, lParam);
  }
}

void TMainForm::CreateControls() {
  font_ = std::make_unique<TFontHandle>("MS Sans Serif", -11);
  const HFONT font = font_->Get();
  bigIcon_ = std::make_unique<TFormIcon>(GetSystemMetrics(SM_CXICON));
  smallIcon_ = std::make_unique<TFormIcon>(GetSystemMetrics(SM_CXSMICON));
  SendMessageA(handle_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(bigIcon_->Get()));
  SendMessageA(handle_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(smallIcon_->Get()));

  // Creation order is tab order: the panel with the two lists, then the strips.
  Panel1 = std::make_unique<TPanel>(handle_, RECT{0, 0, kDesignClientWidth, kPanelHeight});
  DeviceLB = std::make_unique<TLeftLabelComboBox>(Panel1->Handle(), RECT{45, 5, 45 + 191, 5 + 21},
                                                  TComboBoxStyle::DropDownList);
  RateLB = std::make_unique<TLeftLabelComboBox>(Panel1->Handle(), RECT{276, 4, 276 + 51, 4 + 21},
                                                TComboBoxStyle::DropDownList);
  for (TLeftLabelComboBox* list : {DeviceLB.get(), RateLB.get()}) {
    list->SetFont(font);
    list->SetItemHeight(13);
    list->SetItemIndex(-1);
  }
  DeviceLB->SetLabelCaption("Device:");
  DeviceLB->SetAnchors(akLeft | akTop | akRight, kDesignClientWidth, kPanelHeight);
  DeviceLB->OnClick = [this] {
    devicePicked_ = true;
    DeviceLBClick();
    WriteChoices();
  };
  RateLB->SetLabelCaption("Rate:");
  RateLB->SetAnchors(akTop | akRight, kDesignClientWidth, kPanelHeight);
  RateLB->OnClick = [this] {
    RateLBClick();
    WriteChoices();
  };

  const int statusTop = kDesignClientHeight - kStatusBarHeight;
  ChanSB = std::make_unique<TScrollBox>(handle_, RECT{0, kPanelHeight, kDesignClientWidth, statusTop});
  ChanSB->SetFont(font);
  ChanSB->OnResize = [this] { ChanSBResize(); };
  StatusBar =
      std::make_unique<TStatusBar>(handle_, RECT{0, statusTop, kDesignClientWidth, kDesignClientHeight});
  StatusBar->SetFont(font);

  OpenDialog.DefaultExt = "wav";
  OpenDialog.Filter = "Wave files|*.wav|MP3 files |*.mp3";
  OpenDialog.Options = OFN_HIDEREADONLY | OFN_NOCHANGEDIR | OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST |
                       OFN_ENABLESIZING | OFN_EXPLORER;

  // The sizeable frame is wider than the design's single border, so the client area
  // is already smaller than designed: the anchors take up the difference.
  RECT client{};
  GetClientRect(handle_, &client);
  AlignControls(client.right, client.bottom);
}

void TMainForm::AlignControls(int clientWidth, int clientHeight) {
  const int statusTop = std::max(kPanelHeight, clientHeight - kStatusBarHeight);
  Panel1->SetBounds(0, 0, clientWidth, kPanelHeight);
  StatusBar->SetBounds(0, statusTop, clientWidth, kStatusBarHeight);
  ChanSB->SetBounds(0, kPanelHeight, clientWidth, statusTop - kPanelHeight);
}

void TMainForm::MakeFullyVisible() {
  MONITORINFO monitor{};
  monitor.cbSize = sizeof(monitor);
  if (!GetMonitorInfoA(MonitorFromWindow(handle_, MONITOR_DEFAULTTONEAREST), &monitor)) return;
  const RECT& area = monitor.rcWork;
  RECT r{};
  GetWindowRect(handle_, &r);
  const int width = r.right - r.left;
  const int height = r.bottom - r.top;
  const int left = std::max<int>(area.left, std::min<int>(r.left, area.right - width));
  const int top = std::max<int>(area.top, std::min<int>(r.top, area.bottom - height));
  if (left != r.left || top != r.top) {
    SetWindowPos(handle_, nullptr, left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
}

void TMainForm::FormCreate() {
  MakeFullyVisible();
  // The frame is sizeable from creation on (see kStyle); the window may grow but
  // never become narrower than it opens.
  RECT r{};
  GetWindowRect(handle_, &r);
  minTrackWidth_ = r.right - r.left;
  FormCreateDevice();
}

void TMainForm::ChanSBResize() {
  if (!ChanSB) return;
  // The scroll box's rows are the channel strips, one under the other.
  const int width = ChanSB->ClientWidth();
  for (HWND row : ChanSB->Rows()) {
    RECT r{};
    GetWindowRect(row, &r);
    if (r.right - r.left == width) continue;
    SetWindowPos(row, nullptr, 0, 0, width, r.bottom - r.top, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
}

void TMainForm::FormDestroy() {
  FormDestroyDevice();
  StoreChoices();
  MainForm = nullptr;
}

void TMainForm::StoreChoices() {
  // A window whose creation has not ended, or failed part-way, never offered a
  // choice: what the user chose last time stays remembered.
  if (!created_) return;
  // Only the user's pick changes the remembered device: one that is absent or fails
  // today is opened by itself at the next start, with the rack switched on.
  if (devicePicked_) {
    const int selected = DeviceLB->ItemIndex();
    prefs_.Device = selected >= 0 ? DeviceLB->Item(selected) : std::string();
  }
  const POINT at = RestoredPosition();
  prefs_.Left = at.x;
  prefs_.Top = at.y;
}

void TMainForm::WriteChoices() {
  StoreChoices();
  SavePreferences(prefs_);
}

void SavePreferences(TPrefs& prefs) {
  // A plug-in folder the user may not write to is common: say so, do not fail.
  try {
    prefs.Save();
  } catch (const std::exception& e) {
    ShowErrorBox(std::string("The preferences were not saved. ") + e.what());
  } catch (...) {
    ShowErrorBox("The preferences were not saved.");
  }
}

POINT TMainForm::RestoredPosition() const {
  RECT r{};
  GetWindowRect(handle_, &r);
  if (!IsIconic(handle_)) return {r.left, r.top};
  // A minimized window stands far off the screen; where it returns to is in its
  // placement, counted from the work area of its monitor rather than the screen.
  WINDOWPLACEMENT placement{};
  placement.length = sizeof placement;
  if (!GetWindowPlacement(handle_, &placement)) return {r.left, r.top};
  POINT at{placement.rcNormalPosition.left, placement.rcNormalPosition.top};
  MONITORINFO monitor{};
  monitor.cbSize = sizeof monitor;
  if (GetMonitorInfoA(MonitorFromRect(&placement.rcNormalPosition, MONITOR_DEFAULTTONEAREST), &monitor)) {
    at.x += monitor.rcWork.left - monitor.rcMonitor.left;
    at.y += monitor.rcWork.top - monitor.rcMonitor.top;
  }
  return at;
}

void TMainForm::ShowForm(bool minimized) {
  if (minimized) {
    if (IsWindowVisible(handle_)) {
      ShowWindow(handle_, SW_MINIMIZE);
    } else {
      minimizedWhenShown_ = true;
    }
  }
  if (!IsWindowVisible(handle_)) {
    ShowWindow(handle_, minimizedWhenShown_ ? SW_SHOWMINIMIZED : SW_SHOWNORMAL);
    minimizedWhenShown_ = false;
  }
  if (!IsIconic(handle_)) {
    SetWindowPos(handle_, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    SetForegroundWindow(handle_);
  }
}

bool TMainForm::FormVisible() const { return IsWindowVisible(handle_) != FALSE; }

void TMainForm::Release() { PostMessageA(handle_, kReleaseMessage, 0, 0); }

void TMainForm::ShowFault(const std::string& text) {
  if (StatusBar) StatusBar->SetSimpleText(text);
}

// A release that came while one of our loops ran was held back: the code below the
// loop still used the window. It is requested again once the outermost loop has ended.
void TMainForm::ModalLoopEnded(bool outermost, TModuleHold& hold) {
  if (!MainForm) return;
  if (outermost && MainForm->releaseHeld_) {
    MainForm->releaseHeld_ = false;
    MainForm->Release();
  }
  // Let go now, a library the host freed during the loop would be unloaded while the
  // window still stands, or while its held release is being carried out.
  if (!MainForm->moduleHold_) MainForm->moduleHold_ = std::move(hold);
}

void DestroyMainFormAtUnload() {
  if (!MainForm) return;
  HWND hwnd = MainForm->Handle();
  if (GetWindowThreadProcessId(hwnd, nullptr) == GetCurrentThreadId()) {
    DestroyWindow(hwnd);
  } else {
    // Another thread owns the window: hand it to the system's default procedure,
    // which closes it without our code.
    SetWindowLongPtrA(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&DefWindowProcA));
    PostMessageA(hwnd, WM_CLOSE, 0, 0);
  }
  UnregisterClassA(kClassName, ThisModule());
  UnregisterControlClasses();
}

}  // namespace tonvane
