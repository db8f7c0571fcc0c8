#pragma once

#include <memory>
#include <string>

namespace tonvane {

// A library loaded at run time: LoadLibraryA/GetProcAddress on Windows,
// dlopen/dlsym natively. Freed with the object.
class TDynamicLibrary {
 public:
  virtual ~TDynamicLibrary() = default;
  // The address of an export, or null.
  virtual void* Symbol(const char* name) const = 0;
};

// Loads by the name given (a bare name follows the platform's search order);
// null when it cannot be loaded.
std::unique_ptr<TDynamicLibrary> LoadDynamicLibrary(const std::string& name);

}  // namespace tonvane
