#pragma once

#include <cstdint>
#include <string>

#include "prefs/ini.h"

namespace tonvane {

// What the plug-in remembers between runs, in "Tonvane.ini" beside the plug-in.
// Loaded at construction; the fields are used in memory and written only by Save.
class TPrefs : public TIni {
 public:
  explicit TPrefs(const std::string& dir);

  void Load();
  // Throws tonvane::Exception when the file cannot be written.
  void Save();

  std::int32_t Left = -1;
  std::int32_t Top = -1;
  std::string Device;
  std::int32_t Rate = 0;
};

}  // namespace tonvane
