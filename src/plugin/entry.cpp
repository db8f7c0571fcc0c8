// The DLL's entry points: TVXPluginInit, its only export, and DllMain.
#include <windows.h>

#include <cstring>
#include <new>

#include "base/exception.h"
#include "base/path.h"
#include "plugin/host_intf.h"
#include "plugin/module.h"
#include "ui/error_box_win32.h"
#include "ui/kit/error_handler_win32.h"
#include "ui/main_form_win32.h"

using namespace tonvane;

extern "C" void WINAPI TVXPluginInit(IUnknown** pluginIntf, std::int32_t pluginId, IUnknown* host) {
  auto& m = Module();
  ShowingErrors([&] {
    if (pluginIntf && *pluginIntf) {
      IUnknown* old = *pluginIntf;
      *pluginIntf = nullptr;
      old->Release();
    }
    m.PluginId = pluginId;
    m.HostThread = GetCurrentThreadId();

    // A second init drops the host reference of the first.
    if (m.Host) {
      IPluginHost* old = m.Host;
      m.Host = nullptr;
      old->Release();
    }
    IPluginHost* pluginHost = nullptr;
    if (!host || FAILED(host->QueryInterface(IID_IPluginHost, reinterpret_cast<void**>(&pluginHost))) ||
        !pluginHost) {
      // Without a host reference there is no one to ask for the plug-in's path, and
      // without a plug-in object the host can call nothing else.
      ShowErrorBox("Plugin requires newer version of Trovex");
      return;
    }
    m.Host = pluginHost;
    // Any other failure says what it is: the host's version is not to blame for it.
    auto* intf = new (std::nothrow) THostIntf();
    if (!intf) throw Exception("Out of memory");
    m.CurrentIntf = intf;
    IUnknown* base = intf->BaseInterface();
    base->AddRef();
    if (pluginIntf) {
      *pluginIntf = base;
    } else {
      base->Release();
    }

    char buffer[kPluginPathBufferSize + 1] = {};
    m.Host->GetPluginPath(pluginId, buffer);
    const std::string path(buffer, strnlen(buffer, kPluginPathBufferSize));
    m.PluginDir = DirectoryOf(path);
    // A host that freed the library while a device ran, and loads it again, inits a
    // plug-in whose window still lives on the preferences it was made with: that
    // object stays, so the window's later picks and its destruction still reach the
    // file the next close writes.
    if (!MainForm || !m.Prefs) m.Prefs = std::make_unique<TPrefs>(m.PluginDir);
    SetErrorBoxes(m.Prefs->ErrorBoxes);
  });
}

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  if (reason == DLL_PROCESS_ATTACH) {
    Module().Instance = instance;
    // The controls report their failures in the plug-in's own box, above the window.
    SetErrorHandler(&ShowErrorBox);
    DisableThreadLibraryCalls(instance);
  } else if (reason == DLL_PROCESS_DETACH) {
    try {
      ShutDownModule(reserved != nullptr);
    } catch (...) {
    }
  }
  return TRUE;
}
