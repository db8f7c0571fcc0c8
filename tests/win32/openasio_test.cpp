// OpenAsio.dll over the registered virtual driver: the stdcall face of a thiscall
// driver, reference counting, and COM initialisation of the calling thread.
#include "asio_test_support.h"

namespace tonvane::test {
namespace {

class OpenAsioTest : public ::testing::Test {
 protected:
  void SetUp() override {
    switchLog.Reset();
    ASSERT_TRUE(openAsio_.Loaded()) << "OpenAsio.dll with CreateOpenAsio beside the test";
  }
  TOpenAsio openAsio_;
};

TEST_F(OpenAsioTest, EverySlotThePlugInUsesWorksThroughTheStdcallFace) {
  TDriverEnvironment env{{"OUTPUTS", "3"}, {"INPUTS", "1"},   {"SAMPLE_TYPE", "17"}, {"RATES", "44100,48000"},
                         {"BUFFER", "64"}, {"CLOCK", "fast"}, {"MAX_BUFFERS", "8"}};
  TAsioDriverRef driver;
  ASSERT_EQ(openAsio_.Create(vasio::kClsid, driver), S_OK);
  ASSERT_TRUE(driver);

  EXPECT_EQ(driver->init(nullptr), 1);
  char name[32] = {};
  driver->getDriverName(name);
  EXPECT_STREQ(name, vasio::kDriverName);

  std::int32_t inputs = -1, outputs = -1;
  ASSERT_EQ(driver->getChannels(&inputs, &outputs), ASE_OK);
  EXPECT_EQ(inputs, 1);
  EXPECT_EQ(outputs, 3);

  ASIOChannelInfo info{};
  info.channel = 0;
  info.isInput = ASIOFalse;
  ASSERT_EQ(driver->getChannelInfo(&info), ASE_OK);
  EXPECT_EQ(info.type, 17);
  info = {};
  info.channel = 3;
  EXPECT_NE(driver->getChannelInfo(&info), ASE_OK) << "outputs are 0..2";

  EXPECT_EQ(driver->canSampleRate(44100.0), ASE_OK);
  EXPECT_EQ(driver->canSampleRate(48000.0), ASE_OK);
  EXPECT_NE(driver->canSampleRate(96000.0), ASE_OK);
  double rate = 0;
  EXPECT_EQ(driver->getSampleRate(&rate), ASE_OK);
  EXPECT_EQ(rate, 44100.0) << "the first accepted rate is the current one";
  EXPECT_EQ(driver->setSampleRate(48000.0), ASE_OK);
  EXPECT_NE(driver->setSampleRate(96000.0), ASE_OK);
  driver->getSampleRate(&rate);
  EXPECT_EQ(rate, 48000.0) << "a refused rate leaves the rate alone";

  std::int32_t minSize = 0, maxSize = 0, preferred = 0, granularity = -1;
  ASSERT_EQ(driver->getBufferSize(&minSize, &maxSize, &preferred, &granularity), ASE_OK);
  EXPECT_EQ(minSize, 64);
  EXPECT_EQ(maxSize, 64);
  EXPECT_EQ(preferred, 64);

  std::vector<ASIOBufferInfo> infos = OutputInfos(3);
  ASIOCallbacks callbacks = LogCallbacks();
  ASSERT_EQ(driver->createBuffers(infos.data(), 3, preferred, &callbacks), ASE_OK);
  std::vector<void*> seen;
  for (const ASIOBufferInfo& b : infos) {
    for (void* half : b.buffers) {
      ASSERT_NE(half, nullptr);
      EXPECT_EQ(std::count(seen.begin(), seen.end(), half), 0) << "every half is a buffer of its own";
      seen.push_back(half);
    }
  }

  ASSERT_EQ(driver->start(), ASE_OK);
  ASSERT_TRUE(WaitForSwitches(8));
  EXPECT_EQ(driver->stop(), ASE_OK);
  EXPECT_EQ(switchLog.Count.load(), 8) << "MAX_BUFFERS bounds the run";
  ASSERT_EQ(switchLog.Indexes.size(), 8u);
  for (std::size_t i = 0; i < switchLog.Indexes.size(); ++i) {
    EXPECT_EQ(switchLog.Indexes[i], static_cast<int>(i % 2)) << "halves alternate from 0, switch " << i;
    EXPECT_NE(switchLog.Threads[i], GetCurrentThreadId()) << "bufferSwitch comes from the driver's thread";
  }
  EXPECT_EQ(driver->disposeBuffers(), ASE_OK);
  EXPECT_NE(driver->disposeBuffers(), ASE_OK) << "nothing left to dispose";
  EXPECT_NE(driver->start(), ASE_OK) << "no buffers, no start";
}

TEST_F(OpenAsioTest, ReferencesPassThroughToTheDriver) {
  TAsioDriverRef driver;
  ASSERT_EQ(openAsio_.Create(vasio::kClsid, driver), S_OK);
  HMODULE server = GetModuleHandleA(vasio::kFileName);
  ASSERT_NE(server, nullptr) << "COM loaded the registered server";
  using CanUnload = HRESULT(__stdcall*)();
  auto canUnload =
      reinterpret_cast<CanUnload>(reinterpret_cast<void*>(GetProcAddress(server, "DllCanUnloadNow")));
  ASSERT_NE(canUnload, nullptr);

  IAsioDriver* raw = driver.Detach();
  EXPECT_EQ(raw->AddRef(), 2u);
  IUnknown* unknown = nullptr;
  ASSERT_EQ(raw->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&unknown)), S_OK);
  EXPECT_EQ(static_cast<void*>(unknown), static_cast<void*>(raw));
  IAsioDriver* again = nullptr;
  ASSERT_EQ(raw->QueryInterface(vasio::kClsid, reinterpret_cast<void**>(&again)), S_OK);
  void* none = reinterpret_cast<void*>(1);
  EXPECT_EQ(raw->QueryInterface(IID_IClassFactory, &none), E_NOINTERFACE);
  EXPECT_EQ(none, nullptr);

  EXPECT_EQ(again->Release(), 3u);
  EXPECT_EQ(unknown->Release(), 2u);
  EXPECT_EQ(raw->Release(), 1u);
  EXPECT_EQ(canUnload(), S_FALSE) << "the driver object still lives";
  EXPECT_EQ(raw->init(nullptr), 1) << "the last reference still works";
  EXPECT_EQ(raw->Release(), 0u);
  // Whether COM has already let the server go or not, no driver object is left.
  server = GetModuleHandleA(vasio::kFileName);
  if (server != nullptr) {
    EXPECT_EQ(canUnload(), S_OK);
  }
}

// The thread's COM state after a run of creations and releases, told by what a
// multithreaded initialisation gets: S_OK when nothing is left initialised,
// RPC_E_CHANGED_MODE while a single-threaded initialisation is still in place.
HRESULT ProbeAndUndo() {
  const HRESULT hr = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  if (SUCCEEDED(hr)) CoUninitialize();
  return hr;
}

TEST_F(OpenAsioTest, ComInitialisationOfTheCallingThreadIsBalanced) {
  const TOpenAsio& openAsio = openAsio_;
  std::thread([&openAsio] {
    // A thread without COM: the last driver made on it takes COM away again.
    TAsioDriverRef first, second;
    ASSERT_EQ(openAsio.Create(vasio::kClsid, first), S_OK);
    ASSERT_EQ(openAsio.Create(vasio::kClsid, second), S_OK);
    first.Reset();
    EXPECT_EQ(ProbeAndUndo(), RPC_E_CHANGED_MODE) << "a driver made here still lives";
    EXPECT_EQ(second->init(nullptr), 1);
    second.Reset();
    EXPECT_EQ(ProbeAndUndo(), S_OK) << "the last driver took its initialisation with it";

    // A failed creation leaves nothing behind either.
    TAsioDriverRef none;
    EXPECT_TRUE(FAILED(openAsio.Create(GUID{0x12345678, 1, 2, {3, 4, 5, 6, 7, 8, 9, 10}}, none)));
    EXPECT_EQ(ProbeAndUndo(), S_OK);
  }).join();

  std::thread([&openAsio] {
    // A thread the caller initialised keeps its own initialisation.
    ASSERT_EQ(CoInitialize(nullptr), S_OK);
    {
      TAsioDriverRef driver;
      ASSERT_EQ(openAsio.Create(vasio::kClsid, driver), S_OK);
    }
    EXPECT_EQ(ProbeAndUndo(), RPC_E_CHANGED_MODE) << "the caller's initialisation was undone";
    CoUninitialize();
    EXPECT_EQ(ProbeAndUndo(), S_OK);
  }).join();

  std::thread([&openAsio] {
    // A multithreaded caller cannot host an apartment-model driver; nothing of
    // ours may be left to undo.
    ASSERT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
    TAsioDriverRef driver;
    const HRESULT hr = openAsio.Create(vasio::kClsid, driver);
    driver.Reset();
    (void)hr;
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_FALSE) << "still the caller's apartment";
    CoUninitialize();
    CoUninitialize();
    EXPECT_EQ(ProbeAndUndo(), S_OK);
  }).join();
}

TEST_F(OpenAsioTest, FailuresAreReportedAsComResults) {
  TAsioDriverRef driver;
  const GUID unknown = {0xdeadbeef, 0x1234, 0x5678, {1, 2, 3, 4, 5, 6, 7, 8}};
  const HRESULT hr = openAsio_.Create(unknown, driver);
  EXPECT_TRUE(FAILED(hr));
  EXPECT_EQ(hr, REGDB_E_CLASSNOTREG);
  EXPECT_FALSE(driver);

  HMODULE module = GetModuleHandleA("OpenAsio.dll");
  auto create =
      reinterpret_cast<CreateOpenAsioFunc>(reinterpret_cast<void*>(GetProcAddress(module, "CreateOpenAsio")));
  EXPECT_EQ(create(&vasio::kClsid, nullptr), E_POINTER);
  IAsioDriver* out = reinterpret_cast<IAsioDriver*>(1);
  EXPECT_EQ(create(nullptr, &out), E_POINTER);
  EXPECT_EQ(out, nullptr);
}

// The three conventions, checked at the machine level: a compiler that got one of
// them wrong would still agree with itself, so the calls here are made by hand.
TEST_F(OpenAsioTest, CallingConventionsHoldAtTheMachineLevel) {
  TDriverEnvironment env{{"OUTPUTS", "5"}, {"INPUTS", "2"}, {"RATES", "48000"}};
  std::uint32_t left = 99;

  // MinGW's plain member functions are thiscall, as MSVC's are.
  struct TPlain {
    virtual int Combine(int a, int b) { return a * 10 + b + base; }
    virtual ~TPlain() = default;
    int base = 1000;
  } plain;
  EXPECT_EQ(static_cast<int>(RawCall(Slot(&plain, 0), &plain, {4, 2}, left)), 1042);
  EXPECT_EQ(left, 0u) << "thiscall: the callee pops its arguments";

  // The driver itself, called as an MSVC-built host calls it: object in ECX.
  ASSERT_EQ(CoInitialize(nullptr), S_OK);
  {
    void* object = nullptr;
    ASSERT_EQ(CoCreateInstance(vasio::kClsid, nullptr, CLSCTX_INPROC_SERVER, vasio::kClsid, &object), S_OK);
    EXPECT_EQ(RawCall(Slot(object, AsioSlot::init), object, {0}, left), 1u);
    EXPECT_EQ(left, 0u);
    std::int32_t inputs = 0, outputs = 0;
    EXPECT_EQ(RawCall(Slot(object, AsioSlot::getChannels), object, {Word(&inputs), Word(&outputs)}, left),
              0u);
    EXPECT_EQ(left, 0u);
    EXPECT_EQ(inputs, 2);
    EXPECT_EQ(outputs, 5);
    EXPECT_EQ(RawCall(Slot(object, AsioSlot::canSampleRate), object, Words(48000.0), left), 0u);
    EXPECT_EQ(left, 0u) << "a double argument is two words, both popped";
    EXPECT_NE(RawCall(Slot(object, AsioSlot::canSampleRate), object, Words(44100.0), left), 0u);
    // IUnknown stays stdcall: the object is the first stacked argument.
    EXPECT_EQ(RawCall(Slot(object, 2), nullptr, {Word(object)}, left), 0u) << "Release of the last reference";
    EXPECT_EQ(left, 0u);
  }
  CoUninitialize();

  // OpenAsio's face: every slot stdcall with the object stacked first.
  TAsioDriverRef driver;
  ASSERT_EQ(openAsio_.Create(vasio::kClsid, driver), S_OK);
  void* object = driver.Get();
  EXPECT_EQ(RawCall(Slot(object, AsioSlot::init), nullptr, {Word(object), 0}, left), 1u);
  EXPECT_EQ(left, 0u);
  std::int32_t inputs = 0, outputs = 0;
  EXPECT_EQ(RawCall(Slot(object, AsioSlot::getChannels), nullptr,
                    {Word(object), Word(&inputs), Word(&outputs)}, left),
            0u);
  EXPECT_EQ(left, 0u);
  EXPECT_EQ(outputs, 5);
  std::vector<std::uint32_t> args{Word(object)};
  for (std::uint32_t w : Words(48000.0)) args.push_back(w);
  EXPECT_EQ(RawCall(Slot(object, AsioSlot::setSampleRate), nullptr, args, left), 0u);
  EXPECT_EQ(left, 0u);
  double rate = 0;
  EXPECT_EQ(RawCall(Slot(object, AsioSlot::getSampleRate), nullptr, {Word(object), Word(&rate)}, left), 0u);
  EXPECT_EQ(rate, 48000.0);
}

}  // namespace
}  // namespace tonvane::test
