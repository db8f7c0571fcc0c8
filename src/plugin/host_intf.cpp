#include "plugin/host_intf.h"

#include <cstring>
#include <exception>
#include <string>

#include "commands/command_language.h"
#include "plugin/module.h"
#include "ui/kit/error_handler_win32.h"
#include "ui/main_form_win32.h"

namespace tonvane {
namespace {

void CopyText(const std::string& text, char* buffer) {
  if (buffer) std::memcpy(buffer, text.c_str(), text.size() + 1);
}

TMainForm& ShownMainForm(bool minimized) {
  if (!MainForm) {
    MakePlayer();
    TMainForm::CreateMainForm(*Module().Prefs, *Module().Player, *Module().ChannelOps);
  }
  MainForm->ShowForm(minimized);
  return *MainForm;
}

}  // namespace

HRESULT STDMETHODCALLTYPE THostIntf::QueryInterface(REFIID iid, void** object) {
  if (!object) return E_POINTER;
  if (IsEqualGUID(iid, IID_IUnknown) || IsEqualGUID(iid, IID_IPluginCommands)) {
    *object = static_cast<IPluginCommands*>(this);
  } else if (IsEqualGUID(iid, IID_IPluginWindow) || IsEqualGUID(iid, IID_IPluginWindowBase)) {
    *object = static_cast<IPluginWindow*>(this);
  } else {
    *object = nullptr;
    return E_NOINTERFACE;
  }
  AddRef();
  return S_OK;
}

// The host reference is used only at init; it is held while the host holds the
// plug-in object and let go with it. Held to the unload instead, it could outlive the
// host's object: a running device keeps the library loaded after the host frees it,
// and the next init would release a reference to an object the host has destroyed.
THostIntf::~THostIntf() {
  auto& m = Module();
  if (m.CurrentIntf != this) return;
  m.CurrentIntf = nullptr;
  if (IPluginHost* host = m.Host) {
    m.Host = nullptr;
    host->Release();
  }
}

ULONG STDMETHODCALLTYPE THostIntf::AddRef() { return ++refCount_; }

ULONG STDMETHODCALLTYPE THostIntf::Release() {
  const ULONG count = --refCount_;
  if (count == 0) delete this;
  return count;
}

void STDMETHODCALLTYPE THostIntf::ExecuteCommand(const char* command, char* result) {
  std::string answer = "ERR";
  ShowingErrors([&] {
    const std::string line = command ? command : "";
    if (MainForm) {
      // A reset the driver asked for is carried out before the command: a Play then
      // plays on the reopened device.
      MainForm->KeepDevice(false);
      answer = ExecuteCommandLine(MainForm->ChannelOperations(), line);
    }
  });
  CopyText(answer, result);
}

void STDMETHODCALLTYPE THostIntf::GetCommandHelp(char* buffer) {
  CopyText(std::string(kCommandHelp), buffer);
}

TVXBool STDMETHODCALLTYPE THostIntf::ShowPluginWindow() {
  ShowingErrors([] { ShownMainForm(false); });
  return 1;
}

TVXBool STDMETHODCALLTYPE THostIntf::ShowPluginWindowMinimized() {
  ShowingErrors([] { ShownMainForm(true); });
  return 1;
}

void STDMETHODCALLTYPE THostIntf::FreePluginWindow() {
  ShowingErrors([] {
    if (MainForm) MainForm->Release();
  });
}

void STDMETHODCALLTYPE THostIntf::ClosePlugin() {
  // The window's release comes later, and the host may end before it: the window's
  // device and position are written now.
  ShowingErrors([] {
    if (MainForm) MainForm->StoreChoices();
  });
  FreePluginWindow();
  if (Module().Prefs) SavePreferences(*Module().Prefs);
}

void STDMETHODCALLTYPE THostIntf::Tick() {
  ShowingErrors([] {
    if (!MainForm) return;
    // A release that comes while a driver runs a loop of its own in a reopen is held
    // back (see KeepDevice), so the window is still there after it.
    MainForm->KeepDevice(true);
    MainForm->RefreshStrips();
  });
}

TVXBool STDMETHODCALLTYPE THostIntf::IsPluginWindowVisible() {
  bool visible = false;
  ShowingErrors([&] { visible = MainForm && MainForm->FormVisible(); });
  return visible ? 1 : 0;
}

}  // namespace tonvane
