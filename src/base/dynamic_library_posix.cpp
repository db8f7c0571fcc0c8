#include <dlfcn.h>

#include "base/dynamic_library.h"

namespace tonvane {
namespace {

class TPosixLibrary final : public IDynamicLibrary {
 public:
  explicit TPosixLibrary(void* handle) : handle_(handle) {}
  ~TPosixLibrary() override { dlclose(handle_); }
  void* Symbol(const char* name) const override { return dlsym(handle_, name); }

 private:
  void* handle_;
};

}  // namespace

std::unique_ptr<IDynamicLibrary> LoadDynamicLibrary(const std::string& name) {
  void* handle = dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle) return nullptr;
  return std::make_unique<TPosixLibrary>(handle);
}

}  // namespace tonvane
