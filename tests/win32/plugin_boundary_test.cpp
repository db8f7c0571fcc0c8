// The plug-in DLL driven through its export and vtables, as the Trovex host does.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "file_bytes.h"
#include "plugin_host.h"
#include "scratch_dir.h"
#include "window_lookup.h"

namespace tonvane {
namespace {

using host::HostObject;
using host::LoadedPlugin;

HWND MainWindow() { return testing::ThisThreadsMainForm(); }

class PluginTest : public ::testing::Test {
 protected:
  void SetUp() override {
    scratch_.emplace();
    dir_ = scratch_->Folder();
    host_ = std::make_unique<HostObject>(dir_ + "Tonvane.dll");
    watcher_ =
        std::make_unique<host::MessageBoxWatcher>([this](const std::string& t) { boxes_.push_back(t); });
    std::string error;
    plugin_ = LoadedPlugin::Load(host::ExecutableDir() + "Tonvane.dll", error);
    ASSERT_TRUE(plugin_) << error;
  }
  void TearDown() override {
    if (plugin_ && plugin_->window) {
      plugin_->window->FreePluginWindow();
      host::PumpPendingMessages();
    }
    plugin_.reset();
    watcher_.reset();
    scratch_.reset();
  }

  void Init() { ASSERT_TRUE(plugin_->Init(host_.get(), 7)); }
  std::string Execute(const char* line) {
    char result[64];
    std::memset(result, 'x', sizeof result);
    plugin_->commands->ExecuteCommand(line, result);
    return result;
  }

  // The host's plug-in folder, where Tonvane.ini goes: a scratch folder, with a
  // separator at its end.
  std::string dir_;
  std::unique_ptr<HostObject> host_;
  std::unique_ptr<host::MessageBoxWatcher> watcher_;
  std::vector<std::string> boxes_;
  std::unique_ptr<LoadedPlugin> plugin_;

 private:
  std::optional<testing::ScratchDir> scratch_;
};

TEST_F(PluginTest, ObjectIdentityAndReferenceCounting) {
  Init();
  IUnknown* unknown = nullptr;
  ASSERT_EQ(plugin_->object->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&unknown)), S_OK);
  EXPECT_EQ(unknown, plugin_->object) << "IUnknown is the pointer the init handed out";
  IUnknown* fromWindow = nullptr;
  plugin_->window->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&fromWindow));
  EXPECT_EQ(fromWindow, unknown);
  void* base = nullptr;
  ASSERT_EQ(plugin_->object->QueryInterface(IID_IPluginWindowBase, &base), S_OK);
  EXPECT_EQ(base, plugin_->window);
  void* none = reinterpret_cast<void*>(1);
  EXPECT_EQ(plugin_->object->QueryInterface(IID_IPluginHost, &none), E_NOINTERFACE);
  EXPECT_EQ(none, nullptr);
  // object + commands + window + unknown + fromWindow + base
  EXPECT_EQ(plugin_->object->AddRef(), 7u);
  EXPECT_EQ(plugin_->object->Release(), 6u);
  unknown->Release();
  fromWindow->Release();
  static_cast<IUnknown*>(base)->Release();
  EXPECT_EQ(host_->LastPluginId(), 7);
  EXPECT_TRUE(boxes_.empty());
}

TEST_F(PluginTest, HelpTextIs169BytesWithItsZero) {
  Init();
  char buffer[256];
  std::memset(buffer, 0x55, sizeof buffer);
  plugin_->commands->GetCommandHelp(buffer);
  EXPECT_EQ(std::strlen(buffer), 168u);
  EXPECT_EQ(buffer[168], 0);
  EXPECT_EQ(static_cast<unsigned char>(buffer[169]), 0x55);
  EXPECT_EQ(std::string(buffer, 24), "Play <channel> <filename");
}

TEST_F(PluginTest, CommandsNeedTheWindow) {
  Init();
  EXPECT_EQ(Execute("Stop 1"), "ERR");
  plugin_->window->Tick();
  EXPECT_EQ(plugin_->window->IsPluginWindowVisible(), 0);
  EXPECT_EQ(plugin_->window->ShowPluginWindow(), 1);
  EXPECT_EQ(plugin_->window->IsPluginWindowVisible(), 1);
  EXPECT_EQ(Execute("Play"), "ERR: No ASIO device open");
  EXPECT_EQ(Execute("Stop 1"), "ERR: Invalid channel number");
  EXPECT_EQ(Execute("Level 1 -6"), "ERR: Invalid channel number");
  EXPECT_EQ(Execute(""), "ERR: No command specified");
  EXPECT_EQ(Execute("Fade 1"), "ERR: Unknown command");
  plugin_->window->Tick();
  // The user closes the window: it is freed, and commands answer ERR again.
  PostMessageA(MainWindow(), WM_CLOSE, 0, 0);
  host::PumpPendingMessages();
  EXPECT_EQ(MainWindow(), nullptr);
  EXPECT_EQ(plugin_->window->IsPluginWindowVisible(), 0);
  EXPECT_EQ(Execute("Stop 1"), "ERR");
}

TEST_F(PluginTest, HostWithoutPluginHostGetsNoObject) {
  host_->offerPluginHost = false;
  plugin_->init()(&plugin_->object, 3, host_.get());
  EXPECT_EQ(plugin_->object, nullptr);
  EXPECT_EQ(boxes_, std::vector<std::string>{"Plugin requires newer version of Trovex"});
  EXPECT_EQ(host_->LastPluginId(), -1) << "the path was asked of an absent host";
  EXPECT_EQ(host_->RefCount(), 1u);
}

// A counted object standing in for a reference the host variable already holds.
struct Counted : IUnknown {
  ULONG refs = 1;
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
  ULONG STDMETHODCALLTYPE Release() override { return --refs; }
};

TEST_F(PluginTest, InitReleasesWhatTheVariableHeldAndTheFirstHost) {
  Counted previous;
  IUnknown* variable = &previous;
  plugin_->init()(&variable, 1, host_.get());
  EXPECT_EQ(previous.refs, 0u);
  ASSERT_NE(variable, nullptr);
  EXPECT_EQ(host_->RefCount(), 2u) << "the plug-in keeps one host reference";

  HostObject second(dir_ + "Tonvane.dll");
  plugin_->init()(&variable, 2, &second);
  EXPECT_EQ(host_->RefCount(), 1u) << "the first host reference is dropped";
  EXPECT_EQ(second.RefCount(), 2u);
  variable->Release();
  plugin_.reset();
  EXPECT_EQ(second.RefCount(), 1u) << "the host reference goes with the plug-in object";
}

TEST_F(PluginTest, VersionResourceNamesTheProduct) {
  const std::string path = host::ExecutableDir() + "Tonvane.dll";
  DWORD handle = 0;
  const DWORD size = GetFileVersionInfoSizeA(path.c_str(), &handle);
  ASSERT_GT(size, 0u);
  std::vector<char> data(size);
  ASSERT_TRUE(GetFileVersionInfoA(path.c_str(), 0, size, data.data()));
  char* value = nullptr;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValueA(data.data(), "\\StringFileInfo\\040904E4\\ProductName",
                             reinterpret_cast<void**>(&value), &length));
  EXPECT_STREQ(value, "Tonvane");
}

TEST_F(PluginTest, ClosePluginWritesWhereTheOpenWindowStands) {
  Init();
  plugin_->window->ClosePlugin();
  EXPECT_EQ(testing::ReadText(dir_ + "Tonvane.ini"),
            "[Preferences]\r\nLeft=-1\r\nTop=-1\r\nDevice=\r\nRate=0\r\n")
      << "no window was ever shown";
  plugin_->window->ShowPluginWindow();
  SetWindowPos(MainWindow(), nullptr, 300, 200, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
  plugin_->window->ClosePlugin();
  EXPECT_EQ(testing::ReadText(dir_ + "Tonvane.ini"),
            "[Preferences]\r\nLeft=300\r\nTop=200\r\nDevice=\r\nRate=0\r\n");
  EXPECT_NE(MainWindow(), nullptr) << "the release waits for the message loop";
  host::PumpPendingMessages();
  EXPECT_EQ(MainWindow(), nullptr);
  EXPECT_TRUE(boxes_.empty());

  // A new load reads them back; the window still opens centred.
  plugin_.reset();
  std::string error;
  plugin_ = LoadedPlugin::Load(host::ExecutableDir() + "Tonvane.dll", error);
  Init();
  plugin_->window->ShowPluginWindow();
  RECT r{};
  GetWindowRect(MainWindow(), &r);
  EXPECT_NEAR((r.left + r.right) / 2, GetSystemMetrics(SM_CXSCREEN) / 2, 1);
}

TEST_F(PluginTest, AnUnwritablePreferencesFileIsReportedNotThrown) {
  host_ = std::make_unique<HostObject>(dir_ + "no such folder\\Tonvane.dll");
  Init();
  plugin_->window->ClosePlugin();
  ASSERT_EQ(boxes_.size(), 1u);
  EXPECT_EQ(boxes_[0],
            "The preferences were not saved. Unable to write to " + dir_ + "no such folder\\Tonvane.ini");
}

TEST_F(PluginTest, ShowBetweenReleaseRequestAndItsProcessingKeepsTheSameWindow) {
  Init();
  plugin_->window->ShowPluginWindow();
  HWND first = MainWindow();
  plugin_->window->FreePluginWindow();
  EXPECT_EQ(plugin_->window->ShowPluginWindow(), 1);
  EXPECT_EQ(MainWindow(), first);
  host::PumpPendingMessages();
  EXPECT_FALSE(IsWindow(first));
  EXPECT_EQ(plugin_->window->IsPluginWindowVisible(), 0);
}

TEST_F(PluginTest, MinimizedStaysMinimizedOnALaterShow) {
  Init();
  plugin_->window->ShowPluginWindow();
  HWND hwnd = MainWindow();
  EXPECT_FALSE(IsIconic(hwnd));
  EXPECT_EQ(plugin_->window->ShowPluginWindowMinimized(), 1);
  EXPECT_TRUE(IsIconic(hwnd));
  EXPECT_EQ(plugin_->window->IsPluginWindowVisible(), 1) << "a minimized window counts as visible";
  plugin_->window->ShowPluginWindow();
  EXPECT_TRUE(IsIconic(hwnd));
}

TEST_F(PluginTest, FirstShowMinimizedCreatesAMinimizedWindow) {
  Init();
  plugin_->window->ShowPluginWindowMinimized();
  ASSERT_NE(MainWindow(), nullptr);
  EXPECT_TRUE(IsIconic(MainWindow()));
  EXPECT_TRUE(IsWindowVisible(MainWindow()));
}

TEST_F(PluginTest, UnloadWithTheWindowOpenTakesItDown) {
  Init();
  plugin_->window->ShowPluginWindow();
  HWND hwnd = MainWindow();
  plugin_->window->FreePluginWindow();  // queued, never processed before the unload
  plugin_->ReleaseInterfaces();
  plugin_.reset();
  EXPECT_FALSE(IsWindow(hwnd));
  host::PumpPendingMessages();  // nothing left that points into the freed code
  EXPECT_FALSE(std::ifstream(dir_ + "Tonvane.ini").good()) << "unload writes no preferences";
}

TEST_F(PluginTest, PathWithoutADirectoryUsesTheBareFileName) {
  char windows[MAX_PATH] = {};
  GetWindowsDirectoryA(windows, MAX_PATH);
  const std::string bare = std::string(windows) + "\\Tonvane.ini";
  DeleteFileA(bare.c_str());
  host_ = std::make_unique<HostObject>("Tonvane.dll");
  Init();
  plugin_->window->ClosePlugin();
  // The private-profile functions put a bare name in the Windows directory.
  EXPECT_NE(testing::ReadText(bare).find("[Preferences]"), std::string::npos);
  DeleteFileA(bare.c_str());
}

}  // namespace
}  // namespace tonvane
