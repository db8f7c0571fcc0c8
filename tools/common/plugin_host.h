#pragma once

// What a Trovex-like host needs to load and drive the plug-in: its IPluginHost
// object, the loaded DLL with the plug-in's interfaces, and a watcher that reports
// and closes the plug-in's modal message boxes. Used by tonvane-host.exe and tests.

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "plugin_interfaces_win32.h"

namespace tonvane::host {

class HostObject final : public IPluginHost {
 public:
  // pluginPath: what GetPluginPath reports (cut to 260 characters).
  explicit HostObject(std::string pluginPath) : pluginPath_(std::move(pluginPath)) {}

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refCount_; }
  ULONG STDMETHODCALLTYPE Release() override;
  HRESULT STDMETHODCALLTYPE HostOperation1() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE HostOperation2() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetPluginPath(std::int32_t pluginId, char* buffer) override;

  ULONG RefCount() const { return refCount_; }
  std::int32_t LastPluginId() const { return lastPluginId_; }
  // false: the object answers no query for IPluginHost (an old host).
  bool offerPluginHost = true;

 private:
  std::string pluginPath_;
  std::atomic<ULONG> refCount_{1};
  std::int32_t lastPluginId_ = -1;
};

class LoadedPlugin {
 public:
  // Loads the DLL and finds TVXPluginInit; on failure returns null and says why.
  static std::unique_ptr<LoadedPlugin> Load(const std::string& dllPath, std::string& error);
  ~LoadedPlugin();

  // Calls TVXPluginInit and queries the two interfaces of the object it hands out.
  // False when no object came back.
  bool Init(IUnknown* host, std::int32_t pluginId);
  void ReleaseInterfaces();
  // Releases the interfaces and frees the library, as a host that is done with it.
  void Unload();

  HMODULE module() const { return module_; }
  TVXPluginInitProc init() const { return init_; }
  IUnknown* object = nullptr;  // the reference the host variable holds
  IPluginCommands* commands = nullptr;
  IPluginWindow* window = nullptr;

 private:
  LoadedPlugin() = default;
  HMODULE module_ = nullptr;
  TVXPluginInitProc init_ = nullptr;
};

// While it exists, every message box shown on this thread is reported with its
// text and closed with OK.
class MessageBoxWatcher {
 public:
  explicit MessageBoxWatcher(std::function<void(const std::string&)> onBox);
  ~MessageBoxWatcher();
  MessageBoxWatcher(const MessageBoxWatcher&) = delete;
  MessageBoxWatcher& operator=(const MessageBoxWatcher&) = delete;
};

// Runs the thread's message loop until the time has passed.
void PumpMessages(DWORD milliseconds);
// Processes what is queued now and returns.
void PumpPendingMessages();

// The full path of the directory holding this executable, with a trailing backslash.
std::string ExecutableDir();

}  // namespace tonvane::host
