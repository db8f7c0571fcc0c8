// TAudioStream's Read, the call a feeder thread makes to fill a playing channel's ring
// (and the host's thread for a Play's first samples): ns per 16-bit sample from a WAV
// file (data read ahead from the file) and an MP3 file (decoded ahead), two bytes per
// call (the smallest read, where the per-call cost shows most) and 512 bytes per call.
// Open, and a whole Play up to `Playing` on a channel: a WAV file, and the MP3 file
// with an ID3v2 and an ID3v1 tag that id3v2 writes, so the tag readers count too.
//
//   stream_bench [--benchmark_...] with TONVANE_BENCH_MP3=FILE for the MP3 cases
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

#include "playback/channel_state.h"
#include "playback/engine.h"
#include "playback/sample_types.h"
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

// A copy of the MP3 file with both tags, made once per run; empty when it cannot be made.
std::string TaggedMp3File(const char* mp3) {
  static const std::string path = [mp3] {
    const auto p = std::filesystem::temp_directory_path() / "tonvane-stream-bench-tagged.mp3";
    std::error_code error;
    std::filesystem::copy_file(mp3, p, std::filesystem::copy_options::overwrite_existing, error);
    if (error) return std::string();
    const std::string command =
        "id3v2 -t 'Bench Title' -a 'Bench Artist' -A 'Bench Album' -y 2024 -T 1/1 "
        "-g 17 -c 'Bench Comment' '" +
        p.string() + "' >/dev/null";
    return std::system(command.c_str()) == 0 ? p.string() : std::string();
  }();
  return path;
}

void OpenFile(benchmark::State& state, const std::string& file) {
  TAudioStream stream;
  WAVEFORMATEX format{};
  for (auto _ : state) {
    if (!stream.Open(file, format)) {
      state.SkipWithError(("cannot open " + file).c_str());
      return;
    }
    benchmark::DoNotOptimize(format);
  }
}

void BM_OpenWave(benchmark::State& state) { OpenFile(state, WaveFile()); }
void BM_OpenTaggedMp3(benchmark::State& state) {
  const char* mp3 = std::getenv("TONVANE_BENCH_MP3");
  const std::string tagged = mp3 ? TaggedMp3File(mp3) : std::string();
  if (tagged.empty()) {
    state.SkipWithError("set TONVANE_BENCH_MP3 to an MP3 file (tagged with id3v2)");
    return;
  }
  OpenFile(state, tagged);
}

// A Play up to `Playing`: the channel stopped, the file opened, and the first samples
// put into the ring, as the play command does it without its format checks. With
// firstSwitch, also the first buffer switch after it (256 samples, Int32 LSB): the
// work between a Play and its first sample in the driver's buffer, had the switch
// come at once.
void PlayFile(benchmark::State& state, const std::string& file, bool firstSwitch) {
  testing::TestDevice d(1, bench::kBufferSize, ASIOSTInt32LSB);
  WAVEFORMATEX format{};
  for (auto _ : state) {
    if (!OpenChannelStream(d.Channels(), 0, file, format)) {
      state.SkipWithError(("cannot open " + file).c_str());
      return;
    }
    StartChannel(d.Channels(), 0, 48000);
    if (firstSwitch) FillBuffers(d.device, 0);
  }
  ResetChannel(d.Channels(), 0);
}

void PlayTaggedMp3(benchmark::State& state, bool firstSwitch) {
  const char* mp3 = std::getenv("TONVANE_BENCH_MP3");
  const std::string tagged = mp3 ? TaggedMp3File(mp3) : std::string();
  if (tagged.empty()) {
    state.SkipWithError("set TONVANE_BENCH_MP3 to an MP3 file (tagged with id3v2)");
    return;
  }
  PlayFile(state, tagged, firstSwitch);
}

void BM_PlayWave(benchmark::State& state) { PlayFile(state, WaveFile(), false); }
void BM_PlayTaggedMp3(benchmark::State& state) { PlayTaggedMp3(state, false); }
void BM_PlayWaveToFirstSwitch(benchmark::State& state) { PlayFile(state, WaveFile(), true); }
void BM_PlayTaggedMp3ToFirstSwitch(benchmark::State& state) { PlayTaggedMp3(state, true); }

BENCHMARK(BM_ReadWave)->Arg(2)->Arg(512)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadMp3)->Arg(2)->Arg(512)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OpenWave)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_OpenTaggedMp3)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PlayWave)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PlayTaggedMp3)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PlayWaveToFirstSwitch)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PlayTaggedMp3ToFirstSwitch)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
