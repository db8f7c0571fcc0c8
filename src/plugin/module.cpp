#include "plugin/module.h"

#include <functional>
#include <memory>
#include <new>
#include <string>

#include "asio/asio_device_win32.h"
#include "ui/error_box_win32.h"
#include "ui/main_form_win32.h"

namespace tonvane {
namespace {

// A feeder thread's stack: a visit's buffers and a decoder's frame, with room to spare.
constexpr SIZE_T kFeederStack = 256 * 1024;

// Each feeder thread keeps the module loaded for itself, so that one still inside a
// read when the host unloads the plug-in does not return into unloaded code: its
// maker takes a reference for it, and the thread ends inside FreeLibraryAndExitThread,
// which never returns. So the thread is a plain one whose start routine runs the
// feeder's work to its end, frees it, and only then lets go of the module: nothing the
// work made is left behind, and no runtime's thread record waits for a return that
// never comes.
HMODULE feederModule = nullptr;

DWORD WINAPI FeederThread(void* parameter) {
  {
    const std::unique_ptr<std::function<void()>> body(static_cast<std::function<void()>*>(parameter));
    (*body)();
  }
  FreeLibraryAndExitThread(feederModule, 0);
}

TFeederThreadHooks FeederHooks() {
  const auto address = reinterpret_cast<LPCSTR>(&FeederHooks);
  GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     address, &feederModule);
  TFeederThreadHooks hooks;
  hooks.Hold = [address] {
    HMODULE held = nullptr;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, address, &held);
  };
  hooks.Unhold = [] { FreeLibrary(feederModule); };
  hooks.AtStart = [] { SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_ABOVE_NORMAL); };
  hooks.Launch = [](std::function<void()> body) {
    std::unique_ptr<std::function<void()>> work(new (std::nothrow) std::function<void()>(std::move(body)));
    if (!work) return false;
    // A small stack: a thread stuck in a read holds it until the storage answers.
    HANDLE thread = CreateThread(nullptr, kFeederStack, FeederThread, work.get(),
                                 STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
    if (!thread) return false;
    static_cast<void>(work.release());  // the thread's now
    CloseHandle(thread);
    return true;
  };
  return hooks;
}

// A failed Play: in the window's box or status bar, or in a box while no window stands.
bool ReportPlayFault(int index, const std::string& fileName, const std::string& reason) {
  if (MainForm) return MainForm->ReportPlayFault(index, fileName, reason);
  ShowErrorBox(reason);
  return ErrorBoxesShown();
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
  m.ChannelOps = std::make_unique<TChannelOperations>(*m.Player, ReportPlayFault);
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
