#include "asio/driver_list_win32.h"

#include <objbase.h>

#include <cstring>

#include "base/c_string.h"
#include "base/exception.h"
#include "base/file_exists.h"
#include "base/module_path_win32.h"
#include "base/path.h"

namespace tonvane {
namespace {

HMODULE driverLibrary = nullptr;
CreateOpenAsioFunc createOpenAsio = nullptr;

// A registry key opened read-only, closed on every way out.
class TRegKey {
 public:
  TRegKey(HKEY root, const std::string& subKey) {
    if (RegOpenKeyExA(root, subKey.c_str(), 0, KEY_READ, &key_) != ERROR_SUCCESS) key_ = nullptr;
  }
  ~TRegKey() {
    if (key_ != nullptr) RegCloseKey(key_);
  }
  TRegKey(const TRegKey&) = delete;
  TRegKey& operator=(const TRegKey&) = delete;

  bool IsOpen() const { return key_ != nullptr; }

  std::vector<std::string> SubKeyNames() const { return tonvane::SubKeyNames(key_); }

  // A missing value reads as empty text; a value of another kind cannot be read
  // as text and raises, naming the value as what (for the message).
  std::string ReadText(const char* name, const std::string& what) const {
    DWORD type = 0, size = 0;
    if (RegQueryValueExA(key_, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) return {};
    if (type != REG_SZ && type != REG_EXPAND_SZ) throw Exception(what + " is not text");
    std::string text(size + 1, '\0');
    DWORD got = size;
    if (RegQueryValueExA(key_, name, nullptr, &type, reinterpret_cast<BYTE*>(text.data()), &got) !=
        ERROR_SUCCESS)
      return {};
    text.resize(std::strlen(text.c_str()));
    if (type == REG_EXPAND_SZ) {
      char expanded[1024];
      const DWORD n = ExpandEnvironmentStringsA(text.c_str(), expanded, sizeof expanded);
      if (n > 0 && n <= sizeof expanded) text = expanded;
    }
    return text;
  }

 private:
  HKEY key_ = nullptr;
};

// Directory from GetSystemDirectoryA or GetWindowsDirectoryA, empty when the call
// gives nothing back.
template <typename Getter>
std::string Directory(Getter getter) {
  char buffer[1024];
  const UINT n = getter(buffer, 1023);
  return n > 0 && n < 1023 ? std::string(buffer, n) : std::string();
}

CLSID ClsidFromText(const std::string& name, const std::string& text) {
  const int length = MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, nullptr, 0);
  std::wstring wide(length > 0 ? static_cast<std::size_t>(length) : 1u, L'\0');
  if (length > 0) MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, wide.data(), length);
  CLSID clsid{};
  // Only the braced form: CLSIDFromString would also look a ProgID up.
  if (text.size() != 38 || text.front() != '{' || FAILED(CLSIDFromString(wide.c_str(), &clsid)))
    throw Exception("ASIO driver \"" + name + "\": \"" + text + "\" is not a class identifier");
  return clsid;
}

}  // namespace

std::vector<std::string> SubKeyNames(HKEY key) {
  std::vector<std::string> names;
  for (DWORD index = 0;; ++index) {
    char name[256];  // a key name has at most 255 characters
    DWORD size = sizeof name;
    const LONG result = RegEnumKeyExA(key, index, name, &size, nullptr, nullptr, nullptr, nullptr);
    // Any error ends the walk: a key deleted meanwhile answers every index with an
    // error, never with "no more items".
    if (result != ERROR_SUCCESS) break;
    names.emplace_back(name, size);
  }
  return names;
}

bool ResolveDriverPath(const std::string& clsidText, std::string& path) {
  TRegKey server(HKEY_CLASSES_ROOT, "clsid\\" + clsidText + "\\InprocServer32");
  if (!server.IsOpen()) return false;
  path = server.ReadText(nullptr, "The server path of class " + clsidText);
  if (!path.empty() && path.find_first_of("\\:") == std::string::npos) {
    const std::string name = path;
    const std::string system = Directory(GetSystemDirectoryA);
    if (!system.empty()) path = JoinPath(system, name);
    if (!FileExists(path)) {
      const std::string windows = Directory(GetWindowsDirectoryA);
      if (!windows.empty()) path = JoinPath(windows, name);
    }
  }
  return FileExists(path);
}

void BuildDriverList(TAsioDriverList& list) {
  list.clear();
  std::vector<std::string> names;
  {
    TRegKey asio(HKEY_LOCAL_MACHINE, "software\\asio");
    if (!asio.IsOpen()) return;
    names = asio.SubKeyNames();
  }
  TAsioDriverList found;
  for (const std::string& name : names) {
    TRegKey driver(HKEY_LOCAL_MACHINE, "software\\asio\\" + name);
    if (!driver.IsOpen()) continue;
    const std::string clsidText =
        driver.ReadText("clsid", "The \"clsid\" value of ASIO driver \"" + name + "\"");
    std::string path;
    if (!ResolveDriverPath(clsidText, path)) continue;
    TAsioDriverEntry entry{};
    entry.Clsid = ClsidFromText(name, clsidText);
    CopyBounded(entry.Name, name);
    CopyBounded(entry.Path, path);
    found.push_back(entry);
  }
  list = std::move(found);
}

bool LoadDriverLibrary() {
  if (driverLibrary != nullptr) return true;
  HMODULE library = LoadLibraryA("OpenAsio.dll");
  if (library == nullptr) {
    // The host's process looks in the host's directory, not the plug-in's; the
    // library ships beside the plug-in.
    const std::string dir = ThisModuleDirectory();
    if (!dir.empty()) library = LoadLibraryA(JoinPath(dir, "OpenAsio.dll").c_str());
  }
  if (library == nullptr) return false;
  auto factory = reinterpret_cast<CreateOpenAsioFunc>(
      reinterpret_cast<void*>(GetProcAddress(library, "CreateOpenAsio")));
  // A library without the factory is no use: refusing it here keeps CreateDriver
  // from ever calling through a null address.
  if (factory == nullptr) {
    FreeLibrary(library);
    return false;
  }
  driverLibrary = library;
  createOpenAsio = factory;
  return true;
}

bool DriverLibraryLoaded() { return driverLibrary != nullptr; }

bool CreateDriver(const TAsioDriverEntry& entry, TAsioDriverRef& driver) {
  IAsioDriver** slot = driver.Put();
  if (driverLibrary == nullptr || createOpenAsio == nullptr) return false;
  const HRESULT hr = createOpenAsio(&entry.Clsid, slot);
  if (FAILED(hr)) {
    // COM leaves the out pointer null on failure; whatever a careless factory left
    // there is not ours to release.
    driver.Detach();
    return false;
  }
  return static_cast<bool>(driver);
}

void UnloadDriverLibrary() {
  if (driverLibrary == nullptr) return;
  FreeLibrary(driverLibrary);
  driverLibrary = nullptr;
  createOpenAsio = nullptr;
}

}  // namespace tonvane
