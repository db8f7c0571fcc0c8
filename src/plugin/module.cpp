#include "plugin/module.h"

#include "ui/main_form_win32.h"

namespace tonvane {

TPluginModule& Module() {
  static TPluginModule module;
  return module;
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
  if (MainForm) MainForm->ShutDownDevice(processExit);
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
