// The driver list over the real registry as a 32-bit process sees it, and the
// loader of OpenAsio.dll. Every key and file a test makes carries this process's
// id and is removed again.
#include <algorithm>
#include <fstream>

#include "asio/driver_list_win32.h"
#include "asio_test_support.h"
#include "base/exception.h"
#include "scratch_dir.h"

namespace tonvane::test {
namespace {

std::string GuidText(const GUID& guid) {
  wchar_t wide[40] = {};
  StringFromGUID2(guid, wide, 40);
  return std::string(wide, wide + 38);
}

GUID NewGuid() {
  GUID guid{};
  EXPECT_EQ(CoCreateGuid(&guid), S_OK);
  return guid;
}

std::string SystemDir() {
  char dir[MAX_PATH] = {};
  GetSystemDirectoryA(dir, MAX_PATH);
  return dir;
}
std::string WindowsDir() {
  char dir[MAX_PATH] = {};
  GetWindowsDirectoryA(dir, MAX_PATH);
  return dir;
}

void SetValue(HKEY root, const std::string& key, const char* name, DWORD type, const void* data, DWORD size) {
  HKEY h = nullptr;
  ASSERT_EQ(RegCreateKeyExA(root, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &h, nullptr), ERROR_SUCCESS)
      << key;
  ASSERT_EQ(RegSetValueExA(h, name, 0, type, static_cast<const BYTE*>(data), size), ERROR_SUCCESS);
  RegCloseKey(h);
}
void SetText(HKEY root, const std::string& key, const char* name, const std::string& text) {
  SetValue(root, key, name, REG_SZ, text.c_str(), static_cast<DWORD>(text.size() + 1));
}

// The names under HKLM\Software\ASIO in the registry's own order.
std::vector<std::string> EnumeratedDriverKeys() {
  std::vector<std::string> names;
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\ASIO", 0, KEY_READ, &key) != ERROR_SUCCESS) return names;
  char name[256];
  for (DWORD i = 0;; ++i) {
    DWORD size = sizeof name;
    if (RegEnumKeyExA(key, i, name, &size, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    names.emplace_back(name, size);
  }
  RegCloseKey(key);
  return names;
}

class DriverListTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(CoInitialize(nullptr), S_OK);
    tag_ = "TonvaneTest" + std::to_string(GetCurrentProcessId());
  }
  void TearDown() override {
    for (const std::string& key : driverKeys_) RegDeleteTreeA(HKEY_LOCAL_MACHINE, key.c_str());
    for (const std::string& key : classKeys_) RegDeleteTreeA(HKEY_CLASSES_ROOT, key.c_str());
    for (const std::string& file : files_) DeleteFileA(file.c_str());
    UnloadDriverLibrary();
    CoUninitialize();
  }

  // A driver key named tag + suffix; an empty clsid text writes no value.
  std::string AddDriver(const std::string& suffix, const std::string& clsidText) {
    const std::string name = tag_ + suffix;
    const std::string key = "Software\\ASIO\\" + name;
    driverKeys_.push_back(key);
    if (clsidText.empty()) {
      HKEY h = nullptr;
      RegCreateKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &h, nullptr);
      RegCloseKey(h);
    } else {
      SetText(HKEY_LOCAL_MACHINE, key, "CLSID", clsidText);
    }
    return name;
  }
  // A class whose InprocServer32 default value is server (no InprocServer32 key
  // when server is empty).
  std::string AddClass(const std::string& clsidText, const std::string& server) {
    const std::string key = "CLSID\\" + clsidText;
    classKeys_.push_back(key);
    if (server.empty())
      SetText(HKEY_CLASSES_ROOT, key, nullptr, "no server");
    else
      SetText(HKEY_CLASSES_ROOT, key + "\\InprocServer32", nullptr, server);
    return clsidText;
  }
  std::string MakeFile(const std::string& dir, const std::string& name) {
    const std::string path = dir + "\\" + name;
    std::ofstream(path) << "not really a driver";
    files_.push_back(path);
    return path;
  }
  // The entries this test made, in list order.
  std::vector<const TAsioDriverEntry*> Ours(const TAsioDriverList& list) const {
    std::vector<const TAsioDriverEntry*> ours;
    for (const TAsioDriverEntry& e : list)
      if (std::string(e.Name).rfind(tag_, 0) == 0) ours.push_back(&e);
    return ours;
  }

  std::string tag_;
  std::vector<std::string> driverKeys_, classKeys_, files_;
};

TEST_F(DriverListTest, ListsWorkingDriversInRegistryOrderAndLeavesBrokenOnesOut) {
  const testing::ScratchDir scratch;
  const std::string sysFile = tag_ + "-sys.dll", winFile = tag_ + "-win.dll";
  const std::string sysPath = MakeFile(SystemDir(), sysFile);
  const std::string winPath = MakeFile(WindowsDir(), winFile);
  const std::string fullPath = MakeFile(scratch.Dir().string(), tag_ + ".dll");
  ASSERT_EQ(GetFileAttributesA((SystemDir() + "\\" + winFile).c_str()), INVALID_FILE_ATTRIBUTES);

  const GUID sysClass = NewGuid(), winClass = NewGuid(), fullClass = NewGuid();
  AddClass(GuidText(sysClass), sysFile);
  AddClass(GuidText(winClass), winFile);
  AddClass(GuidText(fullClass), fullPath);
  const std::string noServer = AddClass(GuidText(NewGuid()), "");
  const std::string missingFile = AddClass(GuidText(NewGuid()), "C:\\nowhere\\" + tag_ + ".dll");
  const std::string missingBare = AddClass(GuidText(NewGuid()), tag_ + "-absent.dll");

  // Names in an order unlike the one the registry gives them back in.
  std::map<std::string, std::pair<GUID, std::string>> expected;
  expected[AddDriver(" Zulu system", GuidText(sysClass))] = {sysClass, SystemDir() + "\\" + sysFile};
  expected[AddDriver(" alpha windows", GuidText(winClass))] = {winClass, WindowsDir() + "\\" + winFile};
  expected[AddDriver(" Mike full", GuidText(fullClass))] = {fullClass, fullPath};
  expected[AddDriver(" bravo same class", GuidText(fullClass))] = {fullClass, fullPath};
  AddDriver(" no clsid", "");
  AddDriver(" unknown class", GuidText(NewGuid()));
  AddDriver(" no server", noServer);
  AddDriver(" missing file", missingFile);
  AddDriver(" missing bare", missingBare);

  TAsioDriverList list(3);  // replaced, not appended to
  BuildDriverList(list);
  const auto ours = Ours(list);

  std::vector<std::string> order;
  for (const std::string& name : EnumeratedDriverKeys())
    if (expected.count(name)) order.push_back(name);
  ASSERT_EQ(ours.size(), order.size());
  for (std::size_t i = 0; i < ours.size(); ++i) {
    SCOPED_TRACE(order[i]);
    EXPECT_EQ(ours[i]->Name, order[i]) << "the registry's order, broken keys leaving no gap";
    EXPECT_TRUE(IsEqualCLSID(ours[i]->Clsid, expected[order[i]].first));
    EXPECT_STREQ(ours[i]->Path, expected[order[i]].second.c_str());
  }
  EXPECT_EQ(static_cast<const void*>(&list[0]), static_cast<const void*>(&list[0].Clsid));
}

TEST_F(DriverListTest, TheRegisteredVirtualDriverIsListedWithItsServer) {
  TAsioDriverList list;
  BuildDriverList(list);
  const auto it = std::find_if(list.begin(), list.end(), [](const TAsioDriverEntry& e) {
    return std::string(e.Name) == vasio::kDriverName;
  });
  ASSERT_NE(it, list.end());
  EXPECT_TRUE(IsEqualCLSID(it->Clsid, vasio::kClsid));
  const std::string path = it->Path;
  EXPECT_EQ(path.substr(path.find_last_of('\\') + 1), vasio::kFileName);
}

TEST_F(DriverListTest, ResolvingAPathTriesTheSystemThenTheWindowsDirectory) {
  const std::string bothFile = tag_ + "-both.dll";
  MakeFile(SystemDir(), bothFile);
  MakeFile(WindowsDir(), bothFile);
  const std::string both = AddClass(GuidText(NewGuid()), bothFile);
  std::string path = "unchanged";
  EXPECT_TRUE(ResolveDriverPath(both, path));
  EXPECT_EQ(path, SystemDir() + "\\" + bothFile) << "the system directory comes first";

  path = "unchanged";
  EXPECT_FALSE(ResolveDriverPath(GuidText(NewGuid()), path));
  EXPECT_EQ(path, "unchanged") << "no class key: the path is left alone";
}

TEST_F(DriverListTest, AClsidThatIsNotTextOrNotAnIdentifierStopsTheListing) {
  const std::string file = MakeFile(WindowsDir(), tag_ + "-x.dll");
  {
    const std::string name = AddDriver(" binary clsid", "");
    const DWORD number = 7;
    SetValue(HKEY_LOCAL_MACHINE, "Software\\ASIO\\" + name, "CLSID", REG_DWORD, &number, sizeof number);
    TAsioDriverList list;
    try {
      BuildDriverList(list);
      ADD_FAILURE() << "no error for a clsid value that is not text";
    } catch (const Exception& e) {
      EXPECT_NE(std::string(e.what()).find(name), std::string::npos) << e.what();
    }
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, ("Software\\ASIO\\" + name).c_str());
  }
  {
    // A class key whose name is no identifier, but whose server exists.
    AddClass(tag_ + "-not-a-guid", file);
    const std::string name = AddDriver(" bad clsid", tag_ + "-not-a-guid");
    TAsioDriverList list;
    try {
      BuildDriverList(list);
      ADD_FAILURE() << "no error for a clsid text that does not convert";
    } catch (const Exception& e) {
      EXPECT_NE(std::string(e.what()).find(tag_ + "-not-a-guid"), std::string::npos) << e.what();
    }
  }
}

struct KeyWalk {
  HKEY key;
  std::vector<std::string> names;
};
DWORD WINAPI WalkKey(void* walk) {
  auto* w = static_cast<KeyWalk*>(walk);
  w->names = SubKeyNames(w->key);
  return 0;
}

// A key deleted while its subkeys are walked: the walk ends with what it read.
TEST_F(DriverListTest, TheWalkOfAKeyDeletedMeanwhileEnds) {
  const std::string key = "Software\\Tonvane walk " + tag_;
  for (const char* sub : {"\\a", "\\b", "\\c"}) {
    HKEY h = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, (key + sub).c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &h,
                              nullptr),
              ERROR_SUCCESS);
    RegCloseKey(h);
  }
  HKEY open = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, KEY_READ, &open), ERROR_SUCCESS);
  EXPECT_EQ(SubKeyNames(open), (std::vector<std::string>{"a", "b", "c"}));
  ASSERT_EQ(RegDeleteTreeA(HKEY_CURRENT_USER, key.c_str()), ERROR_SUCCESS);
  char name[256];
  DWORD size = sizeof name;
  const LONG answer = RegEnumKeyExA(open, 0, name, &size, nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(answer, ERROR_SUCCESS);
  ASSERT_NE(answer, ERROR_NO_MORE_ITEMS) << "the registry must answer as for a deleted key";

  // On a thread of its own, so that a walk that never ends fails this test
  // rather than hanging it.
  KeyWalk walk{open, {}};
  HANDLE thread = CreateThread(nullptr, 0, WalkKey, &walk, 0, nullptr);
  ASSERT_NE(thread, nullptr);
  const DWORD waited = WaitForSingleObject(thread, 120000);
  if (waited != WAIT_OBJECT_0) TerminateThread(thread, 1);
  CloseHandle(thread);
  EXPECT_EQ(waited, WAIT_OBJECT_0) << "the walk of a deleted key did not end";
  EXPECT_TRUE(walk.names.empty());
  RegCloseKey(open);
}

// Runs first among the loader tests: OpenAsio.dll must not be in the process yet.
TEST_F(DriverListTest, ALibraryWithoutTheFactoryIsNotKeptLoaded) {
  ASSERT_EQ(GetModuleHandleA("OpenAsio.dll"), nullptr);
  char self[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, self, MAX_PATH);
  std::string bin(self);
  bin = bin.substr(0, bin.find_last_of('\\') + 1);
  {
    const testing::ScratchDir scratch;  // the fake goes with it, before the real one is loaded
    const std::string fake = scratch.Path("OpenAsio.dll");
    // Any DLL without CreateOpenAsio will do; loaded first, it is the one the bare
    // name finds.
    ASSERT_TRUE(CopyFileA((bin + vasio::kFileName).c_str(), fake.c_str(), FALSE));
    HMODULE held = LoadLibraryA(fake.c_str());
    ASSERT_NE(held, nullptr);

    EXPECT_FALSE(LoadDriverLibrary());
    EXPECT_FALSE(DriverLibraryLoaded());
    TAsioDriverEntry entry{};
    entry.Clsid = vasio::kClsid;
    TAsioDriverRef driver;
    EXPECT_FALSE(CreateDriver(entry, driver)) << "no factory to call";
    FreeLibrary(held);
    EXPECT_EQ(GetModuleHandleA("OpenAsio.dll"), nullptr) << "the refused library was released";
  }

  EXPECT_TRUE(LoadDriverLibrary()) << "the real one, beside the test";
  EXPECT_TRUE(DriverLibraryLoaded());
}

TEST_F(DriverListTest, CreatesDriversThroughTheLoadedLibraryOnly) {
  TAsioDriverEntry entry{};
  entry.Clsid = vasio::kClsid;
  TAsioDriverRef driver;
  EXPECT_FALSE(DriverLibraryLoaded());
  EXPECT_FALSE(CreateDriver(entry, driver)) << "before LoadDriverLibrary";

  ASSERT_TRUE(LoadDriverLibrary());
  ASSERT_TRUE(DriverLibraryLoaded());
  ASSERT_TRUE(CreateDriver(entry, driver));
  ASSERT_TRUE(driver);
  EXPECT_EQ(driver->init(nullptr), 1);
  std::int32_t inputs = 0, outputs = 0;
  EXPECT_EQ(driver->getChannels(&inputs, &outputs), ASE_OK);
  EXPECT_GT(outputs, 0);

  TAsioDriverEntry unknown{};
  unknown.Clsid = NewGuid();
  EXPECT_FALSE(CreateDriver(unknown, driver)) << "the factory fails for a class nobody registered";
  EXPECT_FALSE(driver) << "and the reference held before is gone";

  UnloadDriverLibrary();
  EXPECT_FALSE(DriverLibraryLoaded());
  EXPECT_EQ(GetModuleHandleA("OpenAsio.dll"), nullptr);
  EXPECT_FALSE(CreateDriver(entry, driver));
}

}  // namespace
}  // namespace tonvane::test
