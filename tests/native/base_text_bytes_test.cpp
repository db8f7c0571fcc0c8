// The helpers every parser leans on: ASCII case folding and extensions, the integers
// of file formats, read and written, and the paths of the plug-in's files.
#include <gtest/gtest.h>

#include <cstdint>

#include "base/ascii.h"
#include "base/byte_order.h"
#include "base/path.h"

namespace tonvane {
namespace {

TEST(AsciiText, FoldsTheAsciiLettersOnly) {
  EXPECT_TRUE(EqualsIgnoringAsciiCase("Play.WAV", "play.wav"));
  EXPECT_FALSE(EqualsIgnoringAsciiCase("play.wav", "play.wa"));
  // "@" and "`" sit next to the letters; bytes above 127 belong to a code page.
  EXPECT_FALSE(EqualsIgnoringAsciiCase("@", "`"));
  EXPECT_FALSE(EqualsIgnoringAsciiCase("[", "{"));
  EXPECT_FALSE(EqualsIgnoringAsciiCase("\xC9", "\xE9"));
  EXPECT_EQ(ToUpperAscii('z'), 'Z');
  EXPECT_EQ(ToUpperAscii('\xE9'), '\xE9');
}

TEST(AsciiText, ExtensionIsBehindTheLastDotOfTheName) {
  EXPECT_EQ(FileExtension("C:\\Shows\\cue.1.Mp3"), ".Mp3");
  EXPECT_EQ(FileExtension("/shows/.wav"), ".wav");
  EXPECT_EQ(FileExtension("cue"), "");
  // A dot in a folder's or a drive's part is not the name's.
  EXPECT_EQ(FileExtension("C:\\show.d\\cue"), "");
  EXPECT_EQ(FileExtension("shows.d/cue"), "");
  EXPECT_EQ(FileExtension("a.b:cue"), "");
  EXPECT_TRUE(HasExtension("CUE.WAV", ".wav"));
  EXPECT_FALSE(HasExtension("cue.wav.bak", ".wav"));
  EXPECT_FALSE(HasExtension("cuewav", ".wav"));
  EXPECT_FALSE(HasExtension("cue.wave", ".wav"));
}

TEST(Path, JoinsWithExactlyOneDelimiterAndSplitsAtTheLastOne) {
  EXPECT_EQ(JoinPath("C:\\Plugins", "Tonvane.ini"), "C:\\Plugins\\Tonvane.ini");
  EXPECT_EQ(JoinPath("C:\\Plugins\\", "Tonvane.ini"), "C:\\Plugins\\Tonvane.ini");
  EXPECT_EQ(JoinPath("/tmp/x/", "Tonvane.ini"), "/tmp/x/Tonvane.ini");
  EXPECT_EQ(JoinPath("", "Tonvane.ini"), "Tonvane.ini");
  EXPECT_EQ(DirectoryOf("C:\\Trovex\\Plugins\\Tonvane.dll"), "C:\\Trovex\\Plugins\\");
  EXPECT_EQ(DirectoryOf("C:Tonvane.dll"), "C:");
  EXPECT_EQ(DirectoryOf("Tonvane.dll"), "");
}

TEST(ByteOrder, ReadsEveryByteUnsigned) {
  const std::uint8_t b[4] = {0x81, 0xFF, 0x7F, 0x80};
  EXPECT_EQ(LoadLe16(b), 0xFF81u);
  EXPECT_EQ(LoadLe32(b), 0x807FFF81u);
  EXPECT_EQ(LoadBe24(b), 0x81FF7Fu);
  EXPECT_EQ(LoadBe32(b), 0x81FF7F80u);
}

TEST(ByteOrder, WritesLowByteFirstAndOnlyTheBytesNamed) {
  std::uint8_t b[6] = {0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA};
  StoreLe32(b + 1, 0x807FFF81u);
  EXPECT_EQ(LoadLe32(b + 1), 0x807FFF81u);
  EXPECT_EQ(b[1], 0x81);
  EXPECT_EQ(b[4], 0x80);
  StoreLe16(b + 1, 0x0102);
  EXPECT_EQ(LoadLe32(b + 1), 0x807F0102u);
  EXPECT_EQ(b[0], 0xAA);
  EXPECT_EQ(b[5], 0xAA);
}

TEST(ByteOrder, SynchsafeTakesSevenBitsPerByteAndKeepsStrayHighBits) {
  const std::uint8_t size[4] = {0x00, 0x00, 0x02, 0x01};
  EXPECT_EQ(LoadSynchsafe32(size), 0x101u);
  const std::uint8_t most[4] = {0x7F, 0x7F, 0x7F, 0x7F};
  EXPECT_EQ(LoadSynchsafe32(most), 0x0FFFFFFFu);
  // High bits are not masked away: a malformed size stays large, not plausible.
  const std::uint8_t malformed[4] = {0xFF, 0xFF, 0xFF, 0xFF};
  EXPECT_EQ(LoadSynchsafe32(malformed), 255u * (1u << 21) + 255u * (1u << 14) + 255u * (1u << 7) + 255u);
}

}  // namespace
}  // namespace tonvane
