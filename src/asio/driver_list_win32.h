#pragma once

// The installed ASIO drivers, as the registry lists them to a 32-bit process, and
// the loader that creates driver objects through OpenAsio.dll.

#include <windows.h>

#include <string>
#include <vector>

#include "asio_driver_win32.h"

namespace tonvane {

struct TAsioDriverEntry {
  CLSID Clsid;     // first: the factory is handed the entry's address
  char Name[512];  // the driver's registry key name, at most 511 characters
  char Path[512];  // the full path of its in-process server
};

// In the registry's enumeration order; its positions are the device list's.
using TAsioDriverList = std::vector<TAsioDriverEntry>;

// Replaces the list's content with the drivers installed now. A driver whose key,
// class or server file is missing is left out silently; a "clsid" value that is
// not text, or whose text is not a class identifier, raises tonvane::Exception
// (the list is then left empty).
void BuildDriverList(TAsioDriverList& list);

// The names of an open key's direct subkeys, in the registry's order; the walk ends
// at the first error, so a key deleted meanwhile gives what was read before.
std::vector<std::string> SubKeyNames(HKEY key);

// Whether the server file of the class named by clsidText exists (path then holds
// its full path); a driver without one is left out of the list, which is no failure.
// A bare file name is looked for in the system directory, then in the Windows
// directory. Raises tonvane::Exception when the server path is not text.
bool ResolveDriverPath(const std::string& clsidText, std::string& path);

// Loads OpenAsio.dll: by its bare name, else from this module's own directory.
// False, with nothing loaded, when it is missing or has no CreateOpenAsio.
bool LoadDriverLibrary();
bool DriverLibraryLoaded();
// Creates the entry's driver into driver (released first); false when the library
// is not loaded or the factory reports a failure.
bool CreateDriver(const TAsioDriverEntry& entry, TAsioDriverRef& driver);
// Every driver object must have been released before.
void UnloadDriverLibrary();

}  // namespace tonvane
