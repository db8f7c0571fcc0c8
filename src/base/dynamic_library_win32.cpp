#include <windows.h>

#include "base/dynamic_library.h"

namespace tonvane {
namespace {

class Win32Library final : public TDynamicLibrary {
 public:
  explicit Win32Library(HMODULE module) : module_(module) {}
  ~Win32Library() override { FreeLibrary(module_); }
  void* Symbol(const char* name) const override {
    return reinterpret_cast<void*>(GetProcAddress(module_, name));
  }

 private:
  HMODULE module_;
};

bool IsBareName(const std::string& name) { return name.find_first_of("\\/:") == std::string::npos; }

}  // namespace

std::string ThisModuleDirectory() {
  HMODULE module = nullptr;
  if (!GetModuleHandleExA(
          GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
          reinterpret_cast<LPCSTR>(&ThisModuleDirectory), &module))
    return {};
  char path[MAX_PATH * 4];
  const DWORD n = GetModuleFileNameA(module, path, sizeof path);
  if (n == 0 || n >= sizeof path) return {};
  const std::string full(path, n);
  const std::size_t slash = full.find_last_of("\\/");
  return slash == std::string::npos ? std::string() : full.substr(0, slash + 1);
}

std::unique_ptr<TDynamicLibrary> LoadDynamicLibrary(const std::string& name) {
  HMODULE module = LoadLibraryA(name.c_str());
  if (!module && IsBareName(name)) {
    const std::string dir = ThisModuleDirectory();
    if (!dir.empty()) module = LoadLibraryA((dir + name).c_str());
  }
  if (!module) return nullptr;
  return std::make_unique<Win32Library>(module);
}

}  // namespace tonvane
