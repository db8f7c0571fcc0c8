#include "ui/main_form_win32.h"

#include "ui/module_instance_win32.h"

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

TMainForm::TMainForm(TPrefs& prefs) : prefs_(prefs) {}

TMainForm::~TMainForm() = default;

void TMainForm::CreateMainForm(TPrefs& prefs) {
  RegisterFormClass();
  auto* form = new TMainForm(prefs);
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
    throw std::runtime_error("Unable to create the main window");
  }
  SetWindowLongPtrA(form->handle_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(form));
  SetWindowLongPtrA(form->handle_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&TMainForm::WindowProc));
  MainForm = form;
  form->FormCreate();
}

LRESULT CALLBACK TMainForm::WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  auto* form = reinterpret_cast<TMainForm*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
  if (!form) return DefWindowProcA(hwnd, msg, wParam, lParam);
  try {
    return form->HandleMessage(msg, wParam, lParam);
  } catch (...) {
    return DefWindowProcA(hwnd, msg, wParam, lParam);
  }
}

LRESULT TMainForm::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_CLOSE:
      Release();
      return 0;
    case kReleaseMessage:
      DestroyWindow(handle_);
      return 0;
    case WM_DESTROY:
      FormDestroy();
      return 0;
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

void TMainForm::FormCreate() {}

void TMainForm::FormDestroy() {
  RECT r{};
  GetWindowRect(handle_, &r);
  prefs_.Left = r.left;
  prefs_.Top = r.top;
  MainForm = nullptr;
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

void TMainForm::RefreshStrips() {}

bool TMainForm::DriverOpen() const { return false; }

int TMainForm::ChannelCount() const { return 0; }

bool TMainForm::PlayFile(int, const std::string&) { return false; }

void TMainForm::StopChannel(int) {}

void TMainForm::SetChannelLevel(int, std::int32_t) {}

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
}

}  // namespace tonvane
