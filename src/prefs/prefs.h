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
  // "ErrorBoxes=0" turns the plug-in's modal boxes off for a show: each reason then goes
  // to the command's answer and the status bar. Set by hand, read only: Save never
  // writes it, and keeps it as it stands in the file.
  bool ErrorBoxes = true;
};

}  // namespace tonvane
