#include "plugin/module.h"

#include "asio/asio_device_win32.h"
#include "ui/error_box_win32.h"
#include "ui/main_form_win32.h"

namespace tonvane {
namespace {

// Each feeder thread keeps the module loaded for itself, so that one still inside a
// read when the host unloads the plug-in does not return into unloaded code: its
// maker takes a reference for it, and the thread ends inside FreeLibraryAndExitThread.
TFeederThreadHooks FeederHooks() {
  const auto address = reinterpret_cast<LPCSTR>(&FeederHooks);
  HMODULE self = nullptr;
  GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     address, &self);
  TFeederThreadHooks hooks;
  hooks.Hold = [address] {
    HMODULE held = nullptr;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, address, &held);
  };
  hooks.Unhold = [self] { FreeLibrary(self); };
  hooks.AtStart = [] { SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_ABOVE_NORMAL); };
  hooks.AtEnd = [self] { FreeLibraryAndExitThread(self, 0); };
  return hooks;
}

}  // namespace

TPluginModule& Module() {
  static TPluginModule module;
  return module;
}

void MakePlayer() {
  auto& m = Module();
  if (m.Player) return;
  m.Player = std::make_unique<TPlayer>(std::make_unique<TAsioDevice>(), FeederHooks());
  m.ChannelOps = std::make_unique<TChannelOperations>(*m.Player, ShowErrorBox);
}

void ShutDownModule(bool processExit) {
  auto& m = Module();
  if (MainForm) {
    MainForm->Release();
    // The release request can no longer be processed once our code is gone. When
    // the library is being freed (not the process ending) the window and the
    // device it holds are taken down now, so no message reaches freed code.
    if (!processExit) DestroyMainFormAtUnload();
  }
  if (MainForm && m.Player) m.Player->ShutDown(processExit);
  if (processExit) {
    // What a driver's or a feeder's thread may have been using when the system ended
    // it is left alone (see TPlayer::ShutDown).
    static_cast<void>(m.ChannelOps.release());
    static_cast<void>(m.Player.release());
  } else {
    m.ChannelOps.reset();
    m.Player.reset();
  }
  // At process exit the host's objects may already be gone: do not call into them.
  // Nor when the unload comes late, on another thread, because a running device kept
  // the library loaded after the host had freed it: the host may have let its
  // object go by then.
  if (m.Host && !processExit && GetCurrentThreadId() == m.HostThread) m.Host->Release();
  m.Host = nullptr;
  m.PluginDir.clear();
  m.Prefs.reset();  // freed without writing
}

}  // namespace tonvane
