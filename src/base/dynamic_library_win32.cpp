#include <windows.h>

#include "base/dynamic_library.h"
#include "base/module_path_win32.h"
#include "base/path.h"

namespace tonvane {
namespace {

class TWin32Library final : public IDynamicLibrary {
 public:
  explicit TWin32Library(HMODULE module) : module_(module) {}
  ~TWin32Library() override { FreeLibrary(module_); }
  void* Symbol(const char* name) const override {
    return reinterpret_cast<void*>(GetProcAddress(module_, name));
  }

 private:
  HMODULE module_;
};

bool IsBareName(const std::string& name) { return name.find_first_of("\\/:") == std::string::npos; }

}  // namespace

std::unique_ptr<IDynamicLibrary> LoadDynamicLibrary(const std::string& name) {
  HMODULE module = LoadLibraryA(name.c_str());
  if (!module && IsBareName(name)) {
    const std::string dir = ThisModuleDirectory();
    if (!dir.empty()) module = LoadLibraryA(JoinPath(dir, name).c_str());
  }
  if (!module) return nullptr;
  return std::make_unique<TWin32Library>(module);
}

}  // namespace tonvane
