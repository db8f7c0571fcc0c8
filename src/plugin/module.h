#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>

#include "commands/channel_operations.h"
#include "playback/player.h"
#include "plugin_interfaces_win32.h"
#include "prefs/prefs.h"

namespace tonvane {

// What exists once per loaded plug-in. Touched only on the host's thread.
struct TPluginModule {
  HINSTANCE Instance = nullptr;
  IPluginHost* Host = nullptr;  // owned reference, may be empty
  DWORD HostThread = 0;         // the thread the host makes its calls on
  void* CurrentIntf = nullptr;  // the plug-in object the last init handed out
  std::int32_t PluginId = 0;
  std::string PluginDir;  // with its trailing backslash, or empty
  std::unique_ptr<TPrefs> Prefs;
  // The player and the operations on its channels, made with the first window; the
  // window opens and closes its device, so hosts see the device live as long as it.
  std::unique_ptr<TPlayer> Player;
  std::unique_ptr<TChannelOperations> ChannelOps;
};

TPluginModule& Module();

// Makes the module's player (over the installed ASIO drivers) and its channel
// operations, unless they are there.
void MakePlayer();

// The shut-down of the plug-in boundary at process detach. processExit: the whole
// process is ending (other threads are gone, the host may be half torn down).
void ShutDownModule(bool processExit);

}  // namespace tonvane
