#include "commands/command_language.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "base/exception.h"
#include "scratch_dir.h"

namespace tonvane {
namespace {

using Tokens = std::vector<std::string>;

TEST(Tokenize, SeparatorsQuotesAndDoubledQuotes) {
  EXPECT_EQ(Tokenize(""), Tokens{});
  EXPECT_EQ(Tokenize(" \t\r\n\x01 "), Tokens{});
  EXPECT_EQ(Tokenize("  Play\t2  x.wav -6 "), (Tokens{"Play", "2", "x.wav", "-6"}));
  EXPECT_EQ(Tokenize("Play 1 \"C:\\My Sounds\\a b.wav\" -6"),
            (Tokens{"Play", "1", "C:\\My Sounds\\a b.wav", "-6"}));
  EXPECT_EQ(Tokenize("\"say \"\"hi\"\"\""), Tokens{"say \"hi\""});
  EXPECT_EQ(Tokenize("\"\" x"), (Tokens{"", "x"}));
  // A quote inside an unquoted token is an ordinary character.
  EXPECT_EQ(Tokenize("ab\"c d"), (Tokens{"ab\"c", "d"}));
  // Reading resumes right after the closing quote.
  EXPECT_EQ(Tokenize("\"a\"b c"), (Tokens{"a", "b", "c"}));
  // An unclosed quote takes the rest of the line, separators and all.
  EXPECT_EQ(Tokenize("Play 1 \"x y  "), (Tokens{"Play", "1", "x y  "}));
  // Bytes above 127 are not separators.
  EXPECT_EQ(Tokenize("caf\xE9 \xA0x"), (Tokens{"caf\xE9", "\xA0x"}));
  // The line ends at its zero.
  EXPECT_EQ(Tokenize(std::string_view("Stop 1\0 2", 9)), (Tokens{"Stop", "1"}));
}

TEST(CommandHelp, IsTheSixLineTextOf168Characters) {
  EXPECT_EQ(kCommandHelp.size(), 168u);
  EXPECT_EQ(kCommandHelp.substr(0, 36), "Play <channel> <filename> [<level>]\r");
  EXPECT_NE(kCommandHelp.find("<level>\r\rFilenames must be in double quotes if they contains spaces\r"),
            std::string_view::npos);
  EXPECT_EQ(kCommandHelp.back(), ')');
  EXPECT_EQ(kCommandHelp.find('\n'), std::string_view::npos);
}

// Records what the interpreter asks of the channels.
class FakeChannels : public IChannelControl {
 public:
  bool driverOpen = true;
  int channels = 4;
  bool playResult = true;
  bool typeWritten = true;
  std::string unshown;  // a failed Play's reason with the boxes off
  bool levelThrows = false;
  std::vector<std::string> calls;

  bool DriverOpen() const override { return driverOpen; }
  int ChannelCount() const override { return channels; }
  bool SampleTypeWritten() const override { return typeWritten; }
  bool PlayFile(int index, const std::string& fileName, std::optional<std::int32_t> level,
                std::string& reason) override {
    calls.push_back("play " + std::to_string(index) + " " + fileName +
                    (level ? " at " + std::to_string(*level) : std::string()));
    if (!playResult) reason = unshown;
    return playResult;
  }
  void StopChannel(int index) override { calls.push_back("stop " + std::to_string(index)); }
  void SetChannelLevel(int index, std::int32_t level) override {
    if (levelThrows) throw Exception("strip gone");
    calls.push_back("level " + std::to_string(index) + " " + std::to_string(level));
  }
};

class CommandTest : public testing::ScratchDirTest {
 protected:
  void SetUp() override {
    ScratchDirTest::SetUp();
    std::filesystem::create_directories(dir_ / "a folder");
    file_ = (dir_ / "a folder" / "my sound.wav").string();
    std::ofstream(file_) << "x";
  }

  std::string Run(const std::string& line) { return ExecuteCommandLine(target_, line); }

  FakeChannels target_;
  std::string file_;
};

TEST_F(CommandTest, KeywordIsCaseInsensitiveAndMayBeQuoted) {
  EXPECT_EQ(Run("stop 1"), "OK");
  EXPECT_EQ(Run("sToP 2"), "OK");
  EXPECT_EQ(Run("\"STOP\" 3"), "OK");
  EXPECT_EQ(target_.calls, (std::vector<std::string>{"stop 0", "stop 1", "stop 2"}));
  EXPECT_EQ(Run("Stopp 1"), "ERR: Unknown command");
  EXPECT_EQ(Run("   "), "ERR: No command specified");
  EXPECT_EQ(Run("\t\r\n"), "ERR: No command specified");
}

TEST_F(CommandTest, ChannelNumbersAreCheckedAgainstTheChannelCount) {
  for (const char* bad : {"0", "5", "-1", "x", "1.5", "", "0x1", "99999999999", " 1"}) {
    EXPECT_EQ(Run(std::string("Stop \"") + bad + "\""), "ERR: Invalid channel number") << bad;
    EXPECT_EQ(Run(std::string("Level \"") + bad + "\" -3"), "ERR: Invalid channel number") << bad;
  }
  EXPECT_TRUE(target_.calls.empty());
  EXPECT_EQ(Run("Stop 4 and more words"), "OK");
  EXPECT_EQ(Run("Stop +1"), "OK");
  EXPECT_EQ(target_.calls, (std::vector<std::string>{"stop 3", "stop 0"}));
  target_.channels = 0;
  EXPECT_EQ(Run("Stop 1"), "ERR: Invalid channel number");
}

TEST_F(CommandTest, LevelAcceptsZeroAndBelowWithoutALowerBound) {
  EXPECT_EQ(Run("Level 2 0"), "OK");
  EXPECT_EQ(Run("Level 2 -0"), "OK");
  EXPECT_EQ(Run("Level 2 -80"), "OK");
  EXPECT_EQ(Run("Level 2 -2147483648"), "OK");
  EXPECT_EQ(target_.calls,
            (std::vector<std::string>{"level 1 0", "level 1 0", "level 1 -80", "level 1 -2147483648"}));
  target_.calls.clear();
  for (const char* bad : {"1", "+1", "abc", "-6dB", "--6", "-2147483649"})
    EXPECT_EQ(Run(std::string("Level 2 ") + bad), "ERR: Invalid level") << bad;
  EXPECT_TRUE(target_.calls.empty());
  // A valid level the channels fail to take is their failure, not an invalid level.
  target_.levelThrows = true;
  EXPECT_EQ(Run("Level 2 -6"), "ERR: strip gone");
}

TEST_F(CommandTest, TooFewTokens) {
  EXPECT_EQ(Run("Stop"), "ERR: Invalid Stop command");
  EXPECT_EQ(Run("Level 1"), "ERR: Invalid Level command");
  EXPECT_EQ(Run("Play 1"), "ERR: Invalid Play command");
  target_.driverOpen = false;
  // Play tests for the device before counting its tokens; Stop and Level never do.
  EXPECT_EQ(Run("Play"), "ERR: No ASIO device open");
  EXPECT_EQ(Run("Stop 1"), "OK");
  EXPECT_EQ(Run("Level 1 -3"), "OK");
}

TEST_F(CommandTest, PlayChecksInOrderThenPlaysWithTheLevel) {
  EXPECT_EQ(Run("Play 9 \"" + file_ + "\""), "ERR: Invalid channel number");
  EXPECT_EQ(Run("Play 1 \"" + file_ + ".missing\" -6"), "ERR: File does not exist");
  EXPECT_EQ(Run("Play 1 \"" + (dir_ / "a folder").string() + "\""), "ERR: File does not exist");
  EXPECT_TRUE(target_.calls.empty()) << "a missing file leaves the channel alone";

  // The level travels with the file: no moment plays the file at the channel's old level.
  EXPECT_EQ(Run("PLAY 2 \"" + file_ + "\" -6 extra"), "OK");
  EXPECT_EQ(Run("Play 2 \"" + file_ + "\" -0"), "OK");
  EXPECT_EQ(Run("Play 2 \"" + file_ + "\""), "OK");
  EXPECT_EQ(target_.calls, (std::vector<std::string>{"play 1 " + file_ + " at -6",
                                                     "play 1 " + file_ + " at 0", "play 1 " + file_}));

  // A bad level: the sound plays on at the channel's previous level.
  for (const char* bad : {"loud", "3", "-6dB"}) {
    target_.calls.clear();
    EXPECT_EQ(Run("Play 3 \"" + file_ + "\" " + bad), "ERR: Invalid level");
    EXPECT_EQ(target_.calls, std::vector<std::string>{"play 2 " + file_}) << bad;
  }

  target_.calls.clear();
  target_.playResult = false;
  EXPECT_EQ(Run("Play 1 \"" + file_ + "\" -6"), "ERR: Error playing ASIO sound");
  EXPECT_EQ(target_.calls, std::vector<std::string>{"play 0 " + file_ + " at -6"});
  target_.calls.clear();
  EXPECT_EQ(Run("Play 1 \"" + file_ + "\" loud"), "ERR: Error playing ASIO sound") << "the play fails first";

  // With the boxes off the answer carries the reason and the file.
  target_.unshown = "Sound must be mono: " + file_;
  EXPECT_EQ(Run("Play 1 \"" + file_ + "\""), "ERR: Error playing ASIO sound: Sound must be mono: " + file_);

  // A device whose sample type the engine cannot write: no Play is tried.
  target_.calls.clear();
  target_.typeWritten = false;
  EXPECT_EQ(Run("Play 1 \"" + file_ + "\""), "ERR: Required sample type not supported");
  EXPECT_EQ(Run("Play 1 \"" + file_ + "x\""), "ERR: File does not exist") << "the file is checked first";
  EXPECT_TRUE(target_.calls.empty());
}

TEST_F(CommandTest, RelativeFileNamesResolveAgainstTheCurrentDirectory) {
  const auto previous = std::filesystem::current_path();
  std::filesystem::current_path(dir_);
  EXPECT_EQ(Run("Play 1 \"a folder/my sound.wav\""), "OK");
  EXPECT_EQ(Run("Play 1 \"my sound.wav\""), "ERR: File does not exist");
  std::filesystem::current_path(previous);
}

// With the boxes on, the longest answer is the refusal of a device whose samples
// cannot be written; with them off, a failed Play's answer grows with its file name.
TEST_F(CommandTest, LongestAnswerFitsTheDocumentedRoom) {
  target_.playResult = false;
  EXPECT_EQ(Run("Play 1 \"" + file_ + "\"").size() + 1, 30u);
  target_.typeWritten = false;
  const std::string answer = Run("Play 1 \"" + file_ + "\"");
  EXPECT_EQ(answer, "ERR: Required sample type not supported");
  EXPECT_EQ(answer.size() + 1, 40u);
  // A file name as long as Windows allows, and the reason before it: cut.
  target_.typeWritten = true;
  target_.unshown = "Sound must be mono: " + std::string(259, 'x');
  const std::string cut = Run("Play 1 \"" + file_ + "\"");
  EXPECT_EQ(cut.size(), kMaxAnswerLength);
  EXPECT_EQ(cut.rfind("ERR: Error playing ASIO sound: Sound must be mono: xxx", 0), 0u);
}

}  // namespace
}  // namespace tonvane
