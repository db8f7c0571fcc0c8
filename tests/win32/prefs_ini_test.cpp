// The preferences over the real Windows private-profile functions.
#include <windows.h>

#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "base/exception.h"
#include "base/file_exists.h"
#include "file_bytes.h"
#include "prefs/prefs.h"
#include "scratch_dir.h"

namespace tonvane {
namespace {

class PrefsIniTest : public ::testing::Test {
 protected:
  std::string Contents() const { return testing::ReadText(file_); }

  const testing::ScratchDir scratch_;
  const std::string dir_ = scratch_.Dir().string(), file_ = dir_ + "\\Tonvane.ini";
};

TEST_F(PrefsIniTest, RoundTripWithAndWithoutTrailingBackslash) {
  {
    TPrefs prefs(dir_);
    EXPECT_EQ(prefs.Left, -1);
    EXPECT_EQ(prefs.Rate, 0);
    EXPECT_FALSE(FileExists(file_)) << "loading writes nothing";
    prefs.Left = 10;
    prefs.Top = 20;
    prefs.Device = "Virtual ASIO Driver";
    prefs.Rate = 48000;
    prefs.Save();
  }
  const std::string text = Contents();
  EXPECT_NE(text.find("[Preferences]"), std::string::npos);
  EXPECT_NE(text.find("Rate=48000"), std::string::npos);
  EXPECT_LT(text.find("Left=10"), text.find("Top=20"));
  EXPECT_LT(text.find("Top=20"), text.find("Device=Virtual ASIO Driver"));
  TPrefs again(dir_ + "\\");
  EXPECT_EQ(again.FileName(), file_);
  EXPECT_EQ(again.Left, 10);
  EXPECT_EQ(again.Top, 20);
  EXPECT_EQ(again.Device, "Virtual ASIO Driver");
  EXPECT_EQ(again.Rate, 48000);
}

TEST_F(PrefsIniTest, HandEditedFileReadsLikeTheNativeReader) {
  std::ofstream(file_, std::ios::binary)
      << "[preferences]\r\nRATE = 44.1\r\nleft= 7 \r\nDevice=\"Quoted Card\"\r\n";
  TPrefs prefs(dir_);
  EXPECT_EQ(prefs.Rate, 0);
  EXPECT_EQ(prefs.Left, 7);
  EXPECT_EQ(prefs.Top, -1);
  EXPECT_EQ(prefs.Device, "Quoted Card");
}

TEST_F(PrefsIniTest, LongDeviceNamesSurviveTheRoundTrip) {
  const std::string name(700, 'x');
  {
    TPrefs prefs(dir_);
    prefs.Device = name;
    prefs.Save();
  }
  EXPECT_EQ(TPrefs(dir_).Device, name);
}

TEST_F(PrefsIniTest, WriteIntoAMissingFolderThrows) {
  TPrefs prefs(dir_ + "\\missing");
  EXPECT_THROW(prefs.Save(), Exception);
}

}  // namespace
}  // namespace tonvane
