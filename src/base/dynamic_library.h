#pragma once

#include <memory>
#include <string>

namespace tonvane {

// A library loaded at run time: LoadLibraryA/GetProcAddress on Windows,
// dlopen/dlsym natively. Freed with the object.
class IDynamicLibrary {
 public:
  virtual ~IDynamicLibrary() = default;
  // The address of an export, or null.
  virtual void* Symbol(const char* name) const = 0;
};

// Loads by the name given (a bare name follows the platform's search order);
// null when it cannot be loaded. On Windows a bare name that the search does not
// find is then looked for beside the module holding this code: a plug-in's
// companion libraries ship in its folder, which the host program's search order
// does not reach. Natively the program's run path serves that purpose.
std::unique_ptr<IDynamicLibrary> LoadDynamicLibrary(const std::string& name);

}  // namespace tonvane
