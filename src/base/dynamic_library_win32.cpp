#include <windows.h>

#include "base/dynamic_library.h"
#include "base/module_path_win32.h"

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
