// What one buffer switch costs the driver's thread: FillBuffers over 1, 8 and 64
// playing channels at 256 samples a half, from WAV and MP3 files, into Int16 LSB,
// Int24 LSB and Int32 MSB buffers, at -6 dB so that every sample is scaled. The
// rings are filled between the timed switches, as the feeder fills them on its own
// threads; what reading and decoding cost is stream_bench's figure. Reported per channel-sample and
// as the share of a 256-sample buffer period at 48 kHz.
//
//   engine_bench [--benchmark_filter=...]   (files made on first use into TONVANE_BENCH_DATA)
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "playback/engine.h"
#include "playback/sample_types.h"
#include "bench_device.h"

namespace tonvane {
namespace {

using bench::BenchDevice;
using bench::kBufferSize;
using bench::kRate;

std::string DataDir() { return TONVANE_BENCH_DATA; }

std::string WaveFile() {
  const std::string path = DataDir() + "/bench.wav";
  if (!std::filesystem::exists(path)) {
    std::filesystem::create_directories(DataDir());
    bench::WriteBenchWave(path);
  }
  return path;
}

std::string Mp3File() {
  const std::string path = DataDir() + "/mono48k-cbr128.mp3";
  if (!std::filesystem::exists(path)) {
    const std::string command = std::string(TONVANE_MAKE_AUDIO) + " " + DataDir() + " >/dev/null";
    if (std::system(command.c_str()) != 0) return "";
  }
  return path;
}

void BM_FillBuffers(benchmark::State& state) {
  const auto channels = static_cast<std::int32_t>(state.range(0));
  const bool mp3 = state.range(1) != 0;
  const auto type = static_cast<std::int32_t>(state.range(2));
  const std::string file = mp3 ? Mp3File() : WaveFile();
  BenchDevice d(channels, type, file);
  if (file.empty() || !d.ok()) {
    state.SkipWithError("cannot open the sound file");
    return;
  }
  std::int32_t h = 0;
  std::int64_t sinceFed = 0;
  for (auto _ : state) {
    FillBuffers(d.device, h);
    h ^= 1;
    // The feeder's work, outside the timing: the rings hold 128 halves of 256.
    if (++sinceFed == 64 || d.AnyStopped()) {
      state.PauseTiming();
      if (!d.Replay()) state.SkipWithError("cannot reopen the sound file");
      d.Feed();
      sinceFed = 0;
      state.ResumeTiming();
    }
  }
  state.SetLabel(std::string(mp3 ? "MP3 " : "WAV ") + SampleTypeName(type));
  const double channelSamples = static_cast<double>(channels) * kBufferSize;
  // Time per channel-sample, shown with its unit ("1.85ns").
  state.counters["per_ch_sample"] = benchmark::Counter(
      channelSamples, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
  // Percent of the time between two buffer switches at 48 kHz; the library puts an
  // "s" after every inverted rate, which here is to be read as "%".
  state.counters["pct_of_period"] = benchmark::Counter(
      kBufferSize / kRate / 100, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

BENCHMARK(BM_FillBuffers)
    ->ArgNames({"channels", "mp3", "type"})
    ->ArgsProduct({{1, 8, 64}, {0, 1}, {ASIOSTInt16LSB, ASIOSTInt24LSB, ASIOSTInt32MSB}})
    ->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace tonvane

BENCHMARK_MAIN();
