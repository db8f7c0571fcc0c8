#include "prefs/prefs.h"

#include "base/path.h"

namespace tonvane {

TPrefs::TPrefs(const std::string& dir) : TIni(JoinPath(dir, "Tonvane.ini")) { Load(); }

void TPrefs::Load() {
  Left = ReadInteger("Left", -1);
  Top = ReadInteger("Top", -1);
  Device = ReadString("Device", "");
  Rate = ReadInteger("Rate", 0);
  ErrorBoxes = ReadInteger("ErrorBoxes", 1) != 0;
}

void TPrefs::Save() {
  WriteInteger("Left", Left);
  WriteInteger("Top", Top);
  WriteString("Device", Device);
  WriteInteger("Rate", Rate);
}

}  // namespace tonvane
