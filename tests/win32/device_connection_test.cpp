// The window's device connection through the real plug-in, OpenAsio.dll and the
// virtual driver registered in the test prefix: the driver is configured through
// its environment variables, which it reads at every init.
#include <windows.h>
#include <commctrl.h>
#include <dlgs.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "base/wav_writer.h"
#include "file_bytes.h"
#include "plugin_host.h"
#include "plugin_session.h"
#include "riff_builder.h"
#include "virtual_asio_ids.h"
#include "window_lookup.h"

namespace tonvane {
namespace {

using namespace tonvane::testing;

class DeviceTest : public PluginSession {
 protected:
  DeviceTest() : PluginSession("device") {}

  void SetUp() override {
    PluginSession::SetUp();
    SetDriver("CLOCK", "fast");
    SetDriver("MAX_BUFFERS", "4");
  }
  // Shows the window and finds its lists and status bar.
  void Show() {
    PluginSession::Show();
    if (HasFatalFailure()) return;
    const std::vector<HWND> combos = PanelLists(form_);
    ASSERT_GE(combos.size(), 2u);
    deviceLB_ = combos[0];
    rateLB_ = combos[1];
    auto bars = Children(form_, STATUSCLASSNAMEA);
    ASSERT_EQ(bars.size(), 1u);
    statusBar_ = bars[0];
  }
  // The user picks an item from a list.
  void Pick(HWND combo, int index) {
    SendMessageA(combo, CB_SETCURSEL, index, 0);
    SendMessageA(GetParent(combo), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(combo), CBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(combo));
  }
  int Selected(HWND combo) { return static_cast<int>(SendMessageA(combo, CB_GETCURSEL, 0, 0)); }
  int IndexOfVirtualDriver() {
    const auto items = ComboItems(deviceLB_);
    const auto it = std::find(items.begin(), items.end(), vasio::kDriverName);
    return it == items.end() ? -1 : static_cast<int>(it - items.begin());
  }
  std::string StatusText() { return StatusBarText(statusBar_); }
  // The virtual driver in real time, recording Int16 LSB into the test's folder, which
  // is returned; the recordings are complete once the window has closed.
  std::string RecordInRealTime() {
    const std::string record = dir_ + "rec";
    CreateDirectoryA(record.c_str(), nullptr);
    SetDriver("RECORD_DIR", record.c_str());
    SetDriver("CLOCK", "realtime");
    SetDriver("MAX_BUFFERS", nullptr);
    SetDriver("SAMPLE_TYPE", "16");
    return record;
  }
  // The user closes the window, then the host closes the plug-in: what it wrote.
  std::string CloseAndReadIni() {
    PostMessageA(form_, WM_CLOSE, 0, 0);
    host::PumpPendingMessages();
    plugin_->window->ClosePlugin();
    return ReadText(Ini());
  }
  // What a host does from inside one of our boxes (from a timer, or its own Exit).
  void UnloadInsideTheBox() {
    plugin_->window->ClosePlugin();
    plugin_.reset();
  }
  // After that box: the window goes with the host's loop, then the library.
  void ExpectUnloadedAfterTheBox() {
    EXPECT_TRUE(IsWindow(form_)) << "the window outlived the box";
    for (int i = 0; i < 1000 && GetModuleHandleA("Tonvane.dll"); ++i) host::PumpMessages(10);
    EXPECT_FALSE(IsWindow(form_));
    EXPECT_EQ(GetModuleHandleA("Tonvane.dll"), nullptr);
  }
  // Whether the plug-in holds an open driver, as the command language sees it.
  bool DeviceOpen() { return Execute("Play") == "ERR: Invalid Play command"; }

  HWND deviceLB_ = nullptr, rateLB_ = nullptr, statusBar_ = nullptr;
};

// The class of window this thread may not create while it is set: a window creation
// that fails part-way, through the system's own refusal (a CBT hook).
std::string refusedClass;
LRESULT CALLBACK RefuseClass(int code, WPARAM wParam, LPARAM lParam) {
  if (code == HCBT_CREATEWND) {
    char name[64] = {};
    GetClassNameA(reinterpret_cast<HWND>(wParam), name, sizeof name);
    if (lstrcmpiA(name, refusedClass.c_str()) == 0) return 1;
  }
  return CallNextHookEx(nullptr, code, wParam, lParam);
}

TEST_F(DeviceTest, AWindowWhoseCreationFailsPartWayKeepsTheRememberedDevice) {
  // The first control made and the last: before and after the device list exists.
  for (const char* refused : {"TonvanePanel", STATUSCLASSNAMEA}) {
    SCOPED_TRACE(refused);
    Remember(std::string(vasio::kDriverName), 48000);
    std::string error;
    plugin_ = host::LoadedPlugin::Load(host::ExecutableDir() + "Tonvane.dll", error);
    ASSERT_TRUE(plugin_) << error;
    ASSERT_TRUE(plugin_->Init(host_.get(), 1));
    refusedClass = refused;
    HHOOK hook = SetWindowsHookExA(WH_CBT, RefuseClass, nullptr, GetCurrentThreadId());
    ASSERT_NE(hook, nullptr);
    plugin_->window->ShowPluginWindow();
    UnhookWindowsHookEx(hook);
    EXPECT_EQ(ThisThreadsMainForm(), nullptr);
    ASSERT_EQ(boxes_.size(), 1u);
    EXPECT_EQ(boxes_[0].rfind("Unable to create a window of class ", 0), 0u) << boxes_[0];
    boxes_.clear();
    EXPECT_EQ(Execute("Stop 1"), "ERR") << "no window";
    plugin_->window->ClosePlugin();
    const std::string ini = ReadText(Ini());
    EXPECT_NE(ini.find("Device=Tonvane Virtual ASIO\r\n"), std::string::npos) << ini;
    plugin_.reset();
  }
}

TEST_F(DeviceTest, AWindowClosedWhileMinimizedRemembersWhereItStandsRestored) {
  Show();
  SetWindowPos(form_, nullptr, 120, 90, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
  ShowWindow(form_, SW_MINIMIZE);
  ASSERT_TRUE(IsIconic(form_));
  PostMessageA(form_, WM_CLOSE, 0, 0);
  host::PumpPendingMessages();
  ASSERT_EQ(ThisThreadsMainForm(), nullptr);
  plugin_->window->ClosePlugin();
  const std::string ini = ReadText(Ini());
  EXPECT_NE(ini.find("Left=120\r\nTop=90\r\n"), std::string::npos) << ini;
  EXPECT_TRUE(boxes_.empty());
}

TEST_F(DeviceTest, RemembersNothingAtFirstRun) {
  Show();
  EXPECT_GE(IndexOfVirtualDriver(), 0) << "the registered driver is listed";
  EXPECT_EQ(Selected(deviceLB_), -1);
  EXPECT_EQ(StatusText(), "");
  EXPECT_EQ(Execute("Play"), "ERR: No ASIO device open");
  EXPECT_TRUE(boxes_.empty());
}

TEST_F(DeviceTest, RemembersDeviceAndRateAndReopensThem) {
  SetDriver("OUTPUTS", "4");
  SetDriver("RATES", "48000");
  Remember("tonvane virtual asio", 44100);  // letter case does not matter
  Show();
  EXPECT_TRUE(boxes_.empty()) << boxes_.front();
  EXPECT_EQ(Selected(deviceLB_), IndexOfVirtualDriver());
  // Only 48 kHz is offered; the remembered 44.1 kHz is not there, so the first is
  // taken, and the status bar says so.
  EXPECT_EQ(StatusText(), "Sample type: Int32 LSB, running at 48 kHz instead of 44.1 kHz");
  EXPECT_EQ(ComboItems(rateLB_), std::vector<std::string>{"48"});
  EXPECT_EQ(Selected(rateLB_), 0);
  EXPECT_TRUE(DeviceOpen());
  EXPECT_EQ(Execute("Stop 4"), "OK");
  EXPECT_EQ(Execute("Stop 5"), "ERR: Invalid channel number");

  // Closing the window hands the position over, the next close writes it; the device
  // and the rate stay as they were remembered until the user picks others.
  const std::string ini = CloseAndReadIni();
  EXPECT_NE(ini.find("Device=tonvane virtual asio\r\nRate=44100\r\n"), std::string::npos) << ini;
  EXPECT_EQ(ini.find("Left=-1"), std::string::npos) << ini;
}

TEST_F(DeviceTest, OffersTheStandardRatesTheDriverAcceptsAndClosePluginWritesThePicks) {
  SetDriver("RATES", "96000,44100,22050,192000,48000");
  Remember("", 96000);
  Show();
  Pick(deviceLB_, IndexOfVirtualDriver());
  EXPECT_EQ(ComboItems(rateLB_), (std::vector<std::string>{"44.1", "48", "96", "192"}));
  EXPECT_EQ(Selected(rateLB_), 2);
  // A pick sets the rate on the running driver and is remembered.
  Pick(rateLB_, 0);
  EXPECT_TRUE(boxes_.empty());
  // Closed with the window open, released by the host's loop, freed.
  SetWindowPos(form_, nullptr, 123, 77, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
  plugin_->window->ClosePlugin();
  host::PumpPendingMessages();
  plugin_.reset();
  EXPECT_EQ(ReadText(Ini()),
            "[Preferences]\r\nDevice=Tonvane Virtual ASIO\r\nRate=44100\r\nLeft=123\r\nTop=77\r\n");
}

struct FailureRow {
  const char* setting;
  const char* value;
  const char* message;
};

TEST_F(DeviceTest, EveryFailureOfTheOpenIsShownAndLeavesNoSelection) {
  const FailureRow rows[] = {
      {"FAIL", "init", "Unable to init device"},
      {"FAIL", "getChannels", "Error getting channel count"},
      {"OUTPUTS", "0", "Device has no output channels"},
      {"FAIL", "getChannelInfo", "Unable to get channel sample type"},
      {"FAIL", "canSampleRate", "No standard sample rates supported"},
      {"RATES", "22050,32000", "No standard sample rates supported"},
      {"FAIL", "setSampleRate", "Error setting sample rate"},
      {"FAIL", "getBufferSize", "Error getting buffer size"},
      {"FAIL", "createBuffers", "Error creating buffers"},
      {"FAIL", "start", "Unable to start device"},
  };
  const std::string wav = dir_ + "tone.wav";
  testing::WriteBytes(wav,
                      WavFile({.Channels = 1, .Rate = 48000, .Bits = 16}, testing::Samples16({1, 2, 3})));
  Show();
  const int device = IndexOfVirtualDriver();
  ASSERT_GE(device, 0);
  for (const auto& row : rows) {
    SCOPED_TRACE(row.message);
    for (const char* key : {"FAIL", "OUTPUTS", "RATES"}) SetDriver(key, nullptr);
    SetDriver(row.setting, row.value);
    boxes_.clear();
    // The device is closed before its box: a Play the host makes meanwhile is refused.
    std::vector<std::string> answers;
    onBox_ = [&](const std::string&) { answers.push_back(Execute("Play 1 \"" + wav + "\"")); };
    Pick(deviceLB_, device);
    onBox_ = nullptr;
    EXPECT_EQ(answers, std::vector<std::string>{"ERR: No ASIO device open"});
    EXPECT_EQ(boxes_, std::vector<std::string>{row.message});
    EXPECT_EQ(Selected(deviceLB_), -1);
    EXPECT_FALSE(DeviceOpen());
    // The strips are built before the buffers: a failure from there on leaves them.
    const bool stripsBuilt = std::string(row.message) == "Error creating buffers" ||
                             std::string(row.message) == "Unable to start device";
    if (stripsBuilt) {
      EXPECT_EQ(ChannelStrips(form_).size(), 2u);
    }
  }
  // The status bar keeps the type shown before the failure.
  EXPECT_EQ(StatusText(), "Sample type: Int32 LSB");
  // A failed open leaves its channels in the window until the next open.
  EXPECT_EQ(Execute("Stop 2"), "OK");

  // A good open after the failures works, and picking the open device reopens it.
  SetDriver("FAIL", nullptr);
  boxes_.clear();
  Pick(deviceLB_, device);
  Pick(deviceLB_, device);
  EXPECT_TRUE(boxes_.empty());
  EXPECT_TRUE(DeviceOpen());
  EXPECT_EQ(Selected(deviceLB_), device);
}

TEST_F(DeviceTest, ARatePickTheDriverRefusesIsShownAndTheDeviceRunsOn) {
  SetDriver("RATES", "48000,44100");
  SetDriver("FAIL", "rateChange");
  Remember(std::string(vasio::kDriverName), 48000);
  Show();
  ASSERT_TRUE(boxes_.empty()) << boxes_.front();
  ASSERT_EQ(ComboItems(rateLB_), (std::vector<std::string>{"44.1", "48"}));
  Pick(rateLB_, 0);
  EXPECT_EQ(boxes_, std::vector<std::string>{"Error setting sample rate"});
  EXPECT_TRUE(DeviceOpen());
  plugin_->window->ClosePlugin();
  EXPECT_NE(ReadText(Ini()).find("Rate=48000"), std::string::npos) << "the refused rate is not remembered";
}

TEST_F(DeviceTest, PickingTheOpenDeviceAgainResetsEveryChannel) {
  const std::string record = RecordInRealTime();
  Remember(std::string(vasio::kDriverName), 48000);
  std::vector<std::int16_t> samples;
  for (int i = 0; i < 48000; ++i) samples.push_back(static_cast<std::int16_t>(2000 + i % 3000));
  const std::string wav = dir_ + "second.wav";
  testing::WriteBytes(wav, WavFile({.Channels = 1, .Rate = 48000, .Bits = 16}, testing::Samples16(samples)));
  Show();
  EXPECT_EQ(Execute("Level 1 -20"), "OK");
  EXPECT_EQ(Execute("Play 2 \"" + wav + "\""), "OK");
  host::PumpMessages(100);
  // The same device again: a new open, with every channel stopped and at 0 dB.
  Pick(deviceLB_, Selected(deviceLB_));
  ASSERT_TRUE(boxes_.empty()) << boxes_.front();
  EXPECT_EQ(Execute("Play 1 \"" + wav + "\""), "OK");
  host::PumpMessages(300);
  PostMessageA(form_, WM_CLOSE, 0, 0);
  host::PumpPendingMessages();
  const std::string first = ReadText(record + "\\out0.wav");
  const auto start = testing::Samples16({samples.begin(), samples.begin() + 4});
  EXPECT_NE(first.find(std::string(start.begin(), start.end()), 44), std::string::npos)
      << "channel 1 plays at 0 dB after the reopen";
  const std::string second = ReadText(record + "\\out1.wav");
  ASSERT_GT(second.size(), 44u);
  EXPECT_EQ(second.find_first_not_of('\0', 44), std::string::npos) << "channel 2 stopped at the reopen";
}

// The device runs, but no Play answers OK for sound that cannot come (the card gets
// silence: e2e-playback records it).
TEST_F(DeviceTest, AnUnsupportedSampleTypeIsShownTheDeviceRunsAndPlayIsRefused) {
  SetDriver("SAMPLE_TYPE", "19");
  Remember(std::string(vasio::kDriverName), 48000);
  Show();
  EXPECT_EQ(boxes_, std::vector<std::string>{"Required sample type not supported"});
  EXPECT_EQ(StatusText(), "Sample type: Float32 LSB");
  EXPECT_TRUE(DeviceOpen());
  EXPECT_EQ(Selected(deviceLB_), IndexOfVirtualDriver());
  const std::string wav = dir_ + "tone.wav";
  WriteBytes(wav, WavFile({.Channels = 1, .Rate = 48000, .Bits = 16},
                          testing::Samples16(std::vector<std::int16_t>(4800, 1000))));
  EXPECT_EQ(Execute("Play 1 \"" + wav + "\""), "ERR: Required sample type not supported");
  EXPECT_EQ(boxes_.size(), 1u) << "no box of its own";
}

// With ErrorBoxes=0 a failed Play holds nothing: it answers at once with the reason
// and the file, the status bar shows them with the channel, no box comes, and the
// cue's next Play plays. The plug-in keeps the key when it writes its file.
TEST_F(DeviceTest, WithTheBoxesOffAFailedPlayAnswersWithItsReasonAndTheCueGoesOn) {
  const std::string record = RecordInRealTime();
  std::ofstream(Ini()) << "[Preferences]\nDevice=" << vasio::kDriverName << "\nRate=48000\nErrorBoxes=0\n";
  Show();
  const std::string stereo = dir_ + "two channels.wav";
  WriteBytes(stereo, WavFile({.Channels = 2, .Rate = 48000, .Bits = 16},
                             testing::Samples16(std::vector<std::int16_t>(800, 1000))));
  const std::vector<std::int16_t> samples(4800, 0x1234);
  const std::string mono = dir_ + "mono.wav";
  WriteBytes(mono, WavFile({.Channels = 1, .Rate = 48000, .Bits = 16}, testing::Samples16(samples)));
  EXPECT_EQ(Execute("Play 1 \"" + stereo + "\""),
            "ERR: Error playing ASIO sound: Sound must be mono: " + stereo);
  EXPECT_EQ(Execute("Play 2 \"" + mono + "\""), "OK");
  EXPECT_EQ(StatusText(), "Channel 1: Sound must be mono: " + stereo);
  EXPECT_EQ(Execute("Play 3 \"" + mono + "\""), "ERR: Invalid channel number") << "no box for these either";
  host::PumpMessages(300);
  EXPECT_TRUE(boxes_.empty()) << boxes_.front();
  const std::string ini = CloseAndReadIni();
  EXPECT_NE(ini.find("ErrorBoxes=0"), std::string::npos) << ini;
  const std::string played = ReadText(record + "\\out1.wav");
  EXPECT_NE(played.find("\x34\x12\x34\x12", 44), std::string::npos) << "the cue's second Play played";
}

// The rack was powered late: the open fails with its box, the device stays
// remembered, is shown as not responding, refuses Plays, and is tried again until it
// answers. With the boxes off the status bar says why it did not open. A failed open
// of the user's own pick is not tried again.
TEST_F(DeviceTest, ARememberedDeviceThatIsAbsentStaysRememberedAndOpensOnceItAnswers) {
  SetDriver("DROP_AFTER", "0");
  SetDriver("DROP_FOR", "0");  // for good: the host closes before it comes
  std::ofstream(Ini()) << "[Preferences]\nDevice=" << vasio::kDriverName << "\nRate=44100\nErrorBoxes=0\n";
  Show();
  EXPECT_TRUE(boxes_.empty());
  EXPECT_EQ(StatusText(), "Device not responding: trying to reopen it (Unable to init device)");
  EXPECT_EQ(Execute("Play 1 \"" + dir_ + "any.wav\""), "ERR: ASIO device stopped");
  EXPECT_EQ(Execute("Stop 1"), "ERR: Invalid channel number") << "no channels yet";
  plugin_->window->ClosePlugin();
  const std::string ini = ReadText(Ini());
  EXPECT_NE(ini.find("Device=Tonvane Virtual ASIO\r\nRate=44100\r\n"), std::string::npos) << ini;
  host::PumpPendingMessages();
  plugin_.reset();

  // The next start, with the boxes: absent for 400 ms, then there. No box but the first.
  ClearDriverSettings();
  SetDriver("DROP_AFTER", "0");
  SetDriver("DROP_FOR", "400");
  Remember(std::string(vasio::kDriverName), 44100);
  Show();
  EXPECT_EQ(boxes_, std::vector<std::string>{"Unable to init device"});
  EXPECT_EQ(StatusText(), "Device not responding: trying to reopen it");
  EXPECT_EQ(Selected(deviceLB_), -1);
  for (int i = 0; i < 400 && !DeviceOpen(); ++i) {
    host::PumpMessages(10);
    plugin_->window->Tick();
  }
  EXPECT_TRUE(DeviceOpen());
  EXPECT_EQ(boxes_.size(), 1u);
  EXPECT_EQ(Selected(deviceLB_), IndexOfVirtualDriver());
  EXPECT_EQ(StatusText(), "Sample type: Int32 LSB");
  EXPECT_EQ(ChannelStrips(form_).size(), 2u);
  EXPECT_EQ(Execute("Stop 2"), "OK");

  // The user's own pick that fails is shown and left: no tries, no status of them.
  SetDriver("FAIL", "init");
  boxes_.clear();
  Pick(deviceLB_, IndexOfVirtualDriver());
  EXPECT_EQ(boxes_, std::vector<std::string>{"Unable to init device"});
  SetDriver("FAIL", nullptr);
  for (int i = 0; i < 30; ++i) {
    host::PumpMessages(10);
    plugin_->window->Tick();
  }
  EXPECT_FALSE(DeviceOpen());
  EXPECT_EQ(Execute("Play 1 x.wav"), "ERR: No ASIO device open");
  const std::string afterPick = CloseAndReadIni();
  EXPECT_NE(afterPick.find("Device=\r\n"), std::string::npos) << "a pick is remembered, also one that failed";
}

// A driver key whose class exists on disk but cannot be created.
class BrokenDriverKey {
 public:
  BrokenDriverKey() {
    HKEY key = nullptr;
    RegCreateKeyExA(HKEY_LOCAL_MACHINE, ("Software\\ASIO\\" + name).c_str(), 0, nullptr, 0, KEY_WRITE,
                    nullptr, &key, nullptr);
    RegSetValueExA(key, "CLSID", 0, REG_SZ, reinterpret_cast<const BYTE*>(clsid), sizeof clsid);
    RegCloseKey(key);
    RegCreateKeyExA(HKEY_CLASSES_ROOT, (std::string("CLSID\\") + clsid + "\\InprocServer32").c_str(), 0,
                    nullptr, 0, KEY_WRITE, nullptr, &key, nullptr);
    const char server[] = "version.dll";  // exists, but serves no class
    RegSetValueExA(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(server), sizeof server);
    RegCloseKey(key);
  }
  ~BrokenDriverKey() {
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, ("Software\\ASIO\\" + name).c_str());
    RegDeleteTreeA(HKEY_CLASSES_ROOT, (std::string("CLSID\\") + clsid).c_str());
  }
  const std::string name = "Tonvane Test Broken Factory";
  static constexpr char clsid[] = "{5B0E1C61-0F43-4C43-A0F4-6E0A6D2C8E11}";
};

TEST_F(DeviceTest, AFactoryThatFailsIsUnableToOpenTheDevice) {
  BrokenDriverKey broken;
  Show();
  const auto items = ComboItems(deviceLB_);
  const auto it = std::find(items.begin(), items.end(), broken.name);
  ASSERT_NE(it, items.end());
  Pick(deviceLB_, static_cast<int>(it - items.begin()));
  EXPECT_EQ(boxes_, std::vector<std::string>{"Unable to open device"});
  EXPECT_EQ(Selected(deviceLB_), -1);
  EXPECT_FALSE(DeviceOpen());
}

TEST_F(DeviceTest, EightOutputsGiveEightStripsThatScrollAndEightOutputBuffers) {
  const std::string record = dir_ + "rec";
  CreateDirectoryA(record.c_str(), nullptr);
  SetDriver("RECORD_DIR", record.c_str());
  SetDriver("SAMPLE_TYPE", "16");
  SetDriver("SYNC_FIRST", "1");  // a first switch inside start(), whatever the load
  SetDriver("OUTPUTS", "8");
  Remember(std::string(vasio::kDriverName), 48000);
  Show();
  const auto strips = ChannelStrips(form_);
  ASSERT_EQ(strips.size(), 8u);
  for (int i = 0; i < 8; ++i) {
    EXPECT_EQ(TextOf(strips[i]), "ChanFrame" + std::to_string(i));
    EXPECT_EQ(InParent(strips[i]).top, 30 * i);
    EXPECT_EQ(InParent(strips[i]).left, 0);
  }
  EXPECT_TRUE(Style(GetParent(strips[0])) & WS_VSCROLL) << "eight strips do not fit: the column scrolls";
  EXPECT_EQ(Execute("Stop 8"), "OK");
  EXPECT_EQ(Execute("Level 8 -12"), "OK");

  // Picking the open device again rebuilds every channel.
  Pick(deviceLB_, IndexOfVirtualDriver());
  const auto rebuilt = ChannelStrips(form_);
  EXPECT_EQ(rebuilt.size(), 8u);
  for (HWND strip : rebuilt) EXPECT_EQ(std::find(strips.begin(), strips.end(), strip), strips.end());
  // The driver records each output buffer it was given, by its channel number; an
  // input buffer or a channel number out of range would have failed createBuffers.
  PostMessageA(form_, WM_CLOSE, 0, 0);
  host::PumpPendingMessages();
  for (int channel = 0; channel < 8; ++channel)
    EXPECT_GT(ReadText(record + "\\out" + std::to_string(channel) + ".wav").size(), 44u)
        << "output " << channel;
  EXPECT_EQ(ReadText(record + "\\out8.wav"), "");
}

// Plays a WAV file through the virtual driver and reads back what it recorded.
TEST_F(DeviceTest, PlaysAFileAtItsLevelIntoTheDriversBuffers) {
  const std::string record = dir_ + "rec";
  CreateDirectoryA(record.c_str(), nullptr);
  SetDriver("RECORD_DIR", record.c_str());
  SetDriver("CLOCK", "realtime");
  SetDriver("MAX_BUFFERS", nullptr);
  SetDriver("SAMPLE_TYPE", "17");
  SetDriver("OUTPUTS", "2");
  SetDriver("LATE_SWITCH", "1");
  Remember(std::string(vasio::kDriverName), 48000);
  std::vector<std::int16_t> samples;
  for (int i = 0; i < 2000; ++i)
    samples.push_back(static_cast<std::int16_t>((i % 2 ? -1 : 1) * (1000 + i * 13)));
  const std::string wav = dir_ + "tone.wav";
  testing::WriteBytes(wav, WavFile({.Channels = 1, .Rate = 48000, .Bits = 16}, testing::Samples16(samples)));
  Show();
  ASSERT_TRUE(boxes_.empty());
  EXPECT_EQ(Execute("Play 2 \"" + wav + "\" -6"), "OK");
  host::PumpMessages(300);
  plugin_->window->Tick();
  // The strip follows the player's level at a tick, not when the command comes.
  const HWND slider = StripControlAt(ChannelStrips(form_)[1], 211);
  EXPECT_EQ(SendMessageA(slider, TBM_GETPOS, 0, 0), -6);
  EXPECT_EQ(Execute("Level 2 -20"), "OK");
  EXPECT_EQ(SendMessageA(slider, TBM_GETPOS, 0, 0), -6);
  plugin_->window->Tick();
  EXPECT_EQ(SendMessageA(slider, TBM_GETPOS, 0, 0), -20);
  // Closing the window stops the driver, which completes its recordings.
  PostMessageA(form_, WM_CLOSE, 0, 0);
  host::PumpPendingMessages();

  SetDriver("LATE_SWITCH", nullptr);
  // The driver's late switch after stop() comes last: the plug-in wrote nothing in it.
  const std::size_t lateHalf = 256 * 3;
  const std::string recorded = ReadText(record + "\\out1.wav");
  ASSERT_GT(recorded.size(), 44u + lateHalf);
  EXPECT_EQ(recorded.substr(recorded.size() - lateHalf),
            std::string(lateHalf, static_cast<char>(vasio::kFillByte)));
  const std::string data = recorded.substr(44, recorded.size() - 44 - lateHalf);
  // The file's last four bytes are never played: 1998 samples at 0.50118721.
  std::string expected;
  for (std::size_t i = 0; i + 2 < samples.size(); ++i) {
    const auto v = static_cast<std::int16_t>(static_cast<std::int32_t>(samples[i] * double{0.50118721f}));
    expected += '\0';
    expected += static_cast<char>(static_cast<std::uint16_t>(v) & 0xFF);
    expected += static_cast<char>(static_cast<std::uint16_t>(v) >> 8);
  }
  const auto at = data.find(expected);
  ASSERT_NE(at, std::string::npos) << "the level-scaled samples appear in order in channel 2's buffers";
  EXPECT_EQ(data.find_first_not_of('\0'), at + 1) << "silence before the sound";
  EXPECT_EQ(data.find_first_not_of('\0', at + expected.size()), std::string::npos) << "silence after it";
  const std::string idle = ReadText(record + "\\out0.wav");
  ASSERT_GT(idle.size(), 44u + lateHalf);
  EXPECT_EQ(idle.substr(44, idle.size() - 44 - lateHalf).find_first_not_of('\0'), std::string::npos)
      << "the idle channel got silence";
}

// The user clicks a strip's Play button.
void ClickPlay(HWND strip) {
  const HWND play = StripPlayButton(strip);
  if (!play) return;
  SendMessageA(play, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(10, 10));
  SendMessageA(play, WM_LBUTTONUP, 0, MAKELPARAM(10, 10));
}

// The user in the plug-in's file dialog: types a name and presses OK, or cancels.
struct FileDialogUser {
  static inline std::string choice;  // empty: cancel
  static inline int dialogs = 0;
  static inline std::function<void(HWND)> during;  // what happens while the dialog is up
  static void CALLBACK Act(HWND, UINT, UINT_PTR timer, DWORD) {
    const HWND dialog = ThisThreadsOpenDialog();
    if (!dialog) return;
    KillTimer(nullptr, timer);
    ++dialogs;
    if (during) during(dialog);
    if (choice.empty()) {
      PressCancel(dialog);
      return;
    }
    SetWindowTextA(FileNameBox(dialog), choice.c_str());
    PressOk(dialog);
  }
};

TEST_F(DeviceTest, PlayOnAStripAsksForAFileAndCancellingChangesNothing) {
  const std::string record = RecordInRealTime();
  Remember(std::string(vasio::kDriverName), 48000);
  const std::string wav = dir_ + "tone.wav";
  testing::WriteBytes(wav, WavFile({.Channels = 1, .Rate = 48000, .Bits = 16},
                                   testing::Samples16({300, -300, 600, 7, 9, 11})));
  Show();
  const auto strips = ChannelStrips(form_);
  ASSERT_EQ(strips.size(), 2u);
  FileDialogUser::dialogs = 0;
  FileDialogUser::choice.clear();
  UINT_PTR timer = SetTimer(nullptr, 0, 50, &FileDialogUser::Act);
  ClickPlay(strips[0]);
  KillTimer(nullptr, timer);
  FileDialogUser::choice = wav;
  timer = SetTimer(nullptr, 0, 50, &FileDialogUser::Act);
  ClickPlay(strips[1]);
  KillTimer(nullptr, timer);
  EXPECT_EQ(FileDialogUser::dialogs, 2);
  host::PumpMessages(200);
  PostMessageA(form_, WM_CLOSE, 0, 0);
  host::PumpPendingMessages();
  EXPECT_TRUE(boxes_.empty());

  const std::string cancelled = ReadText(record + "\\out0.wav");
  ASSERT_GT(cancelled.size(), 44u);
  EXPECT_EQ(cancelled.find_first_not_of('\0', 44), std::string::npos)
      << "the cancelled channel stayed silent";
  const std::string chosen = ReadText(record + "\\out1.wav");
  EXPECT_NE(chosen.find(std::string("\x2C\x01\xD4\xFE", 4), 44), std::string::npos)
      << "the chosen file played";
}

// Our boxes and the open dialog run a message loop on the host's thread, which also
// dispatches the host's timers: what they do meanwhile must wait for the code below.
TEST_F(DeviceTest, AReleaseDuringTheBoxesOfAnOpenWaitsForTheBoxAndCommandsAreAnswered) {
  const std::string wav = dir_ + "tone.wav";
  testing::WriteBytes(wav,
                      WavFile({.Channels = 1, .Rate = 48000, .Bits = 16}, testing::Samples16({1, 2, 3})));
  struct Case {
    const char* setting;
    const char* value;
    const char* box;
    bool close;  // ClosePlugin, else FreePluginWindow
  };
  for (const Case& c : {Case{"SAMPLE_TYPE", "19", "Required sample type not supported", true},
                        Case{"FAIL", "createBuffers", "Error creating buffers", false}}) {
    SCOPED_TRACE(c.box);
    DeleteFileA(Ini().c_str());
    SetDriver(c.setting, c.value);
    Remember(std::string(vasio::kDriverName), 48000);
    std::vector<std::string> answers;
    onBox_ = [&](const std::string&) {
      if (c.close)
        plugin_->window->ClosePlugin();
      else
        plugin_->window->FreePluginWindow();
      for (const std::string& command :
           std::vector<std::string>{"Stop 1", "Level 1 -3", "Play 1 \"" + wav + "\""})
        answers.push_back(Execute(command));
    };
    boxes_.clear();
    Show();  // the first show opens the remembered device, and the box comes inside it
    onBox_ = nullptr;
    ASSERT_EQ(boxes_, std::vector<std::string>{c.box});
    ASSERT_EQ(answers.size(), 3u);
    for (const std::string& answer : answers)
      EXPECT_TRUE(answer == "OK" || answer.rfind("ERR: ", 0) == 0) << answer;
    EXPECT_TRUE(IsWindow(form_)) << "the window outlived the box";
    host::PumpPendingMessages();
    EXPECT_FALSE(IsWindow(form_)) << "the held release was carried out";
    EXPECT_EQ(Execute("Stop 1"), "ERR");
    if (c.close) {
      EXPECT_NE(ReadText(Ini()).find("Left="), std::string::npos) << "ClosePlugin wrote the file";
    }
    plugin_.reset();
    SetDriver(c.setting, nullptr);
  }
}

TEST_F(DeviceTest, APlayDuringAFailedPlaysBoxIsNotCutOffAndAnUnloadWaitsForTheBox) {
  const std::string record = RecordInRealTime();
  Remember(std::string(vasio::kDriverName), 48000);
  const std::string good = dir_ + "good.wav", stereo = dir_ + "stereo.wav";
  // Half a second: long enough that a close after the box would cut it short.
  std::vector<std::int16_t> samples;
  for (int i = 0; i < 24000; ++i) samples.push_back(static_cast<std::int16_t>(1000 + i % 5000));
  testing::WriteBytes(good, WavFile({.Channels = 1, .Rate = 48000, .Bits = 16}, testing::Samples16(samples)));
  testing::WriteBytes(stereo,
                      WavFile({.Channels = 2, .Rate = 48000, .Bits = 16}, testing::Samples16({1, 2, 3, 4})));
  Show();
  std::string nested;
  onBox_ = [&](const std::string&) { nested = Execute("Play 1 \"" + good + "\""); };
  EXPECT_EQ(Execute("Play 1 \"" + stereo + "\""), "ERR: Error playing ASIO sound");
  EXPECT_EQ(nested, "OK");
  host::PumpMessages(1500);
  // The host closes, releases and frees the plug-in while the next failed Play's box
  // is up (from a timer, or its own Exit): the window and the library go after it.
  onBox_ = [&](const std::string&) { UnloadInsideTheBox(); };
  EXPECT_EQ(Execute("Play 2 \"" + stereo + "\""), "ERR: Error playing ASIO sound");
  ExpectUnloadedAfterTheBox();
  EXPECT_EQ(boxes_, std::vector<std::string>(2, "Sound must be mono"));
  const std::string played = ReadText(record + "\\out0.wav");
  const auto tail = testing::Samples16({samples.begin() + 23000, samples.begin() + 23004});
  const std::string end(tail.begin(), tail.end());
  EXPECT_NE(played.find(end, 44), std::string::npos) << "the Play from inside the box played to its end";
}

TEST_F(DeviceTest, TheStripsOpenDialogOffersWaveThenMp3FilesAndKeepsTheCurrentDirectory) {
  const std::string record = RecordInRealTime();
  Remember(std::string(vasio::kDriverName), 48000);
  testing::WriteBytes(dir_ + "tone.wav", WavFile({.Channels = 1, .Rate = 48000, .Bits = 16},
                                                 testing::Samples16({300, -300, 600, 7, 9, 11})));
  Show();
  const auto strips = ChannelStrips(form_);
  ASSERT_EQ(strips.size(), 2u);
  char before[MAX_PATH] = {}, after[MAX_PATH] = {};
  GetCurrentDirectoryA(MAX_PATH, before);
  std::vector<std::string> types;
  bool readOnlyShown = true, sizable = false;
  FileDialogUser::dialogs = 0;
  FileDialogUser::choice = dir_ + "tone.wav";
  FileDialogUser::during = [&](HWND dialog) {
    const std::vector<std::string> offered = FileTypes(dialog);
    types.insert(types.end(), offered.begin(), offered.end());
    const HWND readOnly = GetDlgItem(dialog, chx1);
    readOnlyShown = readOnly && IsWindowVisible(readOnly);
    sizable = (GetWindowLongA(dialog, GWL_STYLE) & WS_THICKFRAME) != 0;
  };
  const UINT_PTR timer = SetTimer(nullptr, 0, 50, &FileDialogUser::Act);
  ClickPlay(strips[0]);
  KillTimer(nullptr, timer);
  FileDialogUser::during = nullptr;
  GetCurrentDirectoryA(MAX_PATH, after);
  EXPECT_EQ(FileDialogUser::dialogs, 1);
  EXPECT_EQ(types, (std::vector<std::string>{"Wave files", "MP3 files "}));
  EXPECT_FALSE(readOnlyShown);
  EXPECT_TRUE(sizable);
  EXPECT_STREQ(after, before) << "the dialog leaves the current directory as it was";
  host::PumpMessages(200);
  PostMessageA(form_, WM_CLOSE, 0, 0);
  host::PumpPendingMessages();
  EXPECT_TRUE(boxes_.empty());
  EXPECT_NE(ReadText(record + "\\out0.wav").find(std::string("\x2C\x01\xD4\xFE", 4), 44), std::string::npos)
      << "the chosen file played";
}

TEST_F(DeviceTest, AClosePluginWhileTheOpenDialogIsUpWaitsForThePlayAfterIt) {
  SetDriver("CLOCK", "realtime");
  SetDriver("MAX_BUFFERS", nullptr);
  Remember(std::string(vasio::kDriverName), 48000);
  const std::string wav = dir_ + "tone.wav";
  testing::WriteBytes(wav,
                      WavFile({.Channels = 1, .Rate = 48000, .Bits = 16}, testing::Samples16({1, 2, 3})));
  Show();
  auto strips = ChannelStrips(form_);
  ASSERT_EQ(strips.size(), 2u);
  FileDialogUser::dialogs = 0;
  FileDialogUser::choice = wav;
  FileDialogUser::during = [this](HWND) { plugin_->window->ClosePlugin(); };
  const UINT_PTR timer = SetTimer(nullptr, 0, 50, &FileDialogUser::Act);
  ClickPlay(strips[0]);
  KillTimer(nullptr, timer);
  FileDialogUser::during = nullptr;
  EXPECT_EQ(FileDialogUser::dialogs, 1);
  EXPECT_TRUE(IsWindow(form_)) << "the window outlived the dialog and the Play after it";
  host::PumpPendingMessages();
  EXPECT_FALSE(IsWindow(form_));
  EXPECT_NE(ReadText(Ini()).find("Left="), std::string::npos) << "ClosePlugin wrote the file";
  EXPECT_TRUE(boxes_.empty());
}

TEST_F(DeviceTest, ARunningDeviceKeepsThePluginLoadedUntilItsWindowCloses) {
  SetDriver("CLOCK", "realtime");
  SetDriver("MAX_BUFFERS", nullptr);
  Remember(std::string(vasio::kDriverName), 48000);
  Show();
  ASSERT_TRUE(DeviceOpen());
  HWND form = form_;
  // The host frees the library without releasing the window first: the driver's
  // thread still calls in, so the code stays until the device is closed.
  plugin_->ReleaseInterfaces();
  plugin_.reset();
  host::PumpMessages(100);
  EXPECT_TRUE(IsWindow(form));
  EXPECT_NE(GetModuleHandleA("Tonvane.dll"), nullptr);
  // The user closes the window: the device stops and the library goes.
  PostMessageA(form, WM_CLOSE, 0, 0);
  host::PumpMessages(100);
  EXPECT_FALSE(IsWindow(form));
  // The library goes from a thread of its own: a generous limit, left as soon as it is gone.
  for (int i = 0; i < 1000 && GetModuleHandleA("Tonvane.dll"); ++i) Sleep(10);
  EXPECT_EQ(GetModuleHandleA("Tonvane.dll"), nullptr);
  EXPECT_TRUE(boxes_.empty());
}

TEST_F(DeviceTest, ASecondInitWhileTheWindowLivesKeepsTheWindowsPreferences) {
  SetDriver("CLOCK", "realtime");
  SetDriver("MAX_BUFFERS", nullptr);
  Remember(std::string(vasio::kDriverName), 48000);
  Show();
  ASSERT_TRUE(DeviceOpen());
  const HWND form = form_;
  // The host frees the library while the device runs, then loads and inits it again.
  plugin_->ReleaseInterfaces();
  plugin_.reset();
  Show();
  ASSERT_EQ(form_, form);
  EXPECT_TRUE(DeviceOpen());
  Pick(rateLB_, 0);  // 44.1 kHz
  const std::string ini = CloseAndReadIni();
  EXPECT_NE(ini.find("Rate=44100"), std::string::npos) << ini;
  EXPECT_NE(ini.find("Device=Tonvane Virtual ASIO"), std::string::npos) << ini;
  EXPECT_EQ(ini.find("Left=-1"), std::string::npos) << "the window's position was stored: " << ini;
  EXPECT_TRUE(boxes_.empty());
}

TEST_F(DeviceTest, UnloadingWithTheWindowOpenAndNoDeviceTakesTheWindowDown) {
  Show();
  HWND form = form_;
  plugin_->ReleaseInterfaces();
  plugin_.reset();
  EXPECT_FALSE(IsWindow(form));
  EXPECT_EQ(GetModuleHandleA("Tonvane.dll"), nullptr);
  host::PumpMessages(50);
}

// The host dies after the picks (a crash, the power cut at the wall): tonvane-host.exe
// in a process of its own, killed without a chance to close anything.
TEST_F(DeviceTest, PicksSurviveAHostThatIsKilled) {
  SetDriver("RATES", "44100,48000");
  Show();  // the host's list is in this one's order
  const int device = IndexOfVirtualDriver();
  std::ofstream(dir_ + "show.txt") << ".show\n.wait 600000\n";
  std::string line = "\"" + host::ExecutableDir() + "tonvane-host.exe\" --auto-dismiss --plugin-path \"" +
                     dir_ + "Tonvane.dll\" \"" + dir_ + "show.txt\"";
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;  // what it prints is of no interest
  PROCESS_INFORMATION child{};
  ASSERT_TRUE(
      CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &child));
  HWND form = nullptr;
  for (int i = 0; i < 6000 && !form; ++i, Sleep(10))
    form = ThreadsWindow(child.dwThreadId, "TonvaneMainForm", true);
  if (const auto lists = form ? PanelLists(form) : std::vector<HWND>(); lists.size() == 2) {
    Pick(lists[0], device);
    Pick(lists[1], 1);
  }
  TerminateProcess(child.hProcess, 1);
  WaitForSingleObject(child.hProcess, INFINITE);
  CloseHandle(child.hProcess);
  CloseHandle(child.hThread);
  ASSERT_NE(form, nullptr) << "the host showed no window";
  const std::string ini = ReadText(Ini());
  EXPECT_NE(ini.find("Device=Tonvane Virtual ASIO\r\nRate=48000\r\n"), std::string::npos) << ini;
  EXPECT_EQ(ini.find("=-1"), std::string::npos) << "where the window stood is written with the pick: " << ini;
}

TEST_F(DeviceTest, AnUnloadInsideTheBoxOfAWindowWithoutDeviceWaitsForTheBox) {
  // A library without the factory, loaded first under the name, is refused.
  ASSERT_EQ(GetModuleHandleA("OpenAsio.dll"), nullptr);
  const std::string fake = dir_ + "OpenAsio.dll";
  ASSERT_TRUE(CopyFileA((host::ExecutableDir() + vasio::kFileName).c_str(), fake.c_str(), FALSE));
  const HMODULE withoutFactory = LoadLibraryA(fake.c_str());
  onBox_ = [&](const std::string&) { UnloadInsideTheBox(); };
  Show();
  FreeLibrary(withoutFactory);
  EXPECT_EQ(boxes_, std::vector<std::string>{"Unable to load OpenAsio.dll"});
  ExpectUnloadedAfterTheBox();
}

}  // namespace
}  // namespace tonvane
