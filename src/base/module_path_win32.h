#pragma once

// Where the module holding this code lives: the plug-in's DLL or the driver's, as
// the one this is linked into. A DLL's companion files ship beside it, and neither
// the host program's folder nor the current directory is that place.

#include <string>

namespace tonvane {

// The module's file, in full; empty when it cannot be told.
std::string ThisModulePath();

// The module's folder, with its trailing backslash; empty when it cannot be told.
std::string ThisModuleDirectory();

}  // namespace tonvane
