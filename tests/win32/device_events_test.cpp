// The plug-in riding through what a device does by itself, through the real DLL,
// OpenAsio.dll and the virtual driver in real time: a reset request in the middle of
// a play, from the driver's switch thread or a thread of its own, with a new buffer
// size; a drop-out and the device's return. What every channel played is read back
// from the driver's recordings, joined across the driver objects the plug-in opened.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "base/wav_writer.h"
#include "file_bytes.h"
#include "plugin_host.h"
#include "plugin_session.h"
#include "riff_builder.h"
#include "timeline.h"
#include "virtual_asio_ids.h"
#include "window_lookup.h"

namespace tonvane {
namespace {

using namespace tonvane::testing;

// A recording's samples without the silence before and after the sound.
std::vector<std::int16_t> Sound(const std::string& recording) {
  const std::vector<std::uint8_t> bytes = ReadBytes(recording);
  std::vector<std::int16_t> samples;
  for (std::size_t i = kWavHeaderSize; i + 1 < bytes.size(); i += 2)
    samples.push_back(static_cast<std::int16_t>(bytes[i] | bytes[i + 1] << 8));
  std::size_t first = 0, end = samples.size();
  while (first < end && samples[first] == 0) ++first;
  while (end > first && samples[end - 1] == 0) --end;
  return {samples.begin() + static_cast<std::ptrdiff_t>(first),
          samples.begin() + static_cast<std::ptrdiff_t>(end)};
}

// What a WAV file's channel plays: its data but the last four bytes, which are never
// played.
std::vector<std::int16_t> Played(std::vector<std::int16_t> samples) {
  samples.resize(samples.size() - 2);
  return samples;
}

// Sample for sample, or where they part.
::testing::AssertionResult Same(const std::vector<std::int16_t>& actual,
                                const std::vector<std::int16_t>& expected) {
  const std::size_t n = std::min(actual.size(), expected.size());
  std::size_t i = 0;
  while (i < n && actual[i] == expected[i]) ++i;
  if (i == n && actual.size() == expected.size()) return ::testing::AssertionSuccess();
  auto failure = ::testing::AssertionFailure();
  failure << actual.size() << " samples, expected " << expected.size() << "; the first " << i << " agree";
  if (i < n) {
    // Where the expected sample at i turns up instead, if it does nearby: a gap or a repeat.
    for (std::size_t k = i; k < std::min(actual.size(), i + 100000); ++k)
      if (k + 4 <= actual.size() && i + 4 <= expected.size() &&
          std::equal(expected.begin() + static_cast<std::ptrdiff_t>(i),
                     expected.begin() + static_cast<std::ptrdiff_t>(i + 4),
                     actual.begin() + static_cast<std::ptrdiff_t>(k))) {
        failure << "; sample " << i << " of the file comes at " << k;
        break;
      }
  }
  return failure;
}

vasio::TTimeline Timeline() {
  char text[160] = {};
  GetEnvironmentVariableA(vasio::kTimelineVariable, text, sizeof text);
  vasio::TTimeline timeline;
  long long start = 0, resetAt = -1, switchAt = -1;
  int sent = 0, starts = 0;
  long buffer = 0;
  std::sscanf(text, "start=%llu reset=%d buffer=%ld resetAt=%lld switchAt=%lld starts=%d", &start, &sent,
              &buffer, &resetAt, &switchAt, &starts);
  timeline.ResetSent = sent != 0;
  timeline.ResetAt = resetAt;
  timeline.SwitchAt = switchAt;
  timeline.Starts = starts;
  return timeline;
}

class DeviceEventsTest : public PluginSession {
 protected:
  DeviceEventsTest() : PluginSession("events") {}

  // The virtual driver in real time, Int16 LSB, its recordings carried on across
  // driver objects; the plug-in opens it as its window is shown.
  void SetUp() override {
    PluginSession::SetUp();
    record_ = dir_ + "rec";
    CreateDirectoryA(record_.c_str(), nullptr);
    SetDriver("RECORD_DIR", record_.c_str());
    SetDriver("RECORD_APPEND", "1");
    SetDriver("SAMPLE_TYPE", "16");
    SetDriver("RATES", "48000");
    SetDriver("CLOCK", "realtime");
    Remember(vasio::kDriverName, 48000);
  }
  void Show() {
    PluginSession::Show();
    if (HasFatalFailure()) return;
    const auto bars = Children(form_, "msctls_statusbar32");
    ASSERT_EQ(bars.size(), 1u);
    statusBar_ = bars[0];
  }
  std::string Wave(const std::string& name, const std::vector<std::int16_t>& samples) {
    const std::string path = dir_ + name;
    WriteBytes(path, WavFile({.Channels = 1, .Rate = 48000, .Bits = 16}, Samples16(samples)));
    return path;
  }
  std::string Play(int channel, const std::string& file) {
    return Execute("Play " + std::to_string(channel) + " \"" + file + "\"");
  }
  // The host's loop: ticks 20 ms apart until done() or the limit.
  template <typename Done>
  bool TickUntil(Done&& done, int limitMs = 8000) {
    for (int waited = 0; waited < limitMs; waited += 20) {
      if (done()) return true;
      host::PumpMessages(20);
      plugin_->window->Tick();
    }
    return done();
  }
  std::string Status() { return StatusBarText(statusBar_); }
  // Closes the window: the recordings are complete once the driver has stopped.
  void CloseWindow() {
    PostMessageA(form_, WM_CLOSE, 0, 0);
    host::PumpPendingMessages();
  }
  std::string Recording(int output) { return record_ + "\\out" + std::to_string(output) + ".wav"; }

  std::string record_;
  HWND statusBar_ = nullptr;
};

class ResetTest : public DeviceEventsTest, public ::testing::WithParamInterface<const char*> {};

// In the middle of three plays (one of them at -6 dB) the driver asks for a reset and
// stops calling back; the plug-in reopens it with the buffer size it now prefers,
// once, and every channel carries on where it stopped: joined, the recordings of the
// two driver objects are the files, sample for sample. The device that asks from a
// thread of its own also comes back with one output more (a mode changed in its
// control panel): the window gains a strip, and the channels still play exactly.
TEST_P(ResetTest, AResetMidPlayReopensTheDeviceOnceAndEveryChannelPlaysItsFileExactly) {
  const bool moreOutputs = std::string(GetParam()) == "thread";
  SetDriver("OUTPUTS", "3");
  SetDriver("BUFFER", "256");
  SetDriver("RESET_AFTER", "500");
  SetDriver("RESET_FROM", GetParam());
  SetDriver("RESET_BUFFER", "512");
  Show();
  ASSERT_TRUE(boxes_.empty()) << boxes_.front();
  const std::vector<std::int16_t> one = Noise(1, 48000), two = Noise(2, 40000), three = Noise(3, 30000);
  EXPECT_EQ(Execute("Level 3 -6"), "OK");
  EXPECT_EQ(Play(1, Wave("one.wav", one)), "OK");
  EXPECT_EQ(Play(2, Wave("two.wav", two)), "OK");
  EXPECT_EQ(Play(3, Wave("three.wav", three)), "OK");
  if (moreOutputs) SetDriver("OUTPUTS", "4");
  ASSERT_TRUE(TickUntil([] { return Timeline().ResetSent; }));
  ASSERT_TRUE(TickUntil([] { return Timeline().SwitchAt > Timeline().ResetAt; })) << "reopened and switching";
  EXPECT_EQ(Status(), "Sample type: Int16 LSB");
  EXPECT_EQ(ChannelStrips(form_).size(), moreOutputs ? 4u : 3u);
  // Until every file has played out, and a little more.
  host::PumpMessages(1200);
  plugin_->window->Tick();
  EXPECT_EQ(Timeline().Starts, 2) << "the first open and one reopen";
  EXPECT_TRUE(boxes_.empty()) << boxes_.front();
  CloseWindow();

  EXPECT_TRUE(Same(Sound(Recording(0)), Played(one)));
  EXPECT_TRUE(Same(Sound(Recording(1)), Played(two)));
  std::vector<std::int16_t> scaled;
  for (std::int16_t s : three)
    scaled.push_back(
        static_cast<std::int16_t>(static_cast<std::int32_t>(s * static_cast<double>(0.50118721f))));
  EXPECT_TRUE(Same(Sound(Recording(2)), Played(scaled))) << "the level went with the channel";
}

INSTANTIATE_TEST_SUITE_P(FromTheSwitchThreadAndFromItsOwn, ResetTest, ::testing::Values("switch", "thread"));

// The device stops calling back without a word and comes back 1.5 s later. The
// status bar says so, a Play meanwhile is refused and never sounds, Stop and Level
// are answered, no box is shown; the device is reopened when it answers and the
// playing channel goes on exactly where it stopped.
TEST_F(DeviceEventsTest, ADropOutIsShownRefusesPlaysAndTheChannelGoesOnExactlyWhenTheDeviceReturns) {
  SetDriver("OUTPUTS", "3");
  SetDriver("DROP_AFTER", "500");
  SetDriver("DROP_FOR", "1500");
  Show();
  ASSERT_TRUE(boxes_.empty()) << boxes_.front();
  const std::vector<std::int16_t> one = Noise(4, 72000);
  EXPECT_EQ(Play(1, Wave("one.wav", one)), "OK");
  const std::string refused = Wave("refused.wav", Noise(5, 4800));
  ASSERT_TRUE(TickUntil([&] { return Status() == "Device not responding: trying to reopen it"; }));
  EXPECT_EQ(Play(2, refused), "ERR: ASIO device stopped");
  EXPECT_EQ(Execute("Level 1 0"), "OK");
  EXPECT_EQ(Execute("Stop 3"), "OK");
  EXPECT_TRUE(boxes_.empty()) << boxes_.front();
  ASSERT_TRUE(TickUntil([&] { return Status() == "Sample type: Int16 LSB"; }));
  EXPECT_EQ(Play(3, refused), "OK") << "played again once the device is back";
  host::PumpMessages(1500);
  plugin_->window->Tick();
  EXPECT_TRUE(boxes_.empty()) << boxes_.front();
  CloseWindow();

  EXPECT_TRUE(Same(Sound(Recording(0)), Played(one)));
  EXPECT_TRUE(Sound(Recording(1)).empty()) << "the refused Play never sounds";
  EXPECT_TRUE(Same(Sound(Recording(2)), Played(Noise(5, 4800))));
}

}  // namespace
}  // namespace tonvane
