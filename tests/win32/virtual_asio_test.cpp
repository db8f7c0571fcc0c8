// The virtual ASIO driver as the plug-in meets it: registered in the 32-bit view,
// reached through OpenAsio.dll, shaped by its configuration, recording what the
// host writes.
#include <fstream>
#include <mutex>

#include "asio_test_support.h"
#include "file_bytes.h"
#include "scratch_dir.h"

namespace tonvane::test {
namespace {

std::string ReadRegText(HKEY root, const std::string& subKey, const char* name, REGSAM view = 0) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(root, subKey.c_str(), 0, KEY_READ | view, &key) != ERROR_SUCCESS) return "<no key>";
  char value[1024] = {};
  DWORD size = sizeof value - 1, type = 0;
  const LONG result = RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(value), &size);
  RegCloseKey(key);
  return result == ERROR_SUCCESS && type == REG_SZ ? value : "<no text>";
}

std::uint32_t Le32(const std::vector<std::uint8_t>& b, std::size_t at) {
  return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<std::uint32_t>(b[at + 3]) << 24;
}
std::uint16_t Le16(const std::vector<std::uint8_t>& b, std::size_t at) {
  return static_cast<std::uint16_t>(b[at] | b[at + 1] << 8);
}

class VirtualAsioTest : public ::testing::Test {
 protected:
  void SetUp() override {
    switchLog.Reset();
    ASSERT_TRUE(openAsio_.Loaded());
  }
  TOpenAsio openAsio_;
};

TEST_F(VirtualAsioTest, RegisteredWhereA32BitHostLooks) {
  const std::string driverKey = std::string("Software\\ASIO\\") + vasio::kDriverName;
  EXPECT_EQ(ReadRegText(HKEY_LOCAL_MACHINE, driverKey, "CLSID"), vasio::kClsidText);
  EXPECT_EQ(ReadRegText(HKEY_LOCAL_MACHINE, driverKey, "Description"), vasio::kDriverName);
  EXPECT_EQ(ReadRegText(HKEY_LOCAL_MACHINE, driverKey, "CLSID", KEY_WOW64_32KEY), vasio::kClsidText)
      << "the 32-bit view, named explicitly";
  const std::string server = std::string("CLSID\\") + vasio::kClsidText + "\\InprocServer32";
  const std::string path = ReadRegText(HKEY_CLASSES_ROOT, server, nullptr);
  const std::string fileName = std::string("\\") + vasio::kFileName;
  ASSERT_GE(path.size(), fileName.size());
  EXPECT_EQ(path.substr(path.size() - fileName.size()), fileName);
  EXPECT_NE(GetFileAttributesA(path.c_str()), INVALID_FILE_ATTRIBUTES) << path;
  EXPECT_EQ(ReadRegText(HKEY_CLASSES_ROOT, server, "ThreadingModel"), "Apartment");

  CLSID parsed{};
  std::wstring wide(vasio::kClsidText, vasio::kClsidText + sizeof vasio::kClsidText - 1);
  ASSERT_EQ(CLSIDFromString(wide.c_str(), &parsed), S_OK);
  EXPECT_TRUE(IsEqualCLSID(parsed, vasio::kClsid)) << "the text and the binary identifier agree";
}

// The plug-in's open sequence, step by step; returns the name of the first
// operation that failed, or "" when the device runs.
std::string OpenSequence(IAsioDriver* driver) {
  if (driver->init(nullptr) != 1) return "init";
  std::int32_t inputs = 0, outputs = 0;
  if (driver->getChannels(&inputs, &outputs) != ASE_OK) return "getChannels";
  ASIOChannelInfo info{};
  if (driver->getChannelInfo(&info) != ASE_OK) return "getChannelInfo";
  bool anyRate = false;
  for (double rate : {44100.0, 48000.0, 88200.0, 96000.0, 192000.0})
    anyRate |= driver->canSampleRate(rate) == ASE_OK;
  if (!anyRate) return "canSampleRate";
  if (driver->setSampleRate(48000.0) != ASE_OK) return "setSampleRate";
  std::int32_t minSize = 0, maxSize = 0, preferred = 0, granularity = 0;
  if (driver->getBufferSize(&minSize, &maxSize, &preferred, &granularity) != ASE_OK) return "getBufferSize";
  std::vector<ASIOBufferInfo> infos = OutputInfos(outputs);
  ASIOCallbacks callbacks = LogCallbacks();
  if (driver->createBuffers(infos.data(), outputs, preferred, &callbacks) != ASE_OK) return "createBuffers";
  const bool started = driver->start() == ASE_OK;
  driver->stop();
  driver->disposeBuffers();
  return started ? "" : "start";
}

TEST_F(VirtualAsioTest, EachFailureSwitchFailsItsOwnOperation) {
  {
    TDriverEnvironment env{{"RATES", "48000"}, {"CLOCK", "fast"}, {"MAX_BUFFERS", "2"}};
    TAsioDriverRef driver;
    ASSERT_EQ(openAsio_.Create(vasio::kClsid, driver), S_OK);
    EXPECT_EQ(OpenSequence(driver.Get()), "") << "no switch, no failure";
  }
  for (const char* operation : {"init", "getChannels", "getChannelInfo", "canSampleRate", "setSampleRate",
                                "getBufferSize", "createBuffers", "start"}) {
    TDriverEnvironment env{{"RATES", "48000"}, {"CLOCK", "fast"}, {"MAX_BUFFERS", "2"}, {"FAIL", operation}};
    TAsioDriverRef driver;
    ASSERT_EQ(openAsio_.Create(vasio::kClsid, driver), S_OK);
    EXPECT_EQ(OpenSequence(driver.Get()), operation);
  }
  TDriverEnvironment env{{"FAIL", "getChannels, start"}};
  TAsioDriverRef driver;
  ASSERT_EQ(openAsio_.Create(vasio::kClsid, driver), S_OK);
  ASSERT_EQ(driver->init(nullptr), 1);
  std::int32_t inputs = 0, outputs = 0;
  EXPECT_NE(driver->getChannels(&inputs, &outputs), ASE_OK) << "a list of switches";
  EXPECT_EQ(driver->canSampleRate(44100.0), ASE_OK);
}

TEST_F(VirtualAsioTest, AConfigurationThatDoesNotParseFailsInitWithItsReason) {
  for (const auto& [key, value] : std::vector<std::pair<const char*, std::string>>{{"OUTPUTS", "two"},
                                                                                   {"RATES", "48000,fast"},
                                                                                   {"CLOCK", "slow"},
                                                                                   {"FAIL", "open"},
                                                                                   {"BUFFER", "0"}}) {
    TDriverEnvironment env{{key, value}};
    TAsioDriverRef driver;
    ASSERT_EQ(openAsio_.Create(vasio::kClsid, driver), S_OK);
    EXPECT_EQ(driver->init(nullptr), 0) << key << "=" << value;
    char message[124] = {};
    driver->getErrorMessage(message);
    EXPECT_NE(std::string(message).find(value), std::string::npos) << message;
  }
}

struct TRecordingCase {
  std::int32_t sampleType;
  const char* file;
  int bytesPerSample;
  bool wav;
  bool hostWrites;  // false: the writer has nothing for this type
};

// Runs a bounded session whose callback writes the pattern with WriteSample, and
// compares each channel's recording with what the pattern must give.
void RecordAndCompare(const TOpenAsio& openAsio, const TRecordingCase& c) {
  constexpr int kChannels = 2, kBuffer = 48, kSwitches = 7;
  const testing::ScratchDir dir("type-" + std::to_string(c.sampleType));
  TDriverEnvironment env{{"OUTPUTS", std::to_string(kChannels)},
                         {"SAMPLE_TYPE", std::to_string(c.sampleType)},
                         {"RATES", "44100,48000"},
                         {"BUFFER", std::to_string(kBuffer)},
                         {"CLOCK", "fast"},
                         {"MAX_BUFFERS", std::to_string(kSwitches)},
                         {"RECORD_DIR", dir.Dir().string()}};
  TAsioDriverRef driver;
  ASSERT_EQ(openAsio.Create(vasio::kClsid, driver), S_OK);
  ASSERT_EQ(driver->init(nullptr), 1);
  ASSERT_EQ(driver->setSampleRate(48000.0), ASE_OK);
  std::vector<ASIOBufferInfo> infos = OutputInfos(kChannels);
  ASIOCallbacks callbacks = LogCallbacks();
  switchLog.Reset();
  switchLog.Infos = infos.data();
  switchLog.Channels = kChannels;
  switchLog.BufferSize = kBuffer;
  switchLog.SampleType = c.sampleType;
  switchLog.Write = true;
  ASSERT_EQ(driver->createBuffers(infos.data(), kChannels, kBuffer, &callbacks), ASE_OK);
  ASSERT_EQ(driver->start(), ASE_OK);
  ASSERT_TRUE(WaitForSwitches(kSwitches));
  driver->stop();
  ASSERT_EQ(switchLog.Count.load(), kSwitches);

  // Complete on disk once stopped, before the buffers go.
  for (int ch = 0; ch < kChannels; ++ch) {
    const std::vector<std::uint8_t> bytes = testing::ReadBytes(dir.Path("out" + std::to_string(ch) + c.file));
    const std::size_t header = c.wav ? 44 : 0;
    const std::size_t data = static_cast<std::size_t>(kSwitches) * kBuffer * c.bytesPerSample;
    ASSERT_EQ(bytes.size(), header + data) << "channel " << ch;
    if (c.wav) {
      EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 4), "RIFF");
      EXPECT_EQ(Le32(bytes, 4), 36 + data);
      EXPECT_EQ(std::string(bytes.begin() + 8, bytes.begin() + 16), "WAVEfmt ");
      EXPECT_EQ(Le32(bytes, 16), 16u);
      EXPECT_EQ(Le16(bytes, 20), 1) << "PCM";
      EXPECT_EQ(Le16(bytes, 22), 1) << "mono";
      EXPECT_EQ(Le32(bytes, 24), 48000u);
      EXPECT_EQ(Le32(bytes, 28), 48000u * c.bytesPerSample);
      EXPECT_EQ(Le16(bytes, 32), c.bytesPerSample);
      EXPECT_EQ(Le16(bytes, 34), 8 * c.bytesPerSample);
      EXPECT_EQ(std::string(bytes.begin() + 36, bytes.begin() + 40), "data");
      EXPECT_EQ(Le32(bytes, 40), data);
    }
    std::vector<std::uint8_t> expected(data, vasio::kFillByte);
    if (c.hostWrites) {
      std::uint8_t* pos = expected.data();
      for (int n = 0; n < kSwitches; ++n)
        for (int i = 0; i < kBuffer; ++i) WriteSample(c.sampleType, pos, PatternSample(n, ch, i));
      ASSERT_EQ(pos, expected.data() + expected.size());
    }
    EXPECT_TRUE(
        std::equal(expected.begin(), expected.end(), bytes.begin() + static_cast<std::ptrdiff_t>(header)))
        << "type " << c.sampleType << ", channel " << ch;
  }
  EXPECT_EQ(driver->disposeBuffers(), ASE_OK);
}

TEST_F(VirtualAsioTest, RecordsEveryOutputByteForByte) {
  RecordAndCompare(openAsio_, {ASIOSTInt24LSB, ".wav", 3, true, true});
  RecordAndCompare(openAsio_, {ASIOSTInt16LSB, ".wav", 2, true, true});
  RecordAndCompare(openAsio_, {ASIOSTInt32LSB, ".wav", 4, true, true});
  RecordAndCompare(openAsio_, {ASIOSTInt16MSB, ".raw", 2, false, true});
  RecordAndCompare(openAsio_, {ASIOSTInt24MSB, ".raw", 3, false, true});
  // Types the writer leaves alone: the driver's fill pattern comes through.
  RecordAndCompare(openAsio_, {ASIOSTFloat32LSB, ".raw", 4, false, false});
  RecordAndCompare(openAsio_, {ASIOSTFloat64LSB, ".raw", 8, false, false});
  RecordAndCompare(openAsio_, {5, ".raw", 4, false, false});
}

TEST_F(VirtualAsioTest, NoCallbackRunsOrArrivesAfterStopOrDisposeReturns) {
  TDriverEnvironment env{{"BUFFER", "32"}, {"RATES", "48000"}, {"CLOCK", "realtime"}};
  for (const bool disposeOnly : {false, true}) {
    switchLog.Reset();
    switchLog.HoldMs = 2;  // so a stop usually lands while a callback runs
    TAsioDriverRef driver;
    ASSERT_EQ(openAsio_.Create(vasio::kClsid, driver), S_OK);
    ASSERT_EQ(driver->init(nullptr), 1);
    std::vector<ASIOBufferInfo> infos = OutputInfos(2);
    ASIOCallbacks callbacks = LogCallbacks();
    ASSERT_EQ(driver->createBuffers(infos.data(), 2, 32, &callbacks), ASE_OK);
    ASSERT_EQ(driver->start(), ASE_OK);
    ASSERT_TRUE(WaitForSwitches(5));
    if (disposeOnly)
      EXPECT_EQ(driver->disposeBuffers(), ASE_OK);
    else
      EXPECT_EQ(driver->stop(), ASE_OK);
    EXPECT_FALSE(switchLog.InCallback.load()) << "returned while bufferSwitch ran";
    const int count = switchLog.Count.load();
    Sleep(30);
    EXPECT_EQ(switchLog.Count.load(), count)
        << "a switch after " << (disposeOnly ? "disposeBuffers" : "stop");
    if (!disposeOnly) {
      EXPECT_EQ(driver->disposeBuffers(), ASE_OK);
    }
  }
}

TEST_F(VirtualAsioTest, SyncFirstRunsTheFirstSwitchInsideStart) {
  TDriverEnvironment env{{"SYNC_FIRST", "1"}, {"CLOCK", "fast"}, {"MAX_BUFFERS", "3"}};
  TAsioDriverRef driver;
  ASSERT_EQ(openAsio_.Create(vasio::kClsid, driver), S_OK);
  ASSERT_EQ(driver->init(nullptr), 1);
  std::vector<ASIOBufferInfo> infos = OutputInfos(2);
  ASIOCallbacks callbacks = LogCallbacks();
  ASSERT_EQ(driver->createBuffers(infos.data(), 2, 256, &callbacks), ASE_OK);
  ASSERT_EQ(driver->start(), ASE_OK);
  ASSERT_TRUE(WaitForSwitches(3));
  driver->stop();
  ASSERT_EQ(switchLog.Threads.size(), 3u);
  EXPECT_EQ(switchLog.Threads[0], GetCurrentThreadId());
  EXPECT_EQ(switchLog.Indexes[0], 0);
  EXPECT_NE(switchLog.Threads[1], GetCurrentThreadId());
  EXPECT_EQ(switchLog.Indexes[1], 1);
  driver->disposeBuffers();
}

// What the driver told the host through asioMessage, and on which thread.
struct TMessage {
  std::int32_t selector;
  std::int32_t value;
  DWORD thread;
  bool operator==(const TMessage&) const = default;
};
std::mutex messageMutex;
std::vector<TMessage> messages;

std::int32_t __cdecl LogMessage(std::int32_t selector, std::int32_t value, void*, double*) {
  std::lock_guard<std::mutex> lock(messageMutex);
  messages.push_back({selector, value, GetCurrentThreadId()});
  return selector == kAsioSelectorSupported || selector == kAsioResetRequest ? 1 : 0;
}

std::vector<TMessage> Messages() {
  std::lock_guard<std::mutex> lock(messageMutex);
  return messages;
}

// Waits for a condition, up to `limit`.
template <typename Condition>
bool WaitFor(Condition&& condition, std::chrono::milliseconds limit = std::chrono::seconds(10)) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > end) return false;
    Sleep(5);
  }
  return true;
}

// Creates, inits and starts the driver with the logging callbacks at its preferred
// buffer size, which is returned.
std::int32_t StartLogging(const TOpenAsio& openAsio, TAsioDriverRef& driver,
                          std::vector<ASIOBufferInfo>& infos, ASIOCallbacks& callbacks) {
  EXPECT_EQ(openAsio.Create(vasio::kClsid, driver), S_OK);
  EXPECT_EQ(driver->init(nullptr), 1);
  std::int32_t minSize = 0, maxSize = 0, preferred = 0, granularity = 0;
  EXPECT_EQ(driver->getBufferSize(&minSize, &maxSize, &preferred, &granularity), ASE_OK);
  infos = OutputInfos(2);
  callbacks = LogCallbacks();
  callbacks.asioMessage = LogMessage;
  EXPECT_EQ(driver->createBuffers(infos.data(), 2, preferred, &callbacks), ASE_OK);
  EXPECT_EQ(driver->start(), ASE_OK);
  return preferred;
}

void StopLogging(TAsioDriverRef& driver) {
  driver->stop();
  driver->disposeBuffers();
  driver.Reset();
}

// Asked whether the host takes it, then sent; from the switch thread inside a switch
// or from a thread of the driver's own; then no switch, as many drivers do. A driver
// object made after it runs with the new buffer size and sends no second request.
TEST_F(VirtualAsioTest, AResetRequestComesOnceAndTheNewBufferSizeWithTheNextDriverObject) {
  for (const char* from : {"switch", "thread"}) {
    SCOPED_TRACE(from);
    TDriverEnvironment env{{"RESET_AFTER", "150"}, {"RESET_FROM", from}, {"RESET_BUFFER", "512"},
                           {"BUFFER", "256"},      {"RATES", "48000"},   {"CLOCK", "realtime"}};
    messages.clear();
    switchLog.Reset();
    TAsioDriverRef driver;
    std::vector<ASIOBufferInfo> infos;
    ASIOCallbacks callbacks{};
    EXPECT_EQ(StartLogging(openAsio_, driver, infos, callbacks), 256);
    ASSERT_TRUE(WaitFor([] { return Messages().size() >= 2; }));
    const int atRequest = switchLog.Count.load();
    EXPECT_GT(atRequest, 5) << "about 150 ms of 5.3 ms switches before it";
    Sleep(100);
    EXPECT_LE(switchLog.Count.load(), atRequest + 1) << "a switch at most, the one it came in";
    const std::vector<TMessage> sent = Messages();
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[0].selector, kAsioSelectorSupported);
    EXPECT_EQ(sent[0].value, kAsioResetRequest);
    EXPECT_EQ(sent[1].selector, kAsioResetRequest);
    EXPECT_EQ(sent[0].thread, sent[1].thread);
    EXPECT_NE(sent[1].thread, GetCurrentThreadId());
    const DWORD switchThread = switchLog.Threads.front();
    if (std::string(from) == "switch")
      EXPECT_EQ(sent[1].thread, switchThread);
    else
      EXPECT_NE(sent[1].thread, switchThread);
    StopLogging(driver);

    switchLog.Reset();
    EXPECT_EQ(StartLogging(openAsio_, driver, infos, callbacks), 512) << "the size the reset announced";
    EXPECT_TRUE(WaitForSwitches(40));
    StopLogging(driver);
    EXPECT_EQ(Messages().size(), 2u) << "once per process";
  }
}

// Gone without a word, with init refused meanwhile, and back where it was.
TEST_F(VirtualAsioTest, ADropOutStopsTheSwitchesAndRefusesInitUntilItEnds) {
  TDriverEnvironment env{
      {"DROP_AFTER", "400"}, {"DROP_FOR", "2000"}, {"RATES", "48000"}, {"CLOCK", "realtime"}};
  switchLog.Reset();
  TAsioDriverRef driver;
  std::vector<ASIOBufferInfo> infos;
  ASIOCallbacks callbacks{};
  StartLogging(openAsio_, driver, infos, callbacks);
  ASSERT_TRUE(WaitForSwitches(10));
  // Stands still: no switch for 100 ms.
  int still = -1;
  ASSERT_TRUE(WaitFor([&] {
    const int before = switchLog.Count.load();
    Sleep(100);
    still = switchLog.Count.load();
    return still == before;
  }));
  TAsioDriverRef other;
  ASSERT_EQ(openAsio_.Create(vasio::kClsid, other), S_OK);
  EXPECT_EQ(other->init(nullptr), 0) << "absent while it is out";
  char message[124] = {};
  other->getErrorMessage(message);
  EXPECT_NE(std::string(message).find("not present"), std::string::npos) << message;
  other.Reset();
  // The driver object that was kept calls back again, and a new one opens.
  ASSERT_TRUE(WaitFor([&] { return switchLog.Count.load() > still + 10; }));
  StopLogging(driver);
  ASSERT_EQ(openAsio_.Create(vasio::kClsid, other), S_OK);
  EXPECT_EQ(other->init(nullptr), 1);
}

// The INI file beside the DLL, with the environment above it: a copy of the
// driver in a directory of its own, created through its class factory.
TEST_F(VirtualAsioTest, ReadsTheIniFileBesideItAndTheEnvironmentWins) {
  const testing::ScratchDir dir;
  char self[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, self, MAX_PATH);
  std::string bin(self);
  bin = bin.substr(0, bin.find_last_of('\\') + 1);
  ASSERT_TRUE(CopyFileA((bin + vasio::kFileName).c_str(), dir.Path(vasio::kFileName).c_str(), FALSE));
  {
    std::ofstream ini(dir.Path(vasio::kIniName));
    ini << "[VirtualAsio]\nOutputs=6\nInputs=4\nSampleType=2\n";
  }
  TDriverEnvironment env{{"INPUTS", "1"}};
  HMODULE copy = LoadLibraryA(dir.Path(vasio::kFileName).c_str());
  ASSERT_NE(copy, nullptr);
  using GetClassObject = HRESULT(__stdcall*)(REFCLSID, REFIID, void**);
  auto getClassObject =
      reinterpret_cast<GetClassObject>(reinterpret_cast<void*>(GetProcAddress(copy, "DllGetClassObject")));
  ASSERT_NE(getClassObject, nullptr);
  IClassFactory* factory = nullptr;
  ASSERT_EQ(getClassObject(vasio::kClsid, IID_IClassFactory, reinterpret_cast<void**>(&factory)), S_OK);
  IAsioDriverThiscall* driver = nullptr;
  ASSERT_EQ(factory->CreateInstance(nullptr, vasio::kClsid, reinterpret_cast<void**>(&driver)), S_OK);
  EXPECT_EQ(driver->init(nullptr), 1);
  std::int32_t inputs = 0, outputs = 0;
  EXPECT_EQ(driver->getChannels(&inputs, &outputs), ASE_OK);
  EXPECT_EQ(outputs, 6);
  EXPECT_EQ(inputs, 1) << "the environment over the file";
  ASIOChannelInfo info{};
  EXPECT_EQ(driver->getChannelInfo(&info), ASE_OK);
  EXPECT_EQ(info.type, 2);
  driver->Release();
  factory->Release();
  FreeLibrary(copy);
}

}  // namespace
}  // namespace tonvane::test
