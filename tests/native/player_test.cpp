// The player alone, over a driver of the test's own: the open sequence and its
// faults, Plays, levels and stops through the command language, the close, and a
// reopen that keeps the channels.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <functional>
#include <thread>
#include <utility>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "base/exception.h"
#include "commands/channel_operations.h"
#include "commands/command_language.h"
#include "engine_support.h"
#include "playback/player.h"
#include "playback/sample_types.h"

namespace tonvane {
namespace {

using testing::TestClock;
using testing::WaveDir;

// A driver that logs every call, answers as it is told, and switches buffers only
// when the test says so, on the test's thread.
class TestDriver final : public IAsioDevice {
 public:
  std::vector<std::string> ListDrivers() override { return {"Test Driver"}; }
  bool Create(int index) override {
    log.push_back("create " + std::to_string(index));
    open_ = index == 0;
    return open_;
  }
  bool IsOpen() const override { return open_; }
  ASIOBool Init(void*) override {
    // Some drivers run a message loop in init: the host's commands come in meanwhile.
    if (OnInit) OnInit();
    return Answer("init") == ASE_OK ? 1 : 0;
  }
  ASIOError GetChannels(std::int32_t& inputs, std::int32_t& outputs) override {
    inputs = 0;
    outputs = Outputs;
    return Answer("getChannels");
  }
  ASIOError GetChannelInfo(ASIOChannelInfo& info) override {
    info.type = SampleType;
    return Answer("getChannelInfo");
  }
  ASIOError CanSampleRate(ASIOSampleRate rate) override {
    const bool offered = std::find(Rates.begin(), Rates.end(), rate) != Rates.end();
    return offered ? ASE_OK : ASE_NoClock;
  }
  ASIOError SetSampleRate(ASIOSampleRate rate) override {
    const ASIOError answer = Answer("setSampleRate " + std::to_string(static_cast<int>(rate)));
    if (answer == ASE_OK) rate_ = rate;
    return answer;
  }
  ASIOError GetSampleRate(ASIOSampleRate& rate) override {
    rate = rate_;
    return ASE_OK;
  }
  ASIOError GetBufferSize(std::int32_t& minSize, std::int32_t& maxSize, std::int32_t& preferred,
                          std::int32_t& granularity) override {
    minSize = maxSize = preferred = BufferSize;
    granularity = 0;
    return Answer("getBufferSize");
  }
  ASIOError CreateBuffers(ASIOBufferInfo* infos, std::int32_t count, std::int32_t bufferSize,
                          IBufferSwitch& target) override {
    const ASIOError answer =
        Answer("createBuffers " + std::to_string(count) + "x" + std::to_string(bufferSize));
    if (answer != ASE_OK) return answer;
    memory_.assign(static_cast<std::size_t>(2 * count), std::vector<std::int16_t>(bufferSize));
    for (std::int32_t c = 0; c < count; ++c) {
      infos[c].buffers[0] = memory_[static_cast<std::size_t>(2 * c)].data();
      infos[c].buffers[1] = memory_[static_cast<std::size_t>(2 * c + 1)].data();
    }
    target_ = &target;
    return answer;
  }
  ASIOError Start() override {
    running_ = true;
    return Answer("start");
  }
  ASIOError Stop() override {
    running_ = false;
    return Answer("stop");
  }
  ASIOError DisposeBuffers() override {
    memory_.clear();
    return Answer("disposeBuffers");
  }
  void Release() override {
    log.push_back("release");
    open_ = false;
  }
  void StopSwitching() override { switching_ = false; }
  void Unload() override { log.push_back("unload"); }
  void ShutDown(bool) override {}
  bool TakeResetRequest() override { return std::exchange(ResetRequested, false); }

  // One buffer switch, as the driver's thread makes it: what each output got.
  std::vector<std::vector<std::int16_t>> Switch() {
    switching_ = running_;
    if (!switching_ || !target_) return {};
    target_->BufferSwitch(half_);
    std::vector<std::vector<std::int16_t>> out;
    for (std::size_t c = 0; c * 2 < memory_.size(); ++c) out.push_back(memory_[2 * c + half_]);
    half_ ^= 1;
    return out;
  }

  std::int32_t Outputs = 2;
  std::int32_t SampleType = ASIOSTInt16LSB;
  std::int32_t BufferSize = 64;
  std::vector<double> Rates{44100, 48000};
  // The call whose name starts so answers this.
  std::map<std::string, ASIOError> Faults;
  std::vector<std::string> log;
  // The driver has asked for a reset (its asioMessage).
  bool ResetRequested = false;
  std::function<void()> OnInit;

 private:
  ASIOError Answer(const std::string& call) {
    log.push_back(call);
    for (const auto& [name, answer] : Faults)
      if (call.rfind(name, 0) == 0) return answer;
    return ASE_OK;
  }

  bool open_ = false;
  bool running_ = false;
  bool switching_ = false;
  double rate_ = 44100;
  int half_ = 0;
  IBufferSwitch* target_ = nullptr;
  std::vector<std::vector<std::int16_t>> memory_;
};

// Notes what an open showed, and picks the rate a window would have remembered.
class RecordingWatch final : public TOpenWatch {
 public:
  void SampleTypeRead(std::int32_t type) override { seen.push_back("type " + SampleTypeName(type)); }
  std::size_t PickRate(const std::vector<std::int32_t>& rates) override {
    seen.push_back("rates " + std::to_string(rates.size()));
    const auto at = std::find(rates.begin(), rates.end(), remembered);
    return at == rates.end() ? 0 : static_cast<std::size_t>(at - rates.begin());
  }
  void RateSet(std::int32_t rate) override { seen.push_back("rate " + std::to_string(rate)); }
  void ChannelsBuilt() override { seen.push_back("channels"); }

  std::int32_t remembered = 48000;
  std::vector<std::string> seen;
};

class PlayerTest : public ::testing::Test {
 protected:
  PlayerTest() {
    auto driver = std::make_unique<TestDriver>();
    driver_ = driver.get();
    player_ = std::make_unique<TPlayer>(std::move(driver));
    player_->Cue().Clock = TestClock::Read;
    ops_ = std::make_unique<TChannelOperations>(*player_,
                                                [this](int, const std::string&, const std::string& text) {
                                                  shown_.push_back(text);
                                                  return true;
                                                });
  }
  std::string Command(const std::string& line) { return ExecuteCommandLine(*ops_, line); }

  WaveDir dir_{"player"};
  TestDriver* driver_ = nullptr;
  std::unique_ptr<TPlayer> player_;
  std::unique_ptr<TChannelOperations> ops_;
  std::vector<std::string> shown_;
};

TEST_F(PlayerTest, OpensPlaysClosesAndReopensKeepingItsChannels) {
  RecordingWatch watch;
  player_->Open(0, nullptr, watch);
  EXPECT_EQ(driver_->log, (std::vector<std::string>{"create 0", "init", "getChannels", "getChannelInfo",
                                                    "setSampleRate 48000", "getBufferSize",
                                                    "createBuffers 2x64", "start"}));
  EXPECT_EQ(watch.seen, (std::vector<std::string>{"type Int16 LSB", "rates 2", "rate 48000", "channels"}));
  ASSERT_EQ(player_->ChannelCount(), 2u);
  EXPECT_EQ(player_->SampleRate(), 48000);

  const std::string file = dir_.Wave("tone.wav", std::vector<std::int16_t>(64 * 40, 1000));
  EXPECT_EQ(Command("Play 2 \"" + file + "\" -6"), "OK");
  EXPECT_EQ(Command("Level 1 -20"), "OK");
  EXPECT_TRUE(player_->Snapshot(1).Playing) << "waiting for its cue shows as playing";
  EXPECT_EQ(player_->Snapshot(1).Level, -6);
  EXPECT_EQ(player_->Snapshot(0).Level, -20);
  TestClock::Now += TStartCue::kQuietMicros;
  const auto heard = driver_->Switch();
  ASSERT_EQ(heard.size(), 2u);
  EXPECT_EQ(heard[1], std::vector<std::int16_t>(64, 501)) << "1000 at -6 dB, from the first sample";
  EXPECT_EQ(heard[0], std::vector<std::int16_t>(64, 0));
  EXPECT_EQ(player_->Snapshot(1).Percent, 2);

  EXPECT_EQ(Command("Stop 2"), "OK");
  EXPECT_FALSE(player_->Snapshot(1).Playing);
  EXPECT_EQ(driver_->Switch()[1], std::vector<std::int16_t>(64, 0));

  // A close stops everything and lets the driver go; the channels and their levels stay.
  EXPECT_EQ(Command("Play 2 \"" + file + "\""), "OK");
  const TChannelState* before = player_->Channels().data();
  driver_->log.clear();
  player_->Close();
  EXPECT_EQ(driver_->log, (std::vector<std::string>{"stop", "disposeBuffers", "release"}));
  EXPECT_FALSE(player_->IsOpen());
  EXPECT_FALSE(player_->Snapshot(1).Playing);
  EXPECT_EQ(Command("Play 1 \"" + file + "\""), "ERR: No ASIO device open");
  EXPECT_EQ(Command("Level 1 -30"), "OK");

  // A reopen shows nothing, takes the rate that ran, and keeps the channels.
  driver_->Rates = {44100, 48000, 96000};
  driver_->log.clear();
  player_->Reopen();
  EXPECT_EQ(driver_->log[4], "setSampleRate 48000");
  EXPECT_EQ(player_->Channels().data(), before);
  EXPECT_EQ(player_->Snapshot(0).Level, -30);
  EXPECT_EQ(player_->Snapshot(1).Level, -6);
  EXPECT_EQ(Command("Play 1 \"" + file + "\""), "OK");
  TestClock::Now += TStartCue::kQuietMicros;
  EXPECT_EQ(driver_->Switch()[0], std::vector<std::int16_t>(64, 31)) << "1000 at -30 dB";

  // Fewer and more outputs: see the reset scenario below.
  driver_->log.clear();
  player_->Destroy();
  EXPECT_EQ(driver_->log, (std::vector<std::string>{"stop", "disposeBuffers", "release", "unload"}));
  EXPECT_EQ(player_->ChannelCount(), 0u);
  EXPECT_TRUE(shown_.empty());
}

TEST_F(PlayerTest, AFailedStepLeavesTheDeviceClosedWithTheStepsMessage) {
  struct Case {
    std::string fault;  // the driver call that fails, or what the driver offers
    std::string message;
    std::function<void(TestDriver&)> set;
  };
  auto failing = [](const std::string& call) {
    return [call](TestDriver& d) { d.Faults = {{call, ASE_HWMalfunction}}; };
  };
  const std::vector<Case> cases = {
      {"init", "Unable to init device", failing("init")},
      {"getChannels", "Error getting channel count", failing("getChannels")},
      {"getChannelInfo", "Unable to get channel sample type", failing("getChannelInfo")},
      {"setSampleRate", "Error setting sample rate", failing("setSampleRate")},
      {"getBufferSize", "Error getting buffer size", failing("getBufferSize")},
      {"createBuffers", "Error creating buffers", failing("createBuffers")},
      {"start", "Unable to start device", failing("start")},
      {"no outputs", "Device has no output channels", [](TestDriver& d) { d.Outputs = 0; }},
      {"no standard rate", "No standard sample rates supported", [](TestDriver& d) { d.Rates = {22050}; }},
  };
  for (const Case& c : cases) {
    driver_->Faults.clear();
    driver_->Outputs = 2;
    driver_->Rates = {44100, 48000};
    c.set(*driver_);
    RecordingWatch watch;
    try {
      player_->Open(0, nullptr, watch);
      ADD_FAILURE() << c.fault << " failed, and the open went on";
    } catch (const Exception& e) {
      EXPECT_EQ(std::string(e.what()), c.message);
    }
    EXPECT_FALSE(player_->IsOpen()) << c.fault;
    EXPECT_EQ(Command("Play 1 x.wav"), "ERR: No ASIO device open") << c.fault;
  }
  RecordingWatch watch;
  EXPECT_THROW(player_->Open(1, nullptr, watch), Exception) << "no such driver";
  // Each later step needs an open driver.
  EXPECT_THROW(player_->StandardRates(), Exception);
  EXPECT_THROW(player_->SetRate(48000), Exception);
  EXPECT_EQ(player_->SampleRate(), 0);
}

// Samples that name their place in the file, and the same at a level.
std::vector<std::int16_t> Ramp(std::int16_t first, std::size_t count) {
  std::vector<std::int16_t> samples(count);
  for (std::size_t i = 0; i < count; ++i) samples[i] = static_cast<std::int16_t>(first + static_cast<int>(i));
  return samples;
}
std::vector<std::int16_t> Part(const std::vector<std::int16_t>& samples, std::size_t from, std::size_t count,
                               std::int32_t level = 0) {
  std::vector<std::int16_t> part(samples.begin() + static_cast<std::ptrdiff_t>(from),
                                 samples.begin() + static_cast<std::ptrdiff_t>(from + count));
  if (level < 0)
    for (auto& s : part)
      s = static_cast<std::int16_t>(static_cast<std::int32_t>(s * static_cast<double>(LevelGain(level))));
  return part;
}

// The watch's clock, moved by the test.
TDeviceMonitor::TTime monitorNow{};
TDeviceMonitor::TTime MonitorNow() { return monitorNow; }

// A reset the driver asks for is carried out before the next command, on the host's
// thread: the driver is let go and opened again with the buffer size it now prefers,
// and every channel goes on from the sample it stopped at. Commands that come during
// the reopen (a driver that runs a message loop in its init) are answered and take
// effect on the reopened device. A device with fewer outputs keeps the channels it
// still has.
TEST_F(PlayerTest, AResetReopensTheDeviceAndEveryChannelGoesOnWhereItStopped) {
  player_->MonitorClock = MonitorNow;
  RecordingWatch watch;
  player_->Open(0, nullptr, watch);
  const std::vector<std::int16_t> a = Ramp(1, 4000), b = Ramp(10001, 4000), c = Ramp(20001, 4000);
  EXPECT_EQ(Command("Play 1 \"" + dir_.Wave("a.wav", a) + "\""), "OK");
  EXPECT_EQ(Command("Play 2 \"" + dir_.Wave("b.wav", b) + "\""), "OK");
  TestClock::Now += TStartCue::kQuietMicros;
  auto heard = driver_->Switch();
  EXPECT_EQ(heard[0], Part(a, 0, 64));
  EXPECT_EQ(heard[1], Part(b, 0, 64));

  driver_->ResetRequested = true;
  driver_->BufferSize = 128;
  driver_->log.clear();
  const TChannelState* channels = player_->Channels().data();
  std::vector<std::string> during;
  driver_->OnInit = [&] {
    during.push_back(Command("Level 1 -6"));
    during.push_back(Command("Play 2 \"" + dir_.Wave("c.wav", c) + "\""));
  };
  // What the host's boundary does before each command.
  EXPECT_EQ(player_->Keep(false), TPlayer::TDeviceEvent::Reset);
  driver_->OnInit = nullptr;
  EXPECT_EQ(during, (std::vector<std::string>{"OK", "OK"}));
  EXPECT_EQ(driver_->log, (std::vector<std::string>{"stop", "disposeBuffers", "release", "create 0", "init",
                                                    "getChannels", "getChannelInfo", "setSampleRate 48000",
                                                    "getBufferSize", "createBuffers 2x128", "start"}));
  EXPECT_EQ(player_->Channels().data(), channels) << "the same channels";
  EXPECT_FALSE(player_->Stopped());
  TestClock::Now += TStartCue::kQuietMicros;
  heard = driver_->Switch();
  EXPECT_EQ(heard[0], Part(a, 64, 128, -6)) << "on from where it stopped, at the level set meanwhile";
  EXPECT_EQ(heard[1], Part(c, 0, 128)) << "the Play during the reopen, from its start";
  EXPECT_EQ(player_->Keep(true), TPlayer::TDeviceEvent::None) << "one request, one reset";

  // The device comes back with one output: channel 1 goes on, channel 2 is gone.
  driver_->Outputs = 1;
  driver_->ResetRequested = true;
  EXPECT_EQ(player_->Keep(true), TPlayer::TDeviceEvent::Reset);
  ASSERT_EQ(player_->ChannelCount(), 1u);
  EXPECT_EQ(player_->Channels().data(), channels);
  EXPECT_EQ(driver_->Switch()[0], Part(a, 192, 128, -6));
  EXPECT_EQ(Command("Stop 2"), "ERR: Invalid channel number");

  // Back with three outputs: the channels are records anew, channel 1 goes on in its
  // new one, and the new outputs' channels are stopped at 0 dB.
  driver_->Outputs = 3;
  driver_->BufferSize = 64;
  driver_->ResetRequested = true;
  EXPECT_EQ(player_->Keep(true), TPlayer::TDeviceEvent::Reset);
  ASSERT_EQ(player_->ChannelCount(), 3u);
  EXPECT_NE(player_->Channels().data(), channels);
  heard = driver_->Switch();
  EXPECT_EQ(heard[0], Part(a, 320, 64, -6));
  EXPECT_EQ(heard[2], std::vector<std::int16_t>(64, 0));
  EXPECT_FALSE(player_->Snapshot(2).Playing);
  EXPECT_EQ(player_->Snapshot(2).Level, 0);

  // Buffers too large for the rings: larger rings, with what the old ones had
  // waiting. Once the whole file is read, the next half is exactly its rest.
  const TChannelState& first = player_->Channels()[0];
  for (int wait = 0; wait < 5000 && !first.SourceEnded(); ++wait)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  ASSERT_TRUE(first.SourceEnded());
  driver_->BufferSize = 16384;
  driver_->ResetRequested = true;
  EXPECT_EQ(player_->Keep(true), TPlayer::TDeviceEvent::Reset);
  EXPECT_EQ(player_->Channels()[0].Ring().Capacity(), 65536u);
  std::vector<std::int16_t> rest = Part(a, 384, a.size() - 384, -6);
  rest.resize(16384, 0);
  EXPECT_EQ(driver_->Switch()[0], rest);
  EXPECT_FALSE(player_->Snapshot(0).Playing) << "played to its end";
  EXPECT_TRUE(shown_.empty());
}

// A device whose switches stand still is let go; Plays are refused without a box and
// never sound, Stop and Level are answered; it is tried again, not more often than
// the schedule says, until it opens, and the channel goes on exactly.
TEST_F(PlayerTest, ADeviceThatStopsCallingBackIsTriedAgainAndTheChannelsGoOnWhenItReturns) {
  player_->MonitorClock = MonitorNow;
  RecordingWatch watch;
  player_->Open(0, nullptr, watch);
  const std::vector<std::int16_t> a = Ramp(1, 4000);
  const std::string refused = dir_.Wave("refused.wav", Ramp(30001, 400));
  EXPECT_EQ(Command("Play 1 \"" + dir_.Wave("a.wav", a) + "\""), "OK");
  TestClock::Now += TStartCue::kQuietMicros;
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(driver_->Switch()[0], Part(a, 64 * static_cast<std::size_t>(i), 64));
    monitorNow += std::chrono::milliseconds(100);
    ASSERT_EQ(player_->Keep(true), TPlayer::TDeviceEvent::None);
  }
  // Silence for longer than the bound (500 ms at these buffers).
  monitorNow += std::chrono::milliseconds(400);
  EXPECT_EQ(player_->Keep(true), TPlayer::TDeviceEvent::None);
  monitorNow += std::chrono::milliseconds(200);
  driver_->log.clear();
  EXPECT_EQ(player_->Keep(true), TPlayer::TDeviceEvent::Stopped);
  EXPECT_EQ(driver_->log, (std::vector<std::string>{"stop", "disposeBuffers", "release"}));
  EXPECT_TRUE(player_->Stopped());
  EXPECT_EQ(Command("Play 2 \"" + refused + "\""), "ERR: ASIO device stopped");
  EXPECT_EQ(Command("Level 1 -6"), "OK");
  EXPECT_EQ(Command("Stop 2"), "OK");
  EXPECT_TRUE(player_->Snapshot(0).Playing) << "keeps its place";

  // Away: tried after 250 ms and then 500 ms, not in between.
  driver_->Faults = {{"init", ASE_NotPresent}};
  driver_->log.clear();
  monitorNow += std::chrono::milliseconds(200);
  EXPECT_EQ(player_->Keep(true), TPlayer::TDeviceEvent::None);
  EXPECT_TRUE(driver_->log.empty());
  monitorNow += std::chrono::milliseconds(50);
  EXPECT_EQ(player_->Keep(true), TPlayer::TDeviceEvent::None);
  EXPECT_EQ(driver_->log,
            (std::vector<std::string>{"create 0", "init", "stop", "disposeBuffers", "release"}));
  monitorNow += std::chrono::milliseconds(400);
  EXPECT_EQ(player_->Keep(false), TPlayer::TDeviceEvent::None) << "a command does not try";
  EXPECT_EQ(player_->Keep(true), TPlayer::TDeviceEvent::None);
  EXPECT_EQ(driver_->log.size(), 5u);
  EXPECT_TRUE(player_->Stopped());

  // Back.
  driver_->Faults.clear();
  monitorNow += std::chrono::milliseconds(100);
  EXPECT_EQ(player_->Keep(true), TPlayer::TDeviceEvent::Back);
  EXPECT_FALSE(player_->Stopped());
  const auto heard = driver_->Switch();
  EXPECT_EQ(heard[0], Part(a, 320, 64, -6)) << "from where it stopped, at the level set meanwhile";
  EXPECT_EQ(heard[1], std::vector<std::int16_t>(64, 0)) << "the refused Play never sounds";
  EXPECT_TRUE(shown_.empty());

  // A device absent when the view opens is kept the same way.
  driver_->Faults = {{"init", ASE_NotPresent}};
  EXPECT_THROW(player_->Open(0, nullptr, watch), Exception);
  EXPECT_FALSE(player_->Stopped()) << "a failed open alone keeps nothing";
  player_->KeepTrying();
  EXPECT_TRUE(player_->Stopped());
  driver_->Faults.clear();
  monitorNow += std::chrono::milliseconds(250);
  EXPECT_EQ(player_->Keep(true), TPlayer::TDeviceEvent::Back);
  player_->Close();
  EXPECT_FALSE(player_->Stopped());
  monitorNow += std::chrono::seconds(5);
  EXPECT_EQ(player_->Keep(true), TPlayer::TDeviceEvent::None) << "closed: nothing kept";
}

// A read that hangs when the driver asks for a reset: the feeder stops without
// waiting for it, the reopened device's feeder leaves that channel to the thread still
// reading, and once the read returns the channel goes on, nothing skipped and nothing
// played twice. (Also a probe for the sanitizers: the stuck thread hands its samples
// back into a channel that lived through the reopen.)
TEST_F(PlayerTest, AResetDuringAReadThatHangsLeavesTheChannelToItsReaderAndLosesNothing) {
  RecordingWatch watch;
  player_->Open(0, nullptr, watch);
  const std::size_t ring = player_->Channels()[0].Ring().Capacity();
  std::vector<std::int16_t> file(2 * ring);
  for (std::size_t i = 0; i < file.size(); ++i) file[i] = static_cast<std::int16_t>(1 + i % 30000);
  std::vector<std::uint8_t> data = testing::Samples16(file);
  data.insert(data.end(), 4, 0);  // the four bytes the stream keeps back
  auto bytes = std::make_shared<const std::vector<std::uint8_t>>(
      WavFile({.Channels = 1, .Rate = 48000, .Bits = 16}, data));
  auto gate = std::make_shared<testing::ReadGate>();
  const auto stallAt = static_cast<std::int64_t>(kWavHeaderSize + ring);  // half a ring in
  ASSERT_TRUE(testing::PlaySource(
      player_->Channels(), 0,
      std::make_unique<testing::TroubledSource>(bytes, testing::Trouble{.stallAt = stallAt}, gate)));
  player_->FeedNow();
  std::vector<std::int16_t> heard;
  // A switch once the ring has a half ready, the stall or the end aside, as in real time.
  auto switchOnce = [&] {
    const TChannelState& channel = player_->Channels()[0];
    for (int wait = 0; wait < 2000 && channel.Ring().Available() < 128 && !gate->Stalled(); ++wait)
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    const auto out = driver_->Switch();
    heard.insert(heard.end(), out[0].begin(), out[0].end());
  };
  for (int i = 0; i < 4000 && !gate->Stalled(); ++i) switchOnce();
  ASSERT_TRUE(gate->Stalled());

  driver_->ResetRequested = true;
  driver_->BufferSize = 128;
  EXPECT_EQ(player_->Keep(false), TPlayer::TDeviceEvent::Reset);
  for (int i = 0; i < 20; ++i) switchOnce();  // what the ring still had, then silence
  gate->Release();
  for (int i = 0; i < 4000 && player_->Snapshot(0).Playing; ++i) switchOnce();
  EXPECT_FALSE(player_->Snapshot(0).Playing) << "played to its end";
  heard.erase(std::remove(heard.begin(), heard.end(), 0), heard.end());
  EXPECT_EQ(heard.size(), file.size());
  EXPECT_TRUE(heard == file) << "the same samples, in order";

  // A reset that brings more outputs while a read hangs: the channel's record is made
  // anew, and a thread still reading would hand its samples back into the old one, so
  // that channel stops, keeping its level, and its thread lets go of the source alone.
  auto again = std::make_shared<testing::ReadGate>();
  ASSERT_TRUE(testing::PlaySource(
      player_->Channels(), 0,
      std::make_unique<testing::TroubledSource>(bytes, testing::Trouble{.stallAt = stallAt}, again)));
  EXPECT_EQ(Command("Level 1 -12"), "OK");
  player_->FeedNow();
  for (int wait = 0; wait < 5000 && !again->Stalled(); ++wait)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  ASSERT_TRUE(again->Stalled());
  driver_->Outputs = 3;
  driver_->ResetRequested = true;
  EXPECT_EQ(player_->Keep(false), TPlayer::TDeviceEvent::Reset);
  EXPECT_FALSE(player_->Snapshot(0).Playing);
  EXPECT_EQ(player_->Snapshot(0).Level, -12);
  again->Release();
  for (int wait = 0; wait < 5000 && again->sources.load() != 0; ++wait)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  player_->Close();
  EXPECT_EQ(gate->sources.load(), 0) << "the sources were freed";
  EXPECT_EQ(again->sources.load(), 0);
}

}  // namespace
}  // namespace tonvane
