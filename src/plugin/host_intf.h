#pragma once

#include <atomic>

#include "plugin_interfaces_win32.h"

namespace tonvane {

// The plug-in object handed to the host. It has no state of its own: every call
// acts on the module state and the main window. Reference counted; it deletes
// itself when the count returns to 0. Nothing thrown inside a call leaves it.
class THostIntf final : public IPluginCommands, public IPluginWindow {
 public:
  THostIntf() = default;
  THostIntf(const THostIntf&) = delete;
  THostIntf& operator=(const THostIntf&) = delete;

  // The pointer that answers a query for IUnknown.
  IUnknown* BaseInterface() { return static_cast<IPluginCommands*>(this); }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;

  void STDMETHODCALLTYPE ExecuteCommand(const char* command, char* result) override;
  void STDMETHODCALLTYPE GetCommandHelp(char* buffer) override;

  TVXBool STDMETHODCALLTYPE ShowPluginWindow() override;
  void STDMETHODCALLTYPE ClosePlugin() override;
  void STDMETHODCALLTYPE Tick() override;
  void STDMETHODCALLTYPE FreePluginWindow() override;
  TVXBool STDMETHODCALLTYPE ShowPluginWindowMinimized() override;
  TVXBool STDMETHODCALLTYPE IsPluginWindowVisible() override;

 private:
  ~THostIntf();
  std::atomic<ULONG> refCount_{0};
};

}  // namespace tonvane
