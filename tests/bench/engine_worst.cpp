// The worst buffer switches, not the mean: FillBuffers timed call by call while every
// channel plays one file at -6 dB into Int32 LSB buffers, each switch's time given as
// a share of the buffer period at 48 kHz. A switch over 100 % is a dropout on every
// channel. The device's feeder runs as in the plug-in, and the switches come at the
// driver's pace, one per buffer period. Channels start together (all in the first
// switch) or staggered (channel c at switch 0.75 c, as cues fired one after another);
// a channel whose file ends starts again at once, outside the timing, as the host
// would.
//
//   engine_worst --channels N --buffer B --switches K --start together|staggered FILE
//
// prints one line:
//   channels=N buffer=B switches=K start=... file=wav|mp3 mean_pct=.. p99_pct=.. p999_pct=.. max_pct=..
//   late=L
// where late counts the channel-switches that found their ring without a whole
// buffer half of the file in it: the feeder fell behind, and that channel got silence.
// The switching thread asks for real-time scheduling, as drivers run their buffer
// switches; rt=no at the end of the line says it was refused (the worst figures then
// include whatever else the machine ran).
//
// With --floor, each switch times a plain copy of as many bytes as FillBuffers writes
// instead, with everything else as it is (timed=copy at the end of the line): the
// machine's own jitter, below which no worst figure of the engine can go.
#include <pthread.h>
#include <sched.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "playback/device_monitor.h"
#include "playback/feeder.h"
#include "playback/sample_types.h"
#include "base/ascii.h"
#include "bench_device.h"

namespace {

using namespace tonvane;
using Clock = std::chrono::steady_clock;

int Usage() {
  std::fprintf(
      stderr,
      "usage: engine_worst [--floor] --channels N --buffer B --switches K --start together|staggered "
      "FILE\n");
  return 2;
}

double Percentile(std::vector<double> sorted, double p) {
  const auto index = static_cast<std::size_t>(p * static_cast<double>(sorted.size() - 1) + 0.5);
  return sorted[std::min(index, sorted.size() - 1)];
}

}  // namespace

int main(int argc, char** argv) {
  long channels = 64, buffer = 64, switches = 6000;
  std::string start = "together", file;
  bool floor = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool hasValue = i + 1 < argc;
    if (arg == "--floor")
      floor = true;
    else if (arg == "--channels" && hasValue)
      channels = std::strtol(argv[++i], nullptr, 10);
    else if (arg == "--buffer" && hasValue)
      buffer = std::strtol(argv[++i], nullptr, 10);
    else if (arg == "--switches" && hasValue)
      switches = std::strtol(argv[++i], nullptr, 10);
    else if (arg == "--start" && hasValue)
      start = argv[++i];
    else if (file.empty() && arg.rfind("--", 0) != 0)
      file = arg;
    else
      return Usage();
  }
  if (file.empty() || channels < 1 || channels > 1024 || buffer < 16 || buffer > 8192 || switches < 1 ||
      (start != "together" && start != "staggered"))
    return Usage();

  const bool staggered = start == "staggered";
  bench::BenchDevice d(static_cast<std::int32_t>(channels), ASIOSTInt32LSB, file,
                       static_cast<std::int32_t>(buffer), false);
  // Switch at which each channel starts: 0, or 0.75 c.
  std::vector<long> startAt(static_cast<std::size_t>(channels));
  for (long c = 0; c < channels; ++c) startAt[static_cast<std::size_t>(c)] = staggered ? c * 3 / 4 : 0;
  std::vector<bool> started(static_cast<std::size_t>(channels), false);

  TFeeder feeder;
  feeder.Start(d.device.Channels);
  sched_param realtime{};
  realtime.sched_priority = sched_get_priority_max(SCHED_FIFO) - 1;
  const bool rt = pthread_setschedparam(pthread_self(), SCHED_FIFO, &realtime) == 0;
  std::vector<double> pct;
  pct.reserve(static_cast<std::size_t>(switches));
  const double period = static_cast<double>(buffer) / bench::kRate;
  const auto periodTicks = std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(period));
  long late = 0;
  TSwitchCount counted;
  auto due = Clock::now();
  for (long s = 0, h = 0; s < switches; ++s, h ^= 1) {
    bool played = false;
    for (std::size_t c = 0; c < started.size(); ++c) {
      const bool first = !started[c] && startAt[c] <= s;
      const bool ended = started[c] && d.device.Channels[c].Playing() == 0;
      if (first || ended) {
        if (!d.Play(c)) {
          std::fprintf(stderr, "engine_worst: cannot play %s\n", file.c_str());
          return 1;
        }
        started[c] = true;
        played = true;
      }
    }
    // As the play command does.
    if (played) feeder.Wake();
    std::this_thread::sleep_until(due);
    due += periodTicks;
    for (const TChannelState& channel : d.device.Channels)
      if (channel.Playing() != 0 && channel.Ring().Available() < static_cast<std::size_t>(buffer) &&
          !channel.SourceEnded())
        ++late;
    const auto t0 = Clock::now();
    if (floor) {
      for (std::size_t c = 0; c < d.device.Channels.size(); ++c)
        std::memcpy(d.Buffer(c, static_cast<int>(h)).data(), d.Buffer(c, static_cast<int>(h ^ 1)).data(),
                    static_cast<std::size_t>(buffer) * 4);
    } else {
      FillBuffers(d.device, static_cast<std::int32_t>(h));
      // As the player's switch does: the device watch's one store.
      counted.Count();
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - t0).count();
    pct.push_back(100.0 * seconds / period);
  }
  feeder.Stop();
  double sum = 0;
  for (double p : pct) sum += p;
  std::vector<double> sorted = pct;
  std::sort(sorted.begin(), sorted.end());
  std::printf(
      "channels=%ld buffer=%ld switches=%ld start=%s file=%s mean_pct=%.2f p99_pct=%.2f p999_pct=%.2f "
      "max_pct=%.2f late=%ld%s%s\n",
      channels, buffer, switches, start.c_str(), HasExtension(file, ".mp3") ? "mp3" : "wav",
      sum / static_cast<double>(pct.size()), Percentile(sorted, 0.99), Percentile(sorted, 0.999),
      sorted.back(), late, rt ? "" : " rt=no", floor ? " timed=copy" : "");
  return 0;
}
