#pragma once

// What the Windows timing tools share: their command lines' numbers, and the plug-in
// loaded as a host loads it, remembering the virtual driver.
#include <windows.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <system_error>

#include "plugin_host.h"
#include "virtual_asio_ids.h"

namespace tonvane::bench {

// A whole number from 1 to 999,999 written in digits alone, into out.
inline bool ParsePositive(const std::string& text, int& out) {
  if (text.empty() || text.size() > 6 || text.find_first_not_of("0123456789") != std::string::npos)
    return false;
  out = std::stoi(text);
  return out > 0;
}

// A folder of its own under the temporary one (Dir, with a separator at its end),
// whose Tonvane.ini remembers the virtual driver at `rate`, and the plug-in loaded and
// initialised for it; Plugin is empty when it did not load (the reason printed). The
// plug-in's error boxes would wait for a user: they are printed and closed. At the end
// the host closes the plug-in and frees it, and the folder goes.
class TBenchPlugin {
 public:
  TBenchPlugin(const std::string& tag, const std::string& pluginPath, int rate)
      : folder_(std::filesystem::temp_directory_path() /
                ("tonvane-" + tag + "-" + std::to_string(GetCurrentProcessId()))) {
    std::filesystem::create_directories(folder_);
    Dir = folder_.string() + "\\";
    std::ofstream(Dir + "Tonvane.ini")
        << "[Preferences]\nDevice=" << vasio::kDriverName << "\nRate=" << rate << "\n";
    std::string error;
    Plugin = host::LoadedPlugin::Load(pluginPath, error);
    if (!Plugin) {
      std::fprintf(stderr, "%s\n", error.c_str());
      return;
    }
    hostObject_ = std::make_unique<host::HostObject>(Dir + "Tonvane.dll");
    if (!Plugin->Init(hostObject_.get(), 1)) Plugin.reset();
  }
  ~TBenchPlugin() {
    if (Plugin) {
      Plugin->window->ClosePlugin();
      host::PumpPendingMessages();
      Plugin->ReleaseInterfaces();
      Plugin.reset();
    }
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
  }
  TBenchPlugin(const TBenchPlugin&) = delete;
  TBenchPlugin& operator=(const TBenchPlugin&) = delete;

  std::string Dir;
  std::unique_ptr<host::LoadedPlugin> Plugin;

 private:
  std::filesystem::path folder_;
  host::MessageBoxWatcher boxes_{
      [](const std::string& text) { std::fprintf(stderr, "BOX %s\n", text.c_str()); }};
  std::unique_ptr<host::HostObject> hostObject_;
};

}  // namespace tonvane::bench
