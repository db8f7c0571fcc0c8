// The engine benchmark's figures without Google Benchmark, for the Windows build
// under Wine (and natively, to compare): FillBuffers over 1, 8 and 64 channels at
// 256 samples a half, from a WAV file it writes and an MP3 file it is given, into
// Int16 LSB, Int24 LSB and Int32 MSB buffers, at -6 dB. The rings are filled between
// the timed switches, as the feeder fills them on its own threads.
//
//   engine_timing SCRATCH-DIR [MP3-FILE]
//   wine build/win32/bin/engine_timing.exe Z:/tmp/timing Z:/path/mono48k-cbr128.mp3
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>

#include "playback/sample_types.h"
#include "bench_device.h"

namespace {

using namespace tonvane;
using bench::BenchDevice;
using bench::kBufferSize;
using bench::kRate;
using Clock = std::chrono::steady_clock;

// Switches until about a third of a second has gone by, not counting the re-opens
// of files that ran out or the filling of the rings. Returns the seconds per switch, or a negative number
// when the file does not open.
double SecondsPerSwitch(std::int32_t channels, std::int32_t type, const std::string& file) {
  BenchDevice d(channels, type, file);
  if (!d.ok()) return -1;
  Clock::duration spent{};
  std::int64_t switches = 0;
  for (std::int32_t h = 0; spent < std::chrono::milliseconds(300); h ^= 1) {
    const auto start = Clock::now();
    for (int i = 0; i < 16; ++i, h ^= 1) FillBuffers(d.device, h);
    spent += Clock::now() - start;
    switches += 16;
    if (d.AnyStopped() && !d.Replay()) return -1;
    // The feeder's work, outside the timing.
    d.Feed();
  }
  return std::chrono::duration<double>(spent).count() / static_cast<double>(switches);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: engine_timing SCRATCH-DIR [MP3-FILE]\n");
    return 2;
  }
  std::filesystem::create_directories(argv[1]);
  const std::string wave = (std::filesystem::path(argv[1]) / "timing.wav").string();
  bench::WriteBenchWave(wave);
  std::printf("%-8s %-4s %-10s %14s %10s\n", "channels", "file", "type", "ns/ch-sample", "% period");
  for (const bool mp3 : {false, true}) {
    if (mp3 && argc < 3) continue;
    const std::string file = mp3 ? argv[2] : wave;
    for (const std::int32_t type : {ASIOSTInt16LSB, ASIOSTInt24LSB, ASIOSTInt32MSB}) {
      for (const std::int32_t channels : {1, 8, 64}) {
        const double seconds = SecondsPerSwitch(channels, type, file);
        if (seconds < 0) {
          std::fprintf(stderr, "cannot play %s\n", file.c_str());
          return 1;
        }
        std::printf("%-8d %-4s %-10s %14.2f %10.3f\n", static_cast<int>(channels), mp3 ? "MP3" : "WAV",
                    SampleTypeName(type).c_str(), seconds * 1e9 / (channels * kBufferSize),
                    100 * seconds / (kBufferSize / kRate));
      }
    }
  }
  return 0;
}
