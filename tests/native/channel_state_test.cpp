// The host thread's channel operations: stopping, opening for play, levels and what a
// view sees of each channel.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "playback/channel_state.h"
#include "playback/sample_types.h"
#include "commands/channel_operations.h"
#include "commands/command_language.h"
#include "engine_support.h"

namespace tonvane {
namespace {

using testing::Play;
using testing::TestDevice;
using testing::WaveDir;

// A device over real channels whose driver switches buffers at every step it can:
// while its rate is asked, before and after every operation the command language
// calls (through SwitchingTarget).
class SwitchingDevice final : public IDeviceView {
 public:
  explicit SwitchingDevice(TestDevice& device) : device_(device) {}
  bool IsOpen() const override { return open; }
  std::int32_t SampleType() const override { return sampleType; }
  double SampleRate() const override {
    ++rateAsked;
    // The rate is asked once the file is open: the Play's own reading took this long.
    testing::TestClock::Now += readingMicros;
    const_cast<SwitchingDevice*>(this)->Switch();
    return rate;
  }
  std::span<TChannelState> Channels() override { return device_.Channels(); }
  std::size_t ChannelCount() const override { return device_.device.Channels.size(); }
  // Channel 0's Playing at each call.
  void FeedNow() override { fedNow.push_back(device_.device.Channels[0].Playing()); }
  TStartCue& Cue() override { return device_.device.Cue; }
  int LastHalf() const { return half_ ^ 1; }
  // One buffer switch; what channel 0 played goes to heard.
  void Switch() {
    FillBuffers(device_.device, half_);
    const auto samples = device_.Samples(0, half_);
    heard.insert(heard.end(), samples.begin(), samples.end());
    half_ ^= 1;
  }

  bool open = true;
  double rate = 48000;
  std::int32_t sampleType = ASIOSTInt16LSB;
  mutable int rateAsked = 0;
  std::int64_t readingMicros = 0;
  std::vector<std::int16_t> heard;
  std::vector<int> fedNow;

 private:
  TestDevice& device_;
  int half_ = 0;
};

class SwitchingTarget final : public IChannelControl {
 public:
  SwitchingTarget(TChannelOperations& ops, SwitchingDevice& device) : ops_(ops), device_(device) {}
  bool DriverOpen() const override { return ops_.DriverOpen(); }
  int ChannelCount() const override { return ops_.ChannelCount(); }
  bool SampleTypeWritten() const override { return ops_.SampleTypeWritten(); }
  bool PlayFile(int index, const std::string& fileName, std::optional<std::int32_t> level,
                std::string& unshown) override {
    device_.Switch();
    const bool played = ops_.PlayFile(index, fileName, level, unshown);
    device_.Switch();
    return played;
  }
  void StopChannel(int index) override {
    device_.Switch();
    ops_.StopChannel(index);
    device_.Switch();
  }
  void SetChannelLevel(int index, std::int32_t level) override {
    ++levelsSet;
    device_.Switch();
    ops_.SetChannelLevel(index, level);
    device_.Switch();
  }

  int levelsSet = 0;

 private:
  TChannelOperations& ops_;
  SwitchingDevice& device_;
};

class ChannelOpsTest : public ::testing::Test {
 protected:
  std::span<TChannelState> channels() { return device_.Channels(); }
  bool StreamOpen(std::int32_t index) {
    std::uint8_t probe[2];
    return channels()[static_cast<std::size_t>(index)].Stream().Read(probe, 2) > 0;
  }

  WaveDir dir_{"channels"};
  TestDevice device_{3, 64, ASIOSTInt16LSB};
  SwitchingDevice switching_{device_};
  // The reasons reported, and where: "<channel> <file>".
  std::vector<std::string> shown_, shownFor_;
  bool boxes_ = true;
  std::string unshown_;
  TChannelOperations ops_{switching_, [this](int index, const std::string& file, const std::string& text) {
                            shown_.push_back(text);
                            shownFor_.push_back(std::to_string(index) + " " + file);
                            return boxes_;
                          }};
  SwitchingTarget target_{ops_, switching_};
};

TEST_F(ChannelOpsTest, StopClearsPlayingClosesTheStreamAndEmptiesTheRing) {
  // Longer than the ring, so that the stream is still open with samples read ahead.
  const std::size_t length = 2 * channels()[1].Ring().Capacity();
  ASSERT_TRUE(Play(channels(), 1, dir_.Wave("a.wav", std::vector<std::int16_t>(length, 7))));
  EXPECT_EQ(channels()[1].Playing(), 1);
  device_.Feed();
  EXPECT_EQ(channels()[1].Ring().Space(), 0u);
  ResetChannel(channels(), 1);
  EXPECT_EQ(channels()[1].Playing(), 0);
  EXPECT_FALSE(StreamOpen(1));
  EXPECT_EQ(channels()[1].Ring().Available(), 0u);
  device_.Feed();
  EXPECT_EQ(channels()[1].Ring().Available(), 0u) << "nothing more is read for a stopped channel";
  ResetChannel(channels(), 1);  // stopping a stopped channel is harmless
  EXPECT_EQ(channels()[1].Playing(), 0);
}

TEST_F(ChannelOpsTest, OpeningStopsFirstAndAFailedOpenLeavesTheChannelStoppedAndClosed) {
  ASSERT_TRUE(Play(channels(), 0, dir_.Wave("a.wav", std::vector<std::int16_t>(100, 7))));
  WAVEFORMATEX format{};
  EXPECT_FALSE(OpenChannelStream(channels(), 0, dir_.Path("missing.wav"), format));
  EXPECT_EQ(channels()[0].Playing(), 0);
  EXPECT_FALSE(StreamOpen(0));

  // Opened but refused by the caller's checks: stays stopped until started.
  ASSERT_TRUE(OpenChannelStream(channels(), 0, dir_.Wave("b.wav", {1, 2, 3}), format));
  EXPECT_EQ(format.nSamplesPerSec, 48000u);
  EXPECT_EQ(channels()[0].Playing(), 0);
  CloseChannelStream(channels(), 0);
  EXPECT_FALSE(StreamOpen(0));

  // A new file on a playing channel starts from its own beginning.
  ASSERT_TRUE(Play(channels(), 0, dir_.Wave("c.wav", {5, 6, 7, 8})));
  ASSERT_TRUE(Play(channels(), 0, dir_.Wave("d.wav", {9, 10, 11})));
  FillBuffers(device_.device, 0);
  EXPECT_EQ(device_.Samples(0, 0)[0], 9);
  EXPECT_EQ(channels()[0].BytesPlayed(), 6u);
}

// The Play itself puts the first samples in the ring, so the first switch after it
// has sound even when no feeder has run yet: a WAV and an MP3 file longer than that.
TEST_F(ChannelOpsTest, APlayedFileSoundsFromTheFirstSwitch) {
  const std::size_t prefill = channels()[0].PrefillFor(48000);
  ASSERT_GE(prefill, 2u * 64);
  std::vector<std::int16_t> wave(4 * prefill);
  for (std::size_t i = 0; i < wave.size(); ++i) wave[i] = static_cast<std::int16_t>(1 + i % 1000);
  const std::string files[] = {dir_.Wave("long.wav", wave),
                               std::string(MP3_TEST_DATA) + "/mono48k-cbr128.mp3"};
  for (const std::string& file : files) {
    SCOPED_TRACE(file);
    std::vector<std::int16_t> first(64);
    {
      TAudioStream stream;
      WAVEFORMATEX format{};
      ASSERT_TRUE(stream.Open(file, format));
      ASSERT_EQ(stream.Read(first.data(), 128), 128);
    }
    switching_.fedNow.clear();
    ASSERT_TRUE(ops_.PlayFile(0, file, std::nullopt, unshown_));
    EXPECT_EQ(channels()[0].Ring().Available(), prefill);
    EXPECT_EQ(switching_.fedNow, std::vector<int>{TChannelState::kWaiting})
        << "the feeder is woken once the channel waits for its cue";
    switching_.heard.clear();
    switching_.Switch();
    EXPECT_EQ(switching_.heard, first);
  }
}

// Plays sent together start together, however the driver's switches fall between
// the steps of each Play: the clock stands still while a cue's Plays come, so no
// switch starts any of them; a Stop cancels a waiting channel, a new Play replaces
// its file in the group, a Level applies, a refused file does not hold the group up,
// and the strips show the waiting channels as playing. Once the host has been quiet
// for the gap, one switch starts them all from the first sample of its half. Plays
// that never pause start once the first of them is the bound old; closing the device
// drops a waiting group.
TEST_F(ChannelOpsTest, PlaysSentTogetherStartOnTheSameSwitch) {
  using testing::TestClock;
  const std::int64_t step = TestClock::Step.exchange(0);
  struct RestoreClock {
    std::int64_t step;
    ~RestoreClock() { TestClock::Step = step; }
  } restore{step};
  std::vector<std::vector<std::int16_t>> files;
  for (std::int16_t c = 0; c < 4; ++c)
    files.push_back(std::vector<std::int16_t>(256, static_cast<std::int16_t>(1000 * (c + 1))));
  auto file = [&](int n) {
    return dir_.Wave("cue" + std::to_string(n) + ".wav", files[static_cast<std::size_t>(n)]);
  };
  // Which channels had sound in the last switch.
  auto sounding = [&] {
    std::vector<int> on;
    for (std::size_t c = 0; c < channels().size(); ++c) {
      const auto half = device_.Samples(c, switching_.LastHalf());
      if (std::any_of(half.begin(), half.end(), [](std::int16_t s) { return s != 0; }))
        on.push_back(static_cast<int>(c));
    }
    return on;
  };
  ASSERT_TRUE(target_.PlayFile(0, file(0), std::nullopt, unshown_));
  ASSERT_TRUE(target_.PlayFile(1, file(1), std::nullopt, unshown_));
  ASSERT_TRUE(target_.PlayFile(2, file(2), std::nullopt, unshown_));
  target_.StopChannel(2);
  EXPECT_FALSE(target_.PlayFile(2, dir_.Path("missing.wav"), std::nullopt, unshown_));
  ASSERT_TRUE(target_.PlayFile(0, file(3), -6, unshown_));
  target_.SetChannelLevel(1, -20);
  EXPECT_EQ(sounding(), std::vector<int>{}) << "nothing starts while the cue comes";
  EXPECT_TRUE(Snapshot(channels()[0]).Playing);
  EXPECT_EQ(Snapshot(channels()[0]).Percent, 0);
  EXPECT_FALSE(Snapshot(channels()[2]).Playing);
  TestClock::Now += TStartCue::kQuietMicros;
  switching_.Switch();
  EXPECT_EQ(sounding(), (std::vector<int>{0, 1}));
  EXPECT_EQ(device_.Samples(0, switching_.LastHalf()), std::vector<std::int16_t>(64, 2004))
      << "4000 at -6 dB";
  EXPECT_EQ(device_.Samples(1, switching_.LastHalf()), std::vector<std::int16_t>(64, 200));

  // Plays that never pause long enough: the group starts once its first Play is the
  // bound old, and the next Play waits for the next group.
  for (std::size_t c = 0; c < 3; ++c) ops_.StopChannel(static_cast<int>(c));
  ASSERT_TRUE(target_.PlayFile(0, file(0), std::nullopt, unshown_));
  for (std::int64_t waited = 0; waited + TStartCue::kQuietMicros / 2 < TStartCue::kBoundMicros;
       waited += TStartCue::kQuietMicros / 2) {
    TestClock::Now += TStartCue::kQuietMicros / 2;
    ASSERT_TRUE(ops_.PlayFile(1, file(1), std::nullopt, unshown_));
    switching_.Switch();
    ASSERT_EQ(sounding(), std::vector<int>{}) << waited;
  }
  TestClock::Now += TStartCue::kQuietMicros / 2;
  switching_.Switch();
  EXPECT_EQ(sounding(), (std::vector<int>{0, 1}));
  ASSERT_TRUE(ops_.PlayFile(2, file(2), std::nullopt, unshown_));
  switching_.Switch();
  EXPECT_EQ(sounding(), (std::vector<int>{0, 1}));

  // Plays from slow storage, each reading for 10 ms, 16 in a row without a pause: a
  // Play's own reading does not count against the bound, so the cue does not split.
  for (std::size_t c = 0; c < 3; ++c) ops_.StopChannel(static_cast<int>(c));
  TestClock::Now += TStartCue::kBoundMicros;
  switching_.readingMicros = 10000;
  for (int play = 0; play < 16; ++play) {
    ASSERT_TRUE(target_.PlayFile(play % 3, file(play % 3), std::nullopt, unshown_));
    ASSERT_EQ(sounding(), std::vector<int>{}) << "play " << play;
  }
  switching_.readingMicros = 0;
  TestClock::Now += TStartCue::kQuietMicros;
  switching_.Switch();
  EXPECT_EQ(sounding(), (std::vector<int>{0, 1, 2}));

  // Closing the device stops every channel and drops the group.
  for (std::size_t c = 0; c < 3; ++c) ops_.StopChannel(static_cast<int>(c));
  device_.device.Cue.Reset();
  TestClock::Now += TStartCue::kBoundMicros;
  switching_.Switch();
  EXPECT_EQ(sounding(), std::vector<int>{});
  ASSERT_TRUE(ops_.PlayFile(1, file(1), std::nullopt, unshown_));
  TestClock::Now += TStartCue::kQuietMicros;
  switching_.Switch();
  EXPECT_EQ(sounding(), std::vector<int>{1}) << "a later Play starts as usual";

  // Group numbers wrap in their own width: the last number is before the first.
  constexpr std::uint32_t kLast = (1u << 29) - 1;
  EXPECT_TRUE(TStartCue::Started(kLast, 0));
  EXPECT_FALSE(TStartCue::Started(0, kLast));
  EXPECT_TRUE(TStartCue::Started(kLast - 1, kLast));
  EXPECT_FALSE(TStartCue::Started(kLast, kLast));
}

TEST_F(ChannelOpsTest, SetChannelLevelStoresAnyLevelOnlyForAChannelThatExists) {
  SetChannelLevel(channels(), -1, -10);
  SetChannelLevel(channels(), 3, -10);
  for (std::size_t c = 0; c < 3; ++c) {
    EXPECT_EQ(channels()[c].Level(), 0);
    EXPECT_EQ(Snapshot(channels()[c]).Level, 0);
  }
  SetChannelLevel(channels(), 2, -80);
  EXPECT_EQ(channels()[2].Level(), -80);
  EXPECT_EQ(Snapshot(channels()[2]).Level, -80);
  SetChannelLevel(channels(), 0, 0);
  EXPECT_EQ(Snapshot(channels()[0]).Level, 0);
}

TEST_F(ChannelOpsTest, APlayWithALevelPlaysEverySampleAtThatLevel) {
  // At -20 dB 999 becomes 99; at the channel's earlier 0 dB it would stay 999.
  const std::string file = dir_.Wave("cue.wav", std::vector<std::int16_t>(64 * 100, 999));
  for (int round = 0; round < 3; ++round) {
    ASSERT_EQ(ExecuteCommandLine(target_, "Stop 1"), "OK");
    target_.levelsSet = 0;
    ASSERT_EQ(ExecuteCommandLine(target_, "Level 1 0"), "OK");
    EXPECT_EQ(target_.levelsSet, 1) << "a Level command sets the level once";
    switching_.heard.clear();
    ASSERT_EQ(ExecuteCommandLine(target_, "Play 1 \"" + file + "\" -20"), "OK");
    switching_.Switch();
    EXPECT_EQ(std::count(switching_.heard.begin(), switching_.heard.end(), 999), 0) << "round " << round;
    EXPECT_GE(std::count(switching_.heard.begin(), switching_.heard.end(), 99), 2 * 64) << "round " << round;
    EXPECT_EQ(std::count(switching_.heard.begin(), switching_.heard.end(), 0) +
                  std::count(switching_.heard.begin(), switching_.heard.end(), 99),
              static_cast<std::ptrdiff_t>(switching_.heard.size()));
    EXPECT_EQ(Snapshot(channels()[0]).Level, -20);
    EXPECT_EQ(channels()[0].Level(), -20);
  }

  // A bad level: the file plays, at the level the channel had (999 at -6 dB is 500).
  ASSERT_EQ(ExecuteCommandLine(target_, "Level 1 -6"), "OK");
  switching_.heard.clear();
  EXPECT_EQ(ExecuteCommandLine(target_, "Play 1 \"" + file + "\" loud"), "ERR: Invalid level");
  switching_.Switch();
  EXPECT_EQ(channels()[0].Playing(), 1);
  EXPECT_GE(std::count(switching_.heard.begin(), switching_.heard.end(), 500), 64);
  EXPECT_EQ(std::count(switching_.heard.begin(), switching_.heard.end(), 0) +
                std::count(switching_.heard.begin(), switching_.heard.end(), 500),
            static_cast<std::ptrdiff_t>(switching_.heard.size()));

  // A file refused: the level stays as it was and the channel stopped.
  EXPECT_EQ(ExecuteCommandLine(target_, "Play 1 \"" + dir_.Wave("x.mp2", {1, 2}) + "\" -30"),
            "ERR: Error playing ASIO sound");
  EXPECT_EQ(channels()[0].Level(), -6);
  EXPECT_EQ(channels()[0].Playing(), 0);
}

TEST_F(ChannelOpsTest, AFailedPlayShowsItsFirstFaultOnceAndLeavesTheChannelStoppedAndClosed) {
  struct Case {
    std::string file;
    const char* message;  // nullptr: it plays
    int rateAsked;
  };
  const auto samples = std::vector<std::int16_t>(64, 5);
  auto wave = [&](const std::string& name, std::uint16_t channels, std::uint16_t bits, std::uint32_t rate) {
    const std::string path = dir_.Path(name);
    testing::WriteBytes(
        path, WavFile({.Channels = channels, .Rate = rate, .Bits = bits}, testing::Samples16(samples)));
    return path;
  };
  const Case cases[] = {
      {dir_.Path("missing.wav"), "File has unknown format", 0},
      {dir_.Wave("x.mp2", {1, 2}), "File has unknown format", 0},
      {wave("stereo.wav", 2, 16, 48000), "Sound must be mono", 1},
      {wave("eight.wav", 1, 8, 48000), "Sound must have 16 bits/sample", 1},
      {wave("44k.wav", 1, 16, 44100), "Sample rate 44100 different to device setting 48000", 1},
      {dir_.Wave("good.wav", samples), nullptr, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    ASSERT_TRUE(Play(channels(), 0, dir_.Wave("before.wav", samples)));
    SetChannelLevel(channels(), 0, -7);
    shown_.clear();
    switching_.rateAsked = 0;
    std::string unshown;
    EXPECT_EQ(ops_.PlayFile(0, c.file, -20, unshown), c.message == nullptr);
    EXPECT_EQ(unshown, "") << "shown in the box";
    EXPECT_EQ(switching_.rateAsked, c.rateAsked) << "the rate is asked once the file is open";
    if (c.message) {
      EXPECT_EQ(shown_, std::vector<std::string>{c.message});
      EXPECT_EQ(channels()[0].Playing(), 0);
      EXPECT_FALSE(StreamOpen(0));
      EXPECT_EQ(channels()[0].Level(), -7) << "a refused file keeps the level";
    } else {
      EXPECT_TRUE(shown_.empty());
      EXPECT_EQ(channels()[0].Playing(), TChannelState::kWaiting);
      EXPECT_EQ(channels()[0].Level(), -20);
    }
  }
  // A driver rate that is not whole is taken as the nearest whole rate.
  switching_.rate = 47999.6;
  std::string unshown;
  EXPECT_TRUE(ops_.PlayFile(1, dir_.Wave("good.wav", samples), std::nullopt, unshown));

  // With the boxes off the reason comes back with the file, for the command's answer,
  // and the window is told the channel; the channel is left as a box leaves it.
  boxes_ = false;
  shown_.clear();
  shownFor_.clear();
  const std::string stereo = wave("stereo.wav", 2, 16, 48000);
  EXPECT_FALSE(ops_.PlayFile(1, stereo, -3, unshown));
  EXPECT_EQ(unshown, "Sound must be mono: " + stereo);
  EXPECT_EQ(shown_, std::vector<std::string>{"Sound must be mono"});
  EXPECT_EQ(shownFor_, std::vector<std::string>{"1 " + stereo});
  EXPECT_EQ(channels()[1].Playing(), 0);
  EXPECT_FALSE(StreamOpen(1));
  EXPECT_EQ(ExecuteCommandLine(target_, "Play 2 \"" + stereo + "\""),
            "ERR: Error playing ASIO sound: Sound must be mono: " + stereo);
  boxes_ = true;

  // A device whose type the engine cannot write plays nothing: the strip's Play says
  // so in its box, a command in its answer without one.
  switching_.sampleType = ASIOSTFloat32LSB;
  shown_.clear();
  EXPECT_FALSE(ops_.PlayFile(1, dir_.Wave("good.wav", samples), std::nullopt, unshown));
  EXPECT_EQ(shown_, std::vector<std::string>{"Required sample type not supported"});
  EXPECT_EQ(channels()[1].Playing(), 0);
  shown_.clear();
  EXPECT_EQ(ExecuteCommandLine(target_, "Play 2 \"" + dir_.Wave("good.wav", samples) + "\""),
            "ERR: Required sample type not supported");
  EXPECT_TRUE(shown_.empty());
  switching_.sampleType = ASIOSTInt16LSB;

  // Without an open driver nothing is opened and the channel stops.
  switching_.open = false;
  shown_.clear();
  EXPECT_FALSE(ops_.PlayFile(1, dir_.Wave("good.wav", samples), std::nullopt, unshown));
  EXPECT_EQ(shown_, std::vector<std::string>{"No ASIO device open"});
  EXPECT_EQ(channels()[1].Playing(), 0);
}

TEST_F(ChannelOpsTest, SnapshotShowsStateAndProgressOfEveryChannel) {
  ASSERT_TRUE(Play(channels(), 1, dir_.Wave("half.wav", std::vector<std::int16_t>(128, 3))));
  ASSERT_TRUE(Play(channels(), 2, dir_.Wave("short.wav", {1, 2})));
  FillBuffers(device_.device, 0);  // channel 1 halfway, channel 2 run out
  EXPECT_FALSE(Snapshot(channels()[0]).Playing);
  EXPECT_TRUE(Snapshot(channels()[1]).Playing);
  EXPECT_EQ(Snapshot(channels()[1]).Percent, 50);
  EXPECT_FALSE(Snapshot(channels()[2]).Playing);
  EXPECT_EQ(Snapshot(channels()[2]).Percent, 0) << "no progress shown for a stopped channel";
}

TEST(ProgressPercent, IsExactForAnyLengthAndZeroWithoutData) {
  EXPECT_EQ(ProgressPercent(0, 0), 0);
  EXPECT_EQ(ProgressPercent(123, 0), 0);
  EXPECT_EQ(ProgressPercent(50, 100), 50);
  EXPECT_EQ(ProgressPercent(99, 100), 99);
  // Bytes played times 100 far past 32 bits.
  EXPECT_EQ(ProgressPercent(4000000000u, 4294967295u), 93);
  EXPECT_EQ(ProgressPercent(2147483648u, 4294967295u), 50);
  EXPECT_EQ(ProgressPercent(4294967295u, 4294967295u), 100);
  // An MP3 estimate that fell short.
  EXPECT_EQ(ProgressPercent(300, 200), 150);
  EXPECT_EQ(ProgressPercent(4294967295u, 1), 2147483647);
}

}  // namespace
}  // namespace tonvane
