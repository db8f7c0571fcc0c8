// Playback inside the real plug-in, loaded as the host loads it, with the virtual
// driver registered in the test prefix: the strips' progress as the engine reads the
// files, and the hand-over of channels between the host's thread and the driver's
// thread with the driver switching buffers as fast as it can.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "base/wav_writer.h"
#include "client_picture.h"
#include "file_bytes.h"
#include "plugin_host.h"
#include "plugin_session.h"
#include "riff_builder.h"
#include "virtual_asio_ids.h"
#include "window_lookup.h"

namespace tonvane {
namespace {

using namespace tonvane::testing;

std::string MonoWave(const std::string& path, const std::vector<std::int16_t>& samples,
                     std::uint16_t channels = 1) {
  WriteBytes(path, WavFile({.Channels = channels, .Rate = 48000, .Bits = 16}, Samples16(samples)));
  return path;
}

BOOL CALLBACK CountMarked(HWND hwnd, LPARAM count) {
  *reinterpret_cast<int*>(count) += GetUpdateRect(hwnd, nullptr, FALSE) != FALSE;
  return TRUE;
}

// The windows of the plug-in's window, itself included, that wait for a paint.
int MarkedWindows(HWND form) {
  int count = 0;
  CountMarked(form, reinterpret_cast<LPARAM>(&count));
  EnumChildWindows(form, CountMarked, reinterpret_cast<LPARAM>(&count));
  return count;
}

class PlaybackTest : public PluginSession {
 protected:
  PlaybackTest() : PluginSession("playback") {}

  // The plug-in opens the virtual driver as soon as its window is shown.
  void SetUp() override {
    PluginSession::SetUp();
    Remember(vasio::kDriverName, 48000);
  }

  std::string Play(int channel, const std::string& file, const std::string& level = "") {
    return Execute("Play " + std::to_string(channel) + " \"" + file + "\"" +
                   (level.empty() ? "" : " " + level));
  }

  // How far the gauge's bar reaches: its white pixels across the middle row.
  static int BarWidth(HWND gauge) {
    const ClientPicture p = PrintClient(gauge);
    int white = 0;
    for (int x = 0; x < p.Width(); ++x) white += p.Pixel(x, p.Height() / 2) == RGB(255, 255, 255);
    return white;
  }
};

// The driver's clock is slow enough here (a second per buffer half) for the host to
// tick many times between two switches: the gauge shows whole halves of the file.
class ProgressTest : public PlaybackTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(ProgressTest, TheGaugeFollowsTheFileAndEmptiesAtItsEnd) {
  SetDriver("CLOCK", "realtime");
  SetDriver("BUFFER", "48000");
  SetDriver("OUTPUTS", "2");
  SetDriver("SAMPLE_TYPE", GetParam());
  Show();
  const std::vector<HWND> strips = ChannelStrips(form_);
  ASSERT_EQ(strips.size(), 2u) << (boxes_.empty() ? "" : boxes_.front());
  const HWND gauge = StripGauge(strips[1]), play = StripPlayButton(strips[1]);
  ASSERT_NE(gauge, nullptr);
  ASSERT_NE(play, nullptr);
  plugin_->window->Tick();
  const ClientPicture stopped = PrintClient(play);
  EXPECT_EQ(BarWidth(gauge), 0);

  // Two buffer halves of data, and the 4 bytes that are never played.
  const std::string wav = MonoWave(dir_ + "two halves.wav", Noise(7, 2 * 48000 + 2));
  ASSERT_EQ(Play(2, wav, "-6"), "OK");
  // The widths the bar takes, in order: each tick may repeat the last.
  std::vector<int> widths;
  bool playShownDown = false;
  // Polled until the channel has ended; the limit is generous for slow (emulated) machines.
  for (int i = 0; i < 1000 && (widths.empty() || widths.back() != 0 || widths.size() < 3); ++i) {
    host::PumpMessages(20);
    plugin_->window->Tick();
    const int width = BarWidth(gauge);
    if (width > 0) playShownDown = playShownDown || !(PrintClient(play) == stopped);
    if (widths.empty() || widths.back() != width) widths.push_back(width);
  }
  // Empty until the first half is read (unless the first switch came at once), then
  // half (50 %), then full (100 %: all was read, the next read finds the end), then
  // empty again: the engine stopped the channel and the tick showed it. A tick that
  // comes while a half is being filled (a slow machine, or an emulated one, takes
  // long enough over 48,000 samples) may also see the bar on its way between these.
  ASSERT_GE(widths.size(), 3u);
  if (widths.front() == 0) widths.erase(widths.begin());
  const int full = PrintClient(gauge).Width();
  EXPECT_EQ(widths.back(), 0) << "stopped at the end";
  widths.pop_back();
  EXPECT_TRUE(std::is_sorted(widths.begin(), widths.end())) << "the bar only grows while the file plays";
  EXPECT_TRUE(std::any_of(widths.begin(), widths.end(), [&](int w) { return std::abs(w - full / 2) <= 1; }))
      << "50 %";
  EXPECT_EQ(widths.empty() ? -1 : widths.back(), full) << "100 %";
  EXPECT_TRUE(playShownDown) << "the Play button is down while the file plays";
  EXPECT_TRUE(PrintClient(play) == stopped) << "and up again once it has ended";
  EXPECT_TRUE(boxes_.empty());
  // The channel takes the next file.
  EXPECT_EQ(Play(2, wav), "OK");
}

// 16: Int16 LSB; 18: Int32 LSB. A type the plug-in does not write refuses the Play
// (device_connection_test.cpp).
INSTANTIATE_TEST_SUITE_P(SampleTypes, ProgressTest, ::testing::Values("16", "18"));

// Eight strips in a column that shows two: a tick marks the changes in view for the
// window's next paint and leaves the strips out of view alone, which show the
// channels' state once scrolled into view, and are then the ones marked; a tick that
// changes nothing marks nothing. A second per buffer half, so that most ticks see no switch.
TEST_F(PlaybackTest, TicksMarkOnlyChangesInViewAndScrolledStripsShowTheirState) {
  SetDriver("CLOCK", "realtime");
  SetDriver("BUFFER", "48000");
  SetDriver("OUTPUTS", "8");
  Show();
  const std::vector<HWND> strips = ChannelStrips(form_);
  ASSERT_EQ(strips.size(), 8u) << (boxes_.empty() ? "" : boxes_.front());
  const HWND first = StripGauge(strips[0]), last = StripGauge(strips[7]),
             lastPlay = StripPlayButton(strips[7]);
  const auto marked = [](HWND hwnd) { return GetUpdateRect(hwnd, nullptr, FALSE) != FALSE; };
  const std::string wav = MonoWave(dir_ + "ten seconds.wav", Noise(3, 10 * 48000));
  for (int channel = 1; channel <= 8; ++channel) ASSERT_EQ(Play(channel, wav), "OK");

  bool firstMarked = false;
  for (int i = 0; i < 500 && BarWidth(first) == 0; ++i) {
    host::PumpMessages(20);
    plugin_->window->Tick();
    firstMarked = firstMarked || marked(first);
    EXPECT_FALSE(marked(last)) << "out of view";
  }
  ASSERT_GT(BarWidth(first), 0) << "the first half played";
  EXPECT_TRUE(firstMarked) << "marked, not painted within the tick";
  // A tick that comes before the next switch (the first gauge shows the same) marks nothing.
  bool quiet = false;
  for (int i = 0; i < 20 && !quiet; ++i) {
    host::PumpPendingMessages();
    const ClientPicture shown = PrintClient(first);
    plugin_->window->Tick();
    quiet = PrintClient(first) == shown;
    if (quiet) {
      EXPECT_EQ(MarkedWindows(form_), 0);
    }
  }
  EXPECT_TRUE(quiet);

  SendMessageA(ChannelColumn(form_), WM_VSCROLL, MAKEWPARAM(SB_BOTTOM, 0), 0);
  host::PumpPendingMessages();
  EXPECT_GT(BarWidth(last), 0);
  EXPECT_TRUE(ScreenPicture(last) == PrintClient(last))
      << "the last strip's progress, as the last tick saw it";
  EXPECT_TRUE(ScreenPicture(lastPlay) == PrintClient(lastPlay)) << "and Play down";

  // Scrolled to the bottom, the ticks mark the last strip and leave the first alone.
  const int shownWidth = BarWidth(last);
  bool lastMarked = false;
  for (int i = 0; i < 500 && BarWidth(last) == shownWidth; ++i) {
    host::PumpMessages(20);
    plugin_->window->Tick();
    lastMarked = lastMarked || marked(last);
    EXPECT_FALSE(marked(first)) << "scrolled out of view";
  }
  EXPECT_GT(BarWidth(last), shownWidth);
  EXPECT_TRUE(lastMarked);
}

// A host that sends names in UTF-8: a name beyond the code page (Cyrillic on a
// Western system) plays, WAV and MP3 alike, through the wide functions; a name the
// code page holds plays as before, and one that is in neither stays missing.
TEST_F(PlaybackTest, NamesSentInUtf8Play) {
  SetDriver("CLOCK", "fast");
  SetDriver("BUFFER", "64");
  Show();
  const std::wstring wideDir(dir_.begin(), dir_.end());         // ASCII: the scratch folder's name
  const std::string utf8 = "\xD0\x97\xD0\xB2\xD1\x83\xD0\xBA";  // "Звук"
  const std::wstring wide = L"\x0417\x0432\x0443\x043A";
  const std::string wav = MonoWave(dir_ + "plain.wav", Noise(5, 4800));
  ASSERT_TRUE(CopyFileW((wideDir + L"plain.wav").c_str(), (wideDir + wide + L".wav").c_str(), FALSE));
  const std::string mp3 = std::string(MP3_TEST_DATA) + "\\mono48k-cbr128.mp3";
  const std::wstring wideMp3(mp3.begin(), mp3.end());
  ASSERT_TRUE(CopyFileW(wideMp3.c_str(), (wideDir + wide + L".mp3").c_str(), FALSE));
  EXPECT_EQ(Play(1, dir_ + utf8 + ".wav"), "OK");
  EXPECT_EQ(Play(2, dir_ + utf8 + ".mp3", "-6"), "OK");
  EXPECT_EQ(Play(1, wav), "OK");
  EXPECT_EQ(Play(1, dir_ + "\xD0\x97missing.wav"), "ERR: File does not exist");
  EXPECT_EQ(Play(1, dir_ + "\xFF\xFE.wav"), "ERR: File does not exist") << "not UTF-8";
  EXPECT_TRUE(boxes_.empty());
}

// The host's thread plays, stops, re-plays and levels the same channels as fast as it
// can while the driver's thread switches buffers flat out: WAV files that end within
// a few switches (the engine's own stop meets a new play), long ones, MP3 files being
// decoded, and files that fail. Afterwards the plug-in must still answer, stop
// channels at the end of their files, and play a file exactly.
TEST_F(PlaybackTest, HandOverUnderStressLeavesThePluginSound) {
  SetDriver("CLOCK", "fast");
  SetDriver("BUFFER", "64");
  SetDriver("OUTPUTS", "4");
  Show();
  ASSERT_TRUE(boxes_.empty());
  const std::string mp3 = std::string(MP3_TEST_DATA) + "\\mono48k-cbr128.mp3";
  const std::string shortWav = MonoWave(dir_ + "short.wav", Noise(1, 300));
  const std::string longWav = MonoWave(dir_ + "long.wav", Noise(2, 48000));
  const std::string stereo = MonoWave(dir_ + "stereo.wav", Noise(3, 400), 2);
  std::mt19937 rng(12345);
  int operations = 0, failedPlays = 0;
  const DWORD start = GetTickCount();
  while (GetTickCount() - start < 4000) {
    const int channel = 1 + static_cast<int>(rng() % 4);
    const unsigned what = rng() % 100;
    std::string expected = "OK", got;
    if (what < 30) {
      got = Play(channel, shortWav, what % 2 ? "-" + std::to_string(rng() % 60) : "");
    } else if (what < 45) {
      got = Play(channel, longWav);
    } else if (what < 60) {
      got = Play(channel, mp3, "-3");
    } else if (what < 80) {
      got = Execute("Stop " + std::to_string(channel));
    } else if (what < 97) {
      got = Execute("Level " + std::to_string(channel) + " -" + std::to_string(rng() % 80));
    } else {
      got = Play(channel, stereo);
      expected = "ERR: Error playing ASIO sound";
      ++failedPlays;
    }
    ASSERT_EQ(got, expected) << "operation " << operations;
    if (++operations % 8 == 0) plugin_->window->Tick();
    if (operations % 64 == 0) host::PumpPendingMessages();
  }
  EXPECT_EQ(boxes_.size(), static_cast<std::size_t>(failedPlays));
  EXPECT_TRUE(std::all_of(boxes_.begin(), boxes_.end(), [](auto& b) { return b == "Sound must be mono"; }));
  std::printf("%d operations, %d of them failed plays\n", operations, failedPlays);

  // The driver still runs and the engine still stops channels at the end of their files.
  for (int channel = 1; channel <= 4; ++channel) ASSERT_EQ(Play(channel, longWav, "-1"), "OK");
  const std::vector<HWND> strips = ChannelStrips(form_);
  ASSERT_EQ(strips.size(), 4u);
  bool allEnded = false;
  for (int i = 0; i < 1000 && !allEnded; ++i) {
    host::PumpMessages(20);
    plugin_->window->Tick();
    allEnded = std::all_of(strips.begin(), strips.end(), [](HWND s) { return BarWidth(StripGauge(s)) == 0; });
  }
  EXPECT_TRUE(allEnded) << "every channel stopped at the end of its file";

  // The same plug-in opens the device again, now recording in real time, and plays exactly.
  const std::string record = dir_ + "rec";
  CreateDirectoryA(record.c_str(), nullptr);
  SetDriver("RECORD_DIR", record.c_str());
  SetDriver("CLOCK", "realtime");
  SetDriver("BUFFER", "256");
  SetDriver("SAMPLE_TYPE", "16");
  const std::vector<HWND> lists = PanelLists(form_);
  const HWND deviceLB = lists.empty() ? nullptr : lists.front();
  ASSERT_NE(deviceLB, nullptr);
  const int index = static_cast<int>(SendMessageA(deviceLB, CB_GETCURSEL, 0, 0));
  ASSERT_GE(index, 0);
  SendMessageA(GetParent(deviceLB), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(deviceLB), CBN_SELCHANGE),
               reinterpret_cast<LPARAM>(deviceLB));
  const std::vector<std::int16_t> samples = Noise(4, 4000);
  const std::string wav = MonoWave(dir_ + "final.wav", samples);
  ASSERT_EQ(Play(3, wav, "-12"), "OK");
  host::PumpMessages(400);
  plugin_->window->Tick();
  PostMessageA(form_, WM_CLOSE, 0, 0);
  host::PumpPendingMessages();

  const std::string recorded = ReadText(record + "\\out2.wav");
  ASSERT_GT(recorded.size(), 44u);
  const std::string data = recorded.substr(44);
  const auto gain = static_cast<float>(std::pow(10.0, -12 / 20.0));
  std::string expected;
  for (std::size_t i = 0; i + 2 < samples.size(); ++i) {
    const auto v =
        static_cast<std::uint16_t>(static_cast<std::int32_t>(samples[i] * static_cast<double>(gain)));
    expected += static_cast<char>(v & 0xFF);
    expected += static_cast<char>(v >> 8);
  }
  const auto at = data.find(expected);
  ASSERT_NE(at, std::string::npos) << "the final file plays exactly at its level";
  EXPECT_EQ(data.find_first_not_of('\0'), at);
  EXPECT_EQ(data.find_first_not_of('\0', at + expected.size()), std::string::npos);
}

}  // namespace
}  // namespace tonvane
