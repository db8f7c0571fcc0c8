#pragma once

// The COM-style interfaces between the Trovex host and the plug-in. Every method is
// stdcall with the interface pointer first; booleans are one byte; texts are
// zero-terminated 8-bit strings in the system code page. Shared by the plug-in and
// by our own console host.

#include <windows.h>
#include <unknwn.h>

#include <cstdint>

namespace tonvane {

using TVXBool = unsigned char;

inline constexpr GUID IID_IPluginHost = {
    0x34A36E67, 0xEA77, 0x4A2E, {0x88, 0x86, 0xB2, 0x0B, 0x73, 0xD0, 0xC4, 0x20}};
inline constexpr GUID IID_IPluginCommands = {
    0x1471B6A6, 0xCC05, 0x46D8, {0x8B, 0x6B, 0xE8, 0x0D, 0xC5, 0xB3, 0x24, 0x7E}};
inline constexpr GUID IID_IPluginWindow = {
    0xEA8C22AF, 0x68BD, 0x4C13, {0x81, 0x76, 0x6D, 0xDD, 0xEB, 0x85, 0x91, 0x4D}};
inline constexpr GUID IID_IPluginWindowBase = {
    0x771C87B9, 0xFA00, 0x4C7F, {0x94, 0x7C, 0xFF, 0x3B, 0xA7, 0xD3, 0x91, 0xF0}};

// The host's interface. The plug-in calls only GetPluginPath; the two operations
// before it belong to the host and are never called.
struct IPluginHost : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE HostOperation1() = 0;
  virtual HRESULT STDMETHODCALLTYPE HostOperation2() = 0;
  // Fills buffer (261 bytes) with the zero-terminated path of the plug-in.
  virtual HRESULT STDMETHODCALLTYPE GetPluginPath(std::int32_t pluginId, char* buffer) = 0;
};

struct IPluginCommands : public IUnknown {
  // result receives "OK", "ERR" or "ERR: <message>"; the host provides the room.
  virtual void STDMETHODCALLTYPE ExecuteCommand(const char* command, char* result) = 0;
  // buffer receives the 168-character help text and its zero.
  virtual void STDMETHODCALLTYPE GetCommandHelp(char* buffer) = 0;
};

struct IPluginWindowBase : public IUnknown {};

struct IPluginWindow : public IPluginWindowBase {
  virtual TVXBool STDMETHODCALLTYPE ShowPluginWindow() = 0;
  virtual void STDMETHODCALLTYPE ClosePlugin() = 0;
  virtual void STDMETHODCALLTYPE Tick() = 0;
  virtual void STDMETHODCALLTYPE FreePluginWindow() = 0;
  virtual TVXBool STDMETHODCALLTYPE ShowPluginWindowMinimized() = 0;
  virtual TVXBool STDMETHODCALLTYPE IsPluginWindowVisible() = 0;
};

// The DLL's only export.
using TVXPluginInitProc = void(WINAPI*)(IUnknown** pluginIntf, std::int32_t pluginId, IUnknown* host);

// Size of the buffer handed to GetPluginPath.
inline constexpr int kPluginPathBufferSize = 261;

}  // namespace tonvane
