// TAudioStream's Read, the call the driver's thread makes for every sample of every
// playing channel: ns per 16-bit sample from a WAV file (data read ahead from the
// file) and an MP3 file (decoded ahead), two bytes per call as the engine has always
// asked, and a half-buffer per call (512 bytes) for comparison.
//
//   stream_bench [--benchmark_...] with TONVANE_BENCH_MP3=FILE for the MP3 case
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "bench_device.h"
#include "stream_pass.h"

namespace {

using namespace tonvane;

std::string WaveFile() {
  static const std::string path = [] {
    const auto p = std::filesystem::temp_directory_path() / "tonvane-stream-bench.wav";
    bench::WriteBenchWave(p.string());
    return p.string();
  }();
  return path;
}

// One iteration is one pass over the file; the counter is the time per sample.
void ReadFile(benchmark::State& state, const std::string& file) {
  const auto count = static_cast<std::int32_t>(state.range(0));
  TAudioStream stream;
  std::int64_t samples = 0;
  for (auto _ : state) {
    const bench::PassTime pass = bench::TimeOnePass(stream, file, count);
    if (!pass.opened || pass.samples == 0) {
      state.SkipWithError(("cannot play " + file).c_str());
      return;
    }
    state.SetIterationTime(pass.seconds);
    samples += pass.samples;
  }
  state.counters["per_sample"] = benchmark::Counter(
      static_cast<double>(samples), benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void BM_ReadWave(benchmark::State& state) { ReadFile(state, WaveFile()); }
void BM_ReadMp3(benchmark::State& state) {
  const char* mp3 = std::getenv("TONVANE_BENCH_MP3");
  if (!mp3) {
    state.SkipWithError("set TONVANE_BENCH_MP3 to an MP3 file");
    return;
  }
  ReadFile(state, mp3);
}

BENCHMARK(BM_ReadWave)->Arg(2)->Arg(512)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadMp3)->Arg(2)->Arg(512)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
