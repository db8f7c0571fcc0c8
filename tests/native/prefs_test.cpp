#include "prefs/prefs.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "base/exception.h"
#include "base/str_to_int.h"
#include "file_bytes.h"
#include "scratch_dir.h"

namespace tonvane {
namespace {

TEST(TryStrToInt, AcceptsSignedDecimalsThatFit) {
  EXPECT_EQ(TryStrToInt("48000"), 48000);
  EXPECT_EQ(TryStrToInt("-1"), -1);
  EXPECT_EQ(TryStrToInt("+7"), 7);
  EXPECT_EQ(TryStrToInt("-2147483648"), INT32_MIN);
  EXPECT_EQ(TryStrToInt("2147483647"), INT32_MAX);
  for (const char* bad : {"", "-", "+", "2147483648", "-2147483649", "1e3", "$10", "0x10", " 1", "1 ", "4.8"})
    EXPECT_FALSE(TryStrToInt(bad).has_value()) << bad;
}

class PrefsTest : public testing::ScratchDirTest {
 protected:
  std::string Dir() const { return dir_.string() + "/"; }
  std::string IniPath() const { return Path("Tonvane.ini"); }
  std::string ReadFile() const { return testing::ReadText(IniPath()); }
};

TEST_F(PrefsTest, FirstRunGivesTheDefaultsAndWritesNothing) {
  {
    TPrefs prefs(Dir());
    EXPECT_EQ(prefs.Left, -1);
    EXPECT_EQ(prefs.Top, -1);
    EXPECT_EQ(prefs.Device, "");
    EXPECT_EQ(prefs.Rate, 0);
    EXPECT_TRUE(prefs.ErrorBoxes);
    EXPECT_EQ(prefs.Section(), "Preferences");
  }
  EXPECT_FALSE(std::filesystem::exists(IniPath()));
}

TEST_F(PrefsTest, SaveWritesTheFourKeysInOrderAndLoadReadsThemBack) {
  {
    TPrefs prefs(Dir());
    prefs.Left = 120;
    prefs.Top = -8;
    prefs.Device = "Virtual ASIO Driver";
    prefs.Rate = 48000;
    prefs.Save();
  }
  EXPECT_EQ(ReadFile(),
            "[Preferences]\r\nLeft=120\r\nTop=-8\r\nDevice=Virtual ASIO Driver\r\nRate=48000\r\n");
  TPrefs again(Dir());
  EXPECT_EQ(again.Left, 120);
  EXPECT_EQ(again.Top, -8);
  EXPECT_EQ(again.Device, "Virtual ASIO Driver");
  EXPECT_EQ(again.Rate, 48000);
}

TEST_F(PrefsTest, BadOrMissingValuesReadAsDefaults) {
  std::ofstream(IniPath())
      << "[Other]\nRate=44100\n[preferences]\n  rate = fast \nLEFT=12\nDevice=  My Card  \n";
  TPrefs prefs(Dir());
  EXPECT_EQ(prefs.Rate, 0);
  EXPECT_EQ(prefs.Left, 12);
  EXPECT_EQ(prefs.Top, -1);
  EXPECT_EQ(prefs.Device, "My Card");
  EXPECT_TRUE(prefs.ErrorBoxes);
  for (const char* value : {"1", "yes", ""}) {
    std::ofstream(IniPath()) << "[Preferences]\nErrorBoxes=" << value << "\n";
    EXPECT_TRUE(TPrefs(Dir()).ErrorBoxes) << value;
  }
}

// ErrorBoxes is the technician's to set: read, never written, kept as it stands.
TEST_F(PrefsTest, SaveKeepsOtherSectionsAndKeys) {
  std::ofstream(IniPath())
      << "[Other]\nKeep=1\n[Preferences]\nRate=44100\nMine=yes\nErrorBoxes=0\n[Last]\nX=2\n";
  TPrefs prefs(Dir());
  EXPECT_FALSE(prefs.ErrorBoxes);
  prefs.ErrorBoxes = true;
  prefs.Rate = 96000;
  prefs.Save();
  EXPECT_FALSE(TPrefs(Dir()).ErrorBoxes);
  TIni other(IniPath());
  other.SetSection("Other");
  EXPECT_EQ(other.ReadInteger("Keep", 0), 1);
  other.SetSection("Last");
  EXPECT_EQ(other.ReadString("X", ""), "2");
  other.SetSection("");
  EXPECT_EQ(other.ReadString("Mine", ""), "yes");
  EXPECT_EQ(other.ReadInteger("Rate", 0), 96000);
}

TEST_F(PrefsTest, AWriteThatCannotReachTheFileThrows) {
  TPrefs prefs(Dir() + "missing-folder/");
  EXPECT_EQ(prefs.Rate, 0);
  try {
    prefs.Save();
    FAIL() << "saved into a folder that does not exist";
  } catch (const Exception& e) {
    EXPECT_NE(std::string(e.what()).find("Tonvane.ini"), std::string::npos);
  }
}

}  // namespace
}  // namespace tonvane
