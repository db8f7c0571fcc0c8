#include "plugin_host.h"

#include <cstring>

namespace tonvane::host {

HRESULT STDMETHODCALLTYPE HostObject::QueryInterface(REFIID iid, void** object) {
  if (!object) return E_POINTER;
  if (IsEqualGUID(iid, IID_IUnknown) || (offerPluginHost && IsEqualGUID(iid, IID_IPluginHost))) {
    *object = static_cast<IPluginHost*>(this);
    AddRef();
    return S_OK;
  }
  *object = nullptr;
  return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE HostObject::Release() {
  // The host owns this object on its stack or in a smart pointer: the count only
  // tells the tests who still holds it.
  return --refCount_;
}

HRESULT STDMETHODCALLTYPE HostObject::GetPluginPath(std::int32_t pluginId, char* buffer) {
  lastPluginId_ = pluginId;
  const std::string path = pluginPath_.substr(0, kPluginPathBufferSize - 1);
  std::memcpy(buffer, path.c_str(), path.size() + 1);
  return S_OK;
}

std::unique_ptr<LoadedPlugin> LoadedPlugin::Load(const std::string& dllPath, std::string& error) {
  std::unique_ptr<LoadedPlugin> plugin(new LoadedPlugin());
  plugin->module_ = LoadLibraryA(dllPath.c_str());
  if (!plugin->module_) {
    error = "cannot load " + dllPath + " (error " + std::to_string(GetLastError()) + ")";
    return nullptr;
  }
  plugin->init_ = reinterpret_cast<TVXPluginInitProc>(
      reinterpret_cast<void*>(GetProcAddress(plugin->module_, "TVXPluginInit")));
  if (!plugin->init_) {
    error = dllPath + " has no export TVXPluginInit";
    return nullptr;
  }
  return plugin;
}

LoadedPlugin::~LoadedPlugin() {
  ReleaseInterfaces();
  if (module_) FreeLibrary(module_);
}

bool LoadedPlugin::Init(IUnknown* host, std::int32_t pluginId) {
  ReleaseInterfaces();
  init_(&object, pluginId, host);
  if (!object) return false;
  object->QueryInterface(IID_IPluginCommands, reinterpret_cast<void**>(&commands));
  object->QueryInterface(IID_IPluginWindow, reinterpret_cast<void**>(&window));
  return commands && window;
}

void LoadedPlugin::Unload() {
  ReleaseInterfaces();
  if (module_) FreeLibrary(module_);
  module_ = nullptr;
  init_ = nullptr;
}

void LoadedPlugin::ReleaseInterfaces() {
  if (commands) commands->Release();
  if (window) window->Release();
  if (object) object->Release();
  commands = nullptr;
  window = nullptr;
  object = nullptr;
}

namespace {

thread_local HHOOK boxHook = nullptr;
thread_local std::function<void(const std::string&)>* boxHandler = nullptr;

// A message box's text is the text of its static control that is not the icon
// (its control ID differs between Windows and Wine).
BOOL CALLBACK FindBoxText(HWND child, LPARAM param) {
  char cls[16] = {};
  GetClassNameA(child, cls, sizeof cls);
  if (lstrcmpiA(cls, "Static") == 0 && !(GetWindowLongA(child, GWL_STYLE) & SS_ICON)) {
    char buffer[4096] = {};
    GetWindowTextA(child, buffer, sizeof buffer);
    auto* text = reinterpret_cast<std::string*>(param);
    if (text->empty()) *text = buffer;
  }
  return TRUE;
}

// Sees every dialog once its WM_INITDIALOG has run, when its texts are in place.
LRESULT CALLBACK BoxHookProc(int code, WPARAM wParam, LPARAM lParam) {
  const auto* call = reinterpret_cast<const CWPRETSTRUCT*>(lParam);
  if (code == HC_ACTION && call->message == WM_INITDIALOG && boxHandler) {
    HWND hwnd = call->hwnd;
    char cls[32] = {};
    GetClassNameA(hwnd, cls, sizeof cls);
    // A message box has an OK button and no edit or list controls (unlike the file dialog).
    if (std::strcmp(cls, "#32770") == 0 && GetDlgItem(hwnd, IDOK) &&
        !FindWindowExA(hwnd, nullptr, "Edit", nullptr) &&
        !FindWindowExA(hwnd, nullptr, "ComboBox", nullptr)) {
      std::string text;
      EnumChildWindows(hwnd, FindBoxText, reinterpret_cast<LPARAM>(&text));
      (*boxHandler)(text);
      PostMessageA(hwnd, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    }
  }
  return CallNextHookEx(boxHook, code, wParam, lParam);
}

}  // namespace

MessageBoxWatcher::MessageBoxWatcher(std::function<void(const std::string&)> onBox) {
  boxHandler = new std::function<void(const std::string&)>(std::move(onBox));
  boxHook = SetWindowsHookExA(WH_CALLWNDPROCRET, BoxHookProc, nullptr, GetCurrentThreadId());
}

MessageBoxWatcher::~MessageBoxWatcher() {
  if (boxHook) UnhookWindowsHookEx(boxHook);
  boxHook = nullptr;
  delete boxHandler;
  boxHandler = nullptr;
}

void PumpPendingMessages() {
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
}

void PumpMessages(DWORD milliseconds) {
  const DWORD start = GetTickCount();
  for (;;) {
    PumpPendingMessages();
    const DWORD elapsed = GetTickCount() - start;
    if (elapsed >= milliseconds) break;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, milliseconds - elapsed, QS_ALLINPUT);
  }
}

std::string ExecutableDir() {
  char path[MAX_PATH] = {};
  const DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string s(path, n);
  return s.substr(0, s.find_last_of("\\/") + 1);
}

}  // namespace tonvane::host
