#pragma once

// A test that drives the real plug-in as the host does: a scratch folder for the
// plug-in's Tonvane.ini, the host object, the DLL loaded and initialised, its
// message boxes recorded and dismissed, and the virtual driver's settings (read from
// the environment at every driver init) cleared before and after.

#include <windows.h>

#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "plugin_host.h"
#include "scratch_dir.h"
#include "timeline.h"
#include "window_lookup.h"

namespace tonvane::testing {

inline void SetDriver(const std::string& key, const char* value) {
  SetEnvironmentVariableA(("TONVANE_VASIO_" + key).c_str(), value);
}

// Also starts the device's timeline anew: no reset sent, no drop-out begun.
inline void ClearDriverSettings() {
  for (const char* key : {"OUTPUTS", "INPUTS", "SAMPLE_TYPE", "RATES", "BUFFER", "CLOCK", "FAIL",
                          "MAX_BUFFERS", "RECORD_DIR", "SYNC_FIRST", "LATE_SWITCH", "RECORD_APPEND",
                          "RESET_AFTER", "RESET_FROM", "RESET_BUFFER", "DROP_AFTER", "DROP_FOR"})
    SetDriver(key, nullptr);
  SetEnvironmentVariableA(vasio::kTimelineVariable, nullptr);
}

class PluginSession : public ::testing::Test {
 protected:
  explicit PluginSession(std::string folderTag) : folderTag_(std::move(folderTag)) {}

  void SetUp() override {
    scratch_.emplace(folderTag_);
    dir_ = scratch_->Folder();
    ClearDriverSettings();
    host_ = std::make_unique<host::HostObject>(dir_ + "Tonvane.dll");
    watcher_ = std::make_unique<host::MessageBoxWatcher>([this](const std::string& t) {
      boxes_.push_back(t);
      if (onBox_) onBox_(t);
    });
  }
  void TearDown() override {
    if (plugin_ && plugin_->window) {
      plugin_->window->FreePluginWindow();
      host::PumpPendingMessages();
    }
    plugin_.reset();
    // The feeder's threads each hold the library until they have ended, a moment
    // after the device stopped: the next test loads it anew, as a host would.
    for (int i = 0; i < 500 && GetModuleHandleA("Tonvane.dll"); ++i) host::PumpMessages(10);
    watcher_.reset();
    ClearDriverSettings();
    scratch_.reset();
  }

  std::string Ini() const { return dir_ + "Tonvane.ini"; }
  // What the plug-in finds in its Tonvane.ini at load.
  void Remember(const std::string& device, int rate) {
    std::ofstream(Ini()) << "[Preferences]\nDevice=" << device << "\nRate=" << rate << "\n";
  }
  // Loads and initialises the plug-in, then shows its window (which opens a
  // remembered device); form_ is that window.
  void Show() {
    std::string error;
    plugin_ = host::LoadedPlugin::Load(host::ExecutableDir() + "Tonvane.dll", error);
    ASSERT_TRUE(plugin_) << error;
    ASSERT_TRUE(plugin_->Init(host_.get(), 1));
    plugin_->window->ShowPluginWindow();
    form_ = ThisThreadsMainForm();
    ASSERT_NE(form_, nullptr);
  }
  std::string Execute(const std::string& line) {
    // As long as the plug-in's longest answer, the boxes off.
    char result[256] = {};
    plugin_->commands->ExecuteCommand(line.c_str(), result);
    return result;
  }

  // The scratch folder, with a separator at its end.
  std::string dir_;
  std::unique_ptr<host::HostObject> host_;
  std::unique_ptr<host::MessageBoxWatcher> watcher_;
  std::vector<std::string> boxes_;
  // Runs inside the box's own message loop, as a host's timer would, before it is closed.
  std::function<void(const std::string&)> onBox_;
  std::unique_ptr<host::LoadedPlugin> plugin_;
  HWND form_ = nullptr;

 private:
  std::string folderTag_;
  // Removed once the plug-in, and the driver it opened, have let go of their files.
  std::optional<ScratchDir> scratch_;
};

}  // namespace tonvane::testing
