#include "base/module_path_win32.h"

#include <windows.h>

namespace tonvane {

std::string ThisModulePath() {
  HMODULE module = nullptr;
  // Any address of this code names the module it was linked into.
  if (!GetModuleHandleExA(
          GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
          reinterpret_cast<LPCSTR>(&ThisModulePath), &module))
    return {};
  char path[MAX_PATH * 4];
  const DWORD n = GetModuleFileNameA(module, path, sizeof path);
  // A name that filled the buffer was cut short.
  if (n == 0 || n >= sizeof path) return {};
  return std::string(path, n);
}

std::string ThisModuleDirectory() {
  const std::string full = ThisModulePath();
  const std::size_t slash = full.find_last_of("\\/");
  return slash == std::string::npos ? std::string() : full.substr(0, slash + 1);
}

}  // namespace tonvane
