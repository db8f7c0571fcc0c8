// The COM in-process server around the virtual driver: its class factory, the
// unload test, and self-registration as an ASIO driver (the class under
// HKCR\CLSID, the driver under HKLM\Software\ASIO). A 32-bit process writes both
// into the 32-bit registry view, which is where 32-bit hosts look.

#include <windows.h>
#include <objbase.h>
#include <olectl.h>

#include <atomic>
#include <new>
#include <string>

#include "base/module_path_win32.h"
#include "virtual_asio_ids.h"
#include "virtual_driver.h"

namespace tonvane::vasio {
namespace {

std::atomic<long> serverLocks{0};

class TClassFactory final : public IClassFactory {
 public:
  HRESULT __stdcall QueryInterface(REFIID riid, void** object) override {
    if (object == nullptr) return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IClassFactory)) {
      *object = static_cast<IClassFactory*>(this);
      AddRef();
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  // One static factory: its references only keep the DLL loaded.
  ULONG __stdcall AddRef() override { return static_cast<ULONG>(++serverLocks); }
  ULONG __stdcall Release() override { return static_cast<ULONG>(--serverLocks); }

  HRESULT __stdcall CreateInstance(IUnknown* outer, REFIID riid, void** object) override {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (outer != nullptr) return CLASS_E_NOAGGREGATION;
    auto* driver = new (std::nothrow) TVirtualDriver();
    if (driver == nullptr) return E_OUTOFMEMORY;
    const HRESULT hr = driver->QueryInterface(riid, object);
    driver->Release();
    return hr;
  }
  HRESULT __stdcall LockServer(BOOL lock) override {
    if (lock)
      ++serverLocks;
    else
      --serverLocks;
    return S_OK;
  }
};

TClassFactory classFactory;

bool SetText(HKEY root, const std::string& subKey, const char* name, const std::string& value) {
  HKEY key = nullptr;
  if (RegCreateKeyExA(root, subKey.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr) !=
      ERROR_SUCCESS)
    return false;
  const LONG result = RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                                     static_cast<DWORD>(value.size() + 1));
  RegCloseKey(key);
  return result == ERROR_SUCCESS;
}

const std::string kClassKey = std::string("CLSID\\") + kClsidText;
const std::string kDriverKey = std::string("Software\\ASIO\\") + kDriverName;

}  // namespace
}  // namespace tonvane::vasio

using namespace tonvane::vasio;

extern "C" HRESULT __stdcall DllGetClassObject(REFCLSID clsid, REFIID riid, void** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  if (!IsEqualCLSID(clsid, kClsid)) return CLASS_E_CLASSNOTAVAILABLE;
  return classFactory.QueryInterface(riid, object);
}

extern "C" HRESULT __stdcall DllCanUnloadNow() {
  return TVirtualDriver::Alive() == 0 && serverLocks == 0 ? S_OK : S_FALSE;
}

extern "C" HRESULT __stdcall DllRegisterServer() {
  const std::string path = tonvane::ThisModulePath();
  if (path.empty()) return SELFREG_E_CLASS;
  const std::string server = kClassKey + "\\InprocServer32";
  const bool ok = SetText(HKEY_CLASSES_ROOT, kClassKey, nullptr, kDriverName) &&
                  SetText(HKEY_CLASSES_ROOT, server, nullptr, path) &&
                  SetText(HKEY_CLASSES_ROOT, server, "ThreadingModel", "Apartment") &&
                  SetText(HKEY_LOCAL_MACHINE, kDriverKey, "CLSID", kClsidText) &&
                  SetText(HKEY_LOCAL_MACHINE, kDriverKey, "Description", kDriverName);
  return ok ? S_OK : SELFREG_E_CLASS;
}

extern "C" HRESULT __stdcall DllUnregisterServer() {
  const LONG a = RegDeleteTreeA(HKEY_CLASSES_ROOT, kClassKey.c_str());
  const LONG b = RegDeleteTreeA(HKEY_LOCAL_MACHINE, kDriverKey.c_str());
  const auto gone = [](LONG r) { return r == ERROR_SUCCESS || r == ERROR_FILE_NOT_FOUND; };
  return gone(a) && gone(b) ? S_OK : SELFREG_E_CLASS;
}
