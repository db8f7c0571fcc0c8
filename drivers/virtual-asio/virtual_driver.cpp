#include "virtual_driver.h"

#include <algorithm>
#include <bit>
#include <chrono>
#include <cstring>
#include <stdexcept>

#include "base/c_string.h"
#include "base/module_path_win32.h"
#include "virtual_asio_ids.h"

namespace tonvane::vasio {
namespace {

std::atomic<long> aliveDrivers{0};

}  // namespace

static_assert(std::atomic<std::uint64_t>::is_always_lock_free, "the clock thread must not take a lock");

TVirtualDriver::TVirtualDriver() { ++aliveDrivers; }

long TVirtualDriver::Alive() { return aliveDrivers.load(); }

TVirtualDriver::~TVirtualDriver() {
  StopThread();
  buffers_.clear();
  --aliveDrivers;
}

HRESULT __stdcall TVirtualDriver::QueryInterface(REFIID riid, void** object) {
  if (object == nullptr) return E_POINTER;
  // There is no interface identifier for ASIO: a driver answers to its class's.
  if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, kClsid)) {
    *object = static_cast<IAsioDriverThiscall*>(this);
    AddRef();
    return S_OK;
  }
  *object = nullptr;
  return E_NOINTERFACE;
}

ULONG __stdcall TVirtualDriver::AddRef() { return refs_.fetch_add(1, std::memory_order_relaxed) + 1; }

ULONG __stdcall TVirtualDriver::Release() {
  const ULONG left = refs_.fetch_sub(1, std::memory_order_acq_rel) - 1;
  if (left == 0) delete this;
  return left;
}

ASIOError TVirtualDriver::Fail(ASIOError code, const std::string& message) {
  error_ = message;
  return code;
}

double TVirtualDriver::Rate() const {
  return std::bit_cast<double>(rateBits_.load(std::memory_order_relaxed));
}

ASIOBool __thiscall TVirtualDriver::init(void* /*sysHandle*/) {
  if (running_ || buffersCreated_) return ASIOTrue;  // already in use: keep what the host set up
  initialized_ = false;
  try {
    config_ = LoadConfig(ThisModuleDirectory() + kIniName);
  } catch (const std::exception& e) {
    error_ = std::string("configuration: ") + e.what();
    return ASIOFalse;
  }
  if (config_.Fails("init")) {
    error_ = "init failed (as configured)";
    return ASIOFalse;
  }
  timeline_ = ReadTimeline();
  if (DropOutLeft(timeline_.Now()) != 0) {
    error_ = "device not present (drop-out, as configured)";
    return ASIOFalse;
  }
  // A reset changed the device's settings for every driver object after it.
  if (timeline_.ResetSent && timeline_.Buffer > 0) config_.Buffer = timeline_.Buffer;
  resetPending_ = config_.ResetAfter >= 0 && !timeline_.ResetSent;
  rateBits_.store(std::bit_cast<std::uint64_t>(config_.Rates.front()), std::memory_order_relaxed);
  initialized_ = true;
  error_.clear();
  return ASIOTrue;
}

void __thiscall TVirtualDriver::getDriverName(char* name) {
  if (name != nullptr) CopyBounded(name, 32, kDriverName);
}

std::int32_t __thiscall TVirtualDriver::getDriverVersion() { return 1; }

void __thiscall TVirtualDriver::getErrorMessage(char* string) {
  if (string != nullptr) CopyBounded(string, 124, error_);
}

ASIOError __thiscall TVirtualDriver::getChannels(std::int32_t* numInputChannels,
                                                 std::int32_t* numOutputChannels) {
  if (!initialized_) return Fail(ASE_NotPresent, "not initialised");
  if (config_.Fails("getChannels")) return Fail(ASE_NotPresent, "getChannels failed (as configured)");
  if (numInputChannels == nullptr || numOutputChannels == nullptr)
    return Fail(ASE_InvalidParameter, "getChannels: null address");
  *numInputChannels = config_.Inputs;
  *numOutputChannels = config_.Outputs;
  return ASE_OK;
}

ASIOError __thiscall TVirtualDriver::getLatencies(std::int32_t* inputLatency, std::int32_t* outputLatency) {
  if (!initialized_) return Fail(ASE_NotPresent, "not initialised");
  if (inputLatency == nullptr || outputLatency == nullptr)
    return Fail(ASE_InvalidParameter, "getLatencies: null address");
  *inputLatency = config_.Buffer;
  *outputLatency = config_.Buffer;
  return ASE_OK;
}

ASIOError __thiscall TVirtualDriver::getBufferSize(std::int32_t* minSize, std::int32_t* maxSize,
                                                   std::int32_t* preferredSize, std::int32_t* granularity) {
  if (!initialized_) return Fail(ASE_NotPresent, "not initialised");
  if (config_.Fails("getBufferSize")) return Fail(ASE_NotPresent, "getBufferSize failed (as configured)");
  if (minSize == nullptr || maxSize == nullptr || preferredSize == nullptr || granularity == nullptr)
    return Fail(ASE_InvalidParameter, "getBufferSize: null address");
  // Like many real drivers: one fixed size.
  *minSize = *maxSize = *preferredSize = config_.Buffer;
  *granularity = 0;
  return ASE_OK;
}

ASIOError __thiscall TVirtualDriver::canSampleRate(ASIOSampleRate sampleRate) {
  if (!initialized_) return Fail(ASE_NotPresent, "not initialised");
  if (config_.Fails("canSampleRate")) return Fail(ASE_NoClock, "canSampleRate failed (as configured)");
  const bool accepted =
      std::find(config_.Rates.begin(), config_.Rates.end(), sampleRate) != config_.Rates.end();
  return accepted ? ASE_OK : Fail(ASE_NoClock, "rate not supported");
}

ASIOError __thiscall TVirtualDriver::getSampleRate(ASIOSampleRate* sampleRate) {
  if (!initialized_) return Fail(ASE_NotPresent, "not initialised");
  if (sampleRate == nullptr) return Fail(ASE_InvalidParameter, "getSampleRate: null address");
  *sampleRate = Rate();
  return ASE_OK;
}

ASIOError __thiscall TVirtualDriver::setSampleRate(ASIOSampleRate sampleRate) {
  if (!initialized_) return Fail(ASE_NotPresent, "not initialised");
  if (config_.Fails("setSampleRate")) return Fail(ASE_NoClock, "setSampleRate failed (as configured)");
  if (config_.Fails("rateChange") && sampleRate != Rate())
    return Fail(ASE_NoClock, "rate change refused (as configured)");
  if (std::find(config_.Rates.begin(), config_.Rates.end(), sampleRate) == config_.Rates.end())
    return Fail(ASE_NoClock, "rate not supported");
  rateBits_.store(std::bit_cast<std::uint64_t>(sampleRate), std::memory_order_relaxed);
  return ASE_OK;
}

ASIOError __thiscall TVirtualDriver::getClockSources(ASIOClockSource* clocks, std::int32_t* numSources) {
  if (clocks == nullptr || numSources == nullptr)
    return Fail(ASE_InvalidParameter, "getClockSources: null address");
  if (*numSources < 1) return Fail(ASE_InvalidParameter, "getClockSources: no room");
  *clocks = ASIOClockSource{};
  clocks->index = 0;
  clocks->associatedChannel = -1;
  clocks->associatedGroup = -1;
  clocks->isCurrentSource = ASIOTrue;
  CopyBounded(clocks->name, sizeof clocks->name, "Internal");
  *numSources = 1;
  return ASE_OK;
}

ASIOError __thiscall TVirtualDriver::setClockSource(std::int32_t reference) {
  return reference == 0 ? ASE_OK : Fail(ASE_InvalidParameter, "no such clock source");
}

ASIOError __thiscall TVirtualDriver::getSamplePosition(ASIOSamples* sPos, ASIOTimeStamp* tStamp) {
  if (!running_) return Fail(ASE_SPNotAdvancing, "not running");
  if (sPos == nullptr || tStamp == nullptr)
    return Fail(ASE_InvalidParameter, "getSamplePosition: null address");
  const std::uint64_t position = samplePosition_.load(std::memory_order_relaxed);
  sPos->hi = static_cast<std::uint32_t>(position >> 32);
  sPos->lo = static_cast<std::uint32_t>(position);
  const auto ns = static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::nanoseconds>(
                                                 std::chrono::steady_clock::now().time_since_epoch())
                                                 .count());
  tStamp->hi = static_cast<std::uint32_t>(ns >> 32);
  tStamp->lo = static_cast<std::uint32_t>(ns);
  return ASE_OK;
}

ASIOError __thiscall TVirtualDriver::getChannelInfo(ASIOChannelInfo* info) {
  if (!initialized_) return Fail(ASE_NotPresent, "not initialised");
  if (config_.Fails("getChannelInfo")) return Fail(ASE_NotPresent, "getChannelInfo failed (as configured)");
  if (info == nullptr) return Fail(ASE_InvalidParameter, "getChannelInfo: null address");
  const std::int32_t count = info->isInput ? config_.Inputs : config_.Outputs;
  if (info->channel < 0 || info->channel >= count) return Fail(ASE_InvalidParameter, "no such channel");
  const bool input = info->isInput != 0;
  const std::int32_t channel = info->channel;
  info->isActive = std::any_of(buffers_.begin(), buffers_.end(), [&](const TChannelBuffers& b) {
    return b.Input == input && b.Channel == channel;
  });
  info->channelGroup = 0;
  info->type = config_.SampleType;
  CopyBounded(info->name, sizeof info->name, (input ? "In " : "Out ") + std::to_string(channel + 1));
  return ASE_OK;
}

ASIOError __thiscall TVirtualDriver::createBuffers(ASIOBufferInfo* bufferInfos, std::int32_t numChannels,
                                                   std::int32_t bufferSize, ASIOCallbacks* callbacks) {
  if (!initialized_) return Fail(ASE_NotPresent, "not initialised");
  if (buffersCreated_) return Fail(ASE_InvalidMode, "buffers already created");
  if (config_.Fails("createBuffers")) return Fail(ASE_InvalidMode, "createBuffers failed (as configured)");
  if (bufferInfos == nullptr || callbacks == nullptr || callbacks->bufferSwitch == nullptr || numChannels < 1)
    return Fail(ASE_InvalidParameter, "createBuffers: nothing to create");
  if (bufferSize != config_.Buffer) return Fail(ASE_InvalidMode, "createBuffers: unsupported buffer size");

  std::vector<TChannelBuffers> buffers(static_cast<std::size_t>(numChannels));
  const auto halfBytes = static_cast<std::size_t>(bufferSize) * BytesPerSample(config_.SampleType);
  for (std::int32_t i = 0; i < numChannels; ++i) {
    const ASIOBufferInfo& info = bufferInfos[i];
    TChannelBuffers& b = buffers[static_cast<std::size_t>(i)];
    b.Input = info.isInput != 0;
    b.Channel = info.channelNum;
    const std::int32_t count = b.Input ? config_.Inputs : config_.Outputs;
    if (b.Channel < 0 || b.Channel >= count)
      return Fail(ASE_InvalidParameter, "createBuffers: no such channel");
    for (std::int32_t j = 0; j < i; ++j)
      if (buffers[static_cast<std::size_t>(j)].Input == b.Input &&
          buffers[static_cast<std::size_t>(j)].Channel == b.Channel)
        return Fail(ASE_InvalidParameter, "createBuffers: channel named twice");
    b.Halves[0].assign(halfBytes, 0);
    b.Halves[1].assign(halfBytes, 0);
    if (!b.Input && !config_.RecordDir.empty()) {
      b.Recorder =
          TRecorder::Create(config_.RecordDir, b.Channel, config_.SampleType, Rate(), config_.RecordAppend);
      if (!b.Recorder) return Fail(ASE_HWMalfunction, "cannot create a recording in " + config_.RecordDir);
    }
  }
  for (std::int32_t i = 0; i < numChannels; ++i) {
    bufferInfos[i].buffers[0] = buffers[static_cast<std::size_t>(i)].Halves[0].data();
    bufferInfos[i].buffers[1] = buffers[static_cast<std::size_t>(i)].Halves[1].data();
  }
  buffers_ = std::move(buffers);
  callbacks_ = *callbacks;
  buffersCreated_ = true;
  return ASE_OK;
}

ASIOError __thiscall TVirtualDriver::disposeBuffers() {
  if (!buffersCreated_) return Fail(ASE_InvalidMode, "no buffers");
  StopThread();
  if (config_.LateSwitch && switches_ > 0) {
    // After stop() has returned, a switch the host must not act on: it is recorded
    // like any other, so a test sees whether the host wrote into it.
    std::thread([this] { SwitchHalf(static_cast<int>(switches_ % 2)); }).join();
    for (TChannelBuffers& b : buffers_)
      if (b.Recorder) b.Recorder->Finish(Rate());
  }
  buffers_.clear();  // closes the recordings, complete after StopThread
  callbacks_ = ASIOCallbacks{};
  buffersCreated_ = false;
  return ASE_OK;
}

ASIOError __thiscall TVirtualDriver::start() {
  if (!buffersCreated_) return Fail(ASE_InvalidMode, "no buffers");
  if (config_.Fails("start")) return Fail(ASE_HWMalfunction, "start failed (as configured)");
  if (running_) return ASE_OK;
  stopRequested_ = false;
  silenced_ = false;
  switches_ = 0;
  samplePosition_.store(0, std::memory_order_relaxed);
  running_ = true;
  int first = 0;
  if (config_.SyncFirst && DropOutLeft(timeline_.Now()) == 0) {
    SwitchHalf(0);
    first = 1;
  }
  thread_ = std::thread(&TVirtualDriver::Run, this, first);
  if (resetPending_ && config_.ResetFromThread)
    resetThread_ = std::thread(&TVirtualDriver::RunResetThread, this);
  return ASE_OK;
}

ASIOError __thiscall TVirtualDriver::stop() {
  if (running_ && std::this_thread::get_id() == thread_.get_id())
    return Fail(ASE_InvalidMode, "stop from inside bufferSwitch");
  StopThread();
  return ASE_OK;
}

void TVirtualDriver::StopThread() {
  if (!running_) return;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopRequested_ = true;
  }
  wake_.notify_all();
  // Once this returns no bufferSwitch is running or will run: the host may free
  // what its callback uses.
  thread_.join();
  if (resetThread_.joinable()) resetThread_.join();
  running_ = false;
  for (TChannelBuffers& b : buffers_)
    if (b.Recorder) b.Recorder->Finish(Rate());
}

std::int64_t TVirtualDriver::DropOutLeft(std::int64_t now) const {
  if (config_.DropAfter < 0 || now < config_.DropAfter) return 0;
  if (config_.DropFor == 0) return -1;
  return std::max<std::int64_t>(0, config_.DropAfter + config_.DropFor - now);
}

bool TVirtualDriver::ResetDue(std::int64_t now) const { return resetPending_ && now >= config_.ResetAfter; }

void TVirtualDriver::SendReset() {
  // Asked first, as drivers do; sent whatever the answer, so that a host that does
  // not handle it shows what follows.
  callbacks_.asioMessage(kAsioSelectorSupported, kAsioResetRequest, nullptr, nullptr);
  // Before the request: a host may release and reopen the driver at once.
  MarkResetSent(config_.ResetBuffer);
  {
    std::lock_guard<std::mutex> lock(mutex_);
    silenced_ = true;
    resetPending_ = false;
  }
  callbacks_.asioMessage(kAsioResetRequest, 0, nullptr, nullptr);
}

void TVirtualDriver::RunResetThread() {
  std::unique_lock<std::mutex> lock(mutex_);
  const auto wait =
      std::chrono::milliseconds(std::max<std::int64_t>(0, config_.ResetAfter - timeline_.Now()));
  if (wake_.wait_for(lock, wait, [this] { return stopRequested_; })) return;
  lock.unlock();
  SendReset();
}

void TVirtualDriver::SwitchHalf(int index, bool sendReset) {
  for (TChannelBuffers& b : buffers_)
    if (!b.Input) std::fill(b.Halves[index].begin(), b.Halves[index].end(), kFillByte);
  // From inside the switch, before the host's callback for it: the host must take
  // the request and still fill this half.
  if (sendReset) SendReset();
  callbacks_.bufferSwitch(index, ASIOTrue);
  for (TChannelBuffers& b : buffers_)
    if (b.Recorder) b.Recorder->Write(b.Halves[index].data(), b.Halves[index].size());
  samplePosition_.fetch_add(static_cast<std::uint64_t>(config_.Buffer), std::memory_order_relaxed);
  if (switches_++ == 0) MarkFirstSwitch();
}

void TVirtualDriver::Run(int index) {
  using Clock = std::chrono::steady_clock;
  auto due = Clock::now();
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    if (stopRequested_) return;
    if (silenced_ || (config_.MaxBuffers > 0 && switches_ >= config_.MaxBuffers)) {
      wake_.wait(lock, [this] { return stopRequested_; });
      return;
    }
    if (const std::int64_t left = DropOutLeft(timeline_.Now()); left != 0) {
      // Gone without a word, as an unplugged interface is; back where it was, with no
      // switches to catch up.
      if (left < 0)
        wake_.wait(lock, [this] { return stopRequested_; });
      else
        wake_.wait_for(lock, std::chrono::milliseconds(left), [this] { return stopRequested_; });
      due = Clock::now();
      continue;
    }
    const bool sendReset = !config_.ResetFromThread && ResetDue(timeline_.Now());
    lock.unlock();
    SwitchHalf(index, sendReset);
    index ^= 1;
    lock.lock();
    if (config_.Realtime) {
      // Paced from the planned time, not from when the switch ended, so the long
      // run keeps the rate however long each callback took.
      due +=
          std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(config_.Buffer / Rate()));
      wake_.wait_until(lock, due, [this] { return stopRequested_; });
    }
  }
}

ASIOError __thiscall TVirtualDriver::controlPanel() { return ASE_OK; }

ASIOError __thiscall TVirtualDriver::future(std::int32_t /*selector*/, void* /*opt*/) {
  return ASE_InvalidParameter;
}

ASIOError __thiscall TVirtualDriver::outputReady() { return ASE_NotPresent; }

}  // namespace tonvane::vasio
