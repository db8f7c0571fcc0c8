// How together a cue starts. A device thread switches in real time at 48 kHz, paced
// by the buffer period on a real-time thread as a driver's would be, with the device's
// feeder running; this thread, as the host's, plays files through the channel
// operations, as the play command does:
// - cues: N cues of S Play commands sent back to back, each on its own channel; the
//   spread of a cue is how many samples lie between the first and the last of its
//   channels' first samples (0: the cue started as one);
// - lone: single Plays, from the call to the start of the switch that writes the
//   file's first sample;
// - pair: two Plays 30 ms apart, and how far apart they started.
// With --busy K, K threads spin beside it, as other work on a loaded machine.
//
//   cue_timing [--buffer B] [--cues N] [--size S] [--busy K] WAV MP3
//
// Every fourth channel of a cue plays the MP3 file, the others the WAV file. Prints:
//   cues=N size=S buffer=B busy=K spread_max=.. spread_p99=.. split=.. (cues not started as one)
//   lone: period_ms=.. median_ms=.. worst_ms=..
//   pair: gap_ms=30 median_ms=.. worst_error_ms=..
#include <pthread.h>
#include <sched.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "playback/feeder.h"
#include "playback/sample_types.h"
#include "commands/channel_operations.h"
#include "test_device.h"

namespace {

using namespace tonvane;
using Clock = std::chrono::steady_clock;
constexpr double kRate = 48000;

int Usage() {
  std::fprintf(stderr, "usage: cue_timing [--buffer B] [--cues N] [--size S] [--busy K] WAV MP3\n");
  return 2;
}

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

double Percentile(std::vector<double> values, double p) {
  std::sort(values.begin(), values.end());
  const auto index = static_cast<std::size_t>(p * static_cast<double>(values.size() - 1) + 0.5);
  return values[std::min(index, values.size() - 1)];
}

// The open device as the channel operations see it, over the test device's channels.
class BenchView final : public IDeviceView {
 public:
  BenchView(testing::TestDevice& device, TFeeder& feeder) : device_(device), feeder_(feeder) {}
  bool IsOpen() const override { return true; }
  double SampleRate() const override { return kRate; }
  std::int32_t SampleType() const override { return device_.device.SampleType; }
  std::span<TChannelState> Channels() override { return device_.Channels(); }
  std::size_t ChannelCount() const override { return device_.device.Channels.size(); }
  void FeedNow() override { feeder_.Wake(); }
  TStartCue& Cue() override { return device_.device.Cue; }

 private:
  testing::TestDevice& device_;
  TFeeder& feeder_;
};

// The driver's side: switches at the buffer period, and notes for each channel the
// switch that wrote the first sample of what it plays since it was last reset.
class Switcher {
 public:
  Switcher(testing::TestDevice& device, std::int32_t buffer)
      : device_(device), buffer_(buffer), firstSwitch_(device.device.Channels.size()), times_(1 << 22) {
    for (auto& f : firstSwitch_) f.store(-1);
  }
  ~Switcher() {
    done_.store(true);
    if (thread_.joinable()) thread_.join();
  }
  void Start() {
    thread_ = std::thread([this] { Run(); });
  }
  bool Realtime() const { return realtime_.load(); }
  // Forget channel c's start, once it is stopped.
  void Reset(std::size_t c) { firstSwitch_[c].store(-1); }
  // The switch that started channel c; waits for it up to a second, -1 if none.
  long StartOf(std::size_t c) {
    const auto until = Clock::now() + std::chrono::seconds(1);
    while (firstSwitch_[c].load() < 0 && Clock::now() < until)
      std::this_thread::sleep_for(std::chrono::microseconds(50));
    return firstSwitch_[c].load();
  }
  Clock::time_point TimeOf(long s) const {
    return Clock::time_point(Clock::duration(times_[static_cast<std::size_t>(s) % times_.size()].load()));
  }

 private:
  void Run() {
    sched_param realtime{};
    realtime.sched_priority = sched_get_priority_max(SCHED_FIFO) - 1;
    realtime_.store(pthread_setschedparam(pthread_self(), SCHED_FIFO, &realtime) == 0);
    const auto period =
        std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(buffer_ / kRate));
    auto due = Clock::now();
    for (long s = 0; !done_.load(std::memory_order_relaxed); ++s) {
      std::this_thread::sleep_until(due);
      due += period;
      times_[static_cast<std::size_t>(s) % times_.size()].store(Clock::now().time_since_epoch().count());
      FillBuffers(device_.device, static_cast<std::int32_t>(s % 2));
      for (std::size_t c = 0; c < firstSwitch_.size(); ++c)
        if (firstSwitch_[c].load(std::memory_order_relaxed) < 0 &&
            device_.device.Channels[c].BytesPlayed() > 0)
          firstSwitch_[c].store(s);
    }
  }

  testing::TestDevice& device_;
  std::int32_t buffer_;
  std::vector<std::atomic<long>> firstSwitch_;
  std::vector<std::atomic<Clock::rep>> times_;
  std::atomic<bool> done_{false}, realtime_{false};
  std::thread thread_;
};

}  // namespace

int main(int argc, char** argv) {
  long buffer = 64, cues = 1000, size = 16, busy = 0;
  std::vector<std::string> files;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool hasValue = i + 1 < argc;
    if (arg == "--buffer" && hasValue)
      buffer = std::strtol(argv[++i], nullptr, 10);
    else if (arg == "--cues" && hasValue)
      cues = std::strtol(argv[++i], nullptr, 10);
    else if (arg == "--size" && hasValue)
      size = std::strtol(argv[++i], nullptr, 10);
    else if (arg == "--busy" && hasValue)
      busy = std::strtol(argv[++i], nullptr, 10);
    else if (arg.rfind("--", 0) != 0)
      files.push_back(arg);
    else
      return Usage();
  }
  if (files.size() != 2 || buffer < 16 || buffer > 8192 || cues < 1 || size < 2 || size > 256 || busy < 0)
    return Usage();

  testing::TestDevice device(static_cast<std::size_t>(size), static_cast<std::int32_t>(buffer),
                             ASIOSTInt32LSB);
  // The cue on the steady clock, as in the plug-in (the tests' clock moves on its own).
  device.device.Cue.Clock = TStartCue::SteadyMicros;
  TFeeder feeder;
  feeder.Start(device.Channels());
  BenchView view(device, feeder);
  bool failed = false;
  TChannelOperations ops(view, [&](int, const std::string&, const std::string& problem) {
    std::fprintf(stderr, "cue_timing: %s\n", problem.c_str());
    failed = true;
    return true;
  });
  std::atomic<bool> stopBusy{false};
  std::vector<std::thread> spinners;
  for (long i = 0; i < busy; ++i)
    spinners.emplace_back([&] {
      for (volatile std::uint64_t x = 0; !stopBusy.load(std::memory_order_relaxed);) x = x + 1;
    });
  Switcher switcher(device, static_cast<std::int32_t>(buffer));
  switcher.Start();
  auto play = [&](std::size_t c) {
    switcher.Reset(c);
    std::string unshown;
    return ops.PlayFile(static_cast<int>(c), files[c % 4 == 3 ? 1 : 0], std::nullopt, unshown);
  };
  auto stopAll = [&] {
    for (std::size_t c = 0; c < static_cast<std::size_t>(size); ++c) ops.StopChannel(static_cast<int>(c));
  };

  // Cues.
  std::vector<double> spreads;
  long split = 0;
  for (long n = 0; n < cues && !failed; ++n) {
    for (std::size_t c = 0; c < static_cast<std::size_t>(size); ++c) failed |= !play(c);
    long first = -1, last = -1;
    for (std::size_t c = 0; c < static_cast<std::size_t>(size); ++c) {
      const long s = switcher.StartOf(c);
      if (s < 0) failed = true;
      first = first < 0 ? s : std::min(first, s);
      last = std::max(last, s);
    }
    spreads.push_back(static_cast<double>((last - first) * buffer));
    split += last != first;
    stopAll();
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  // Lone Plays.
  std::vector<double> lone;
  for (int n = 0; n < 200 && !failed; ++n) {
    const std::size_t c = static_cast<std::size_t>(n) % 4;
    std::this_thread::sleep_for(std::chrono::microseconds(1000 + 397 * (n % 7)));
    const auto t0 = Clock::now();
    failed |= !play(c);
    const long s = switcher.StartOf(c);
    if (s < 0) failed = true;
    if (!failed) lone.push_back(Ms(switcher.TimeOf(s) - t0));
    stopAll();
  }
  // Pairs 30 ms apart.
  std::vector<double> pairs;
  for (int n = 0; n < 50 && !failed; ++n) {
    const auto t0 = Clock::now();
    failed |= !play(0);
    std::this_thread::sleep_until(t0 + std::chrono::milliseconds(30));
    failed |= !play(1);
    const long a = switcher.StartOf(0), b = switcher.StartOf(1);
    if (a < 0 || b < 0) failed = true;
    pairs.push_back(static_cast<double>((b - a) * buffer) * 1000.0 / kRate);
    stopAll();
    std::this_thread::sleep_for(std::chrono::milliseconds(3));
  }
  stopBusy.store(true);
  for (auto& t : spinners) t.join();
  feeder.Stop();
  if (failed) {
    std::fprintf(stderr, "cue_timing: a Play failed or never started\n");
    return 1;
  }
  double worstError = 0;
  for (double p : pairs) worstError = std::max(worstError, std::abs(p - 30.0));
  std::printf("cues=%ld size=%ld buffer=%ld busy=%ld spread_max=%.0f spread_p99=%.0f split=%ld%s\n", cues,
              size, buffer, busy, *std::max_element(spreads.begin(), spreads.end()),
              Percentile(spreads, 0.99), split, switcher.Realtime() ? "" : " rt=no");
  std::printf("lone: period_ms=%.3f median_ms=%.3f worst_ms=%.3f\n",
              1000.0 * static_cast<double>(buffer) / kRate, Percentile(lone, 0.5),
              *std::max_element(lone.begin(), lone.end()));
  std::printf("pair: gap_ms=30 median_ms=%.3f worst_error_ms=%.3f\n", Percentile(pairs, 0.5), worstError);
  return 0;
}
