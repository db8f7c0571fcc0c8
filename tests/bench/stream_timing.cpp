// The stream benchmark's figures without Google Benchmark, for the Windows build under
// Wine (real mmio, mp3dec.dll) and natively to compare: ns per 16-bit sample of Read
// with 2 and 512 bytes per call, over a WAV file it writes and an MP3 file it is given.
//
//   stream_timing SCRATCH-DIR [MP3-FILE]
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>

#include "bench_device.h"
#include "stream_pass.h"

int main(int argc, char** argv) {
  using namespace tonvane;
  if (argc < 2) {
    std::fprintf(stderr, "usage: stream_timing SCRATCH-DIR [MP3-FILE]\n");
    return 2;
  }
  std::filesystem::create_directories(argv[1]);
  const std::string wave = (std::filesystem::path(argv[1]) / "stream-timing.wav").string();
  bench::WriteBenchWave(wave);
  std::printf("%-4s %-6s %12s %12s\n", "file", "bytes", "ns/sample", "samples");
  for (const bool mp3 : {false, true}) {
    if (mp3 && argc < 3) continue;
    const std::string file = mp3 ? argv[2] : wave;
    for (const std::int32_t count : {2, 512}) {
      // Passes until about half a second of reading has gone by.
      TAudioStream stream;
      double seconds = 0;
      std::int64_t samples = 0;
      while (seconds < 0.5) {
        const bench::PassTime pass = bench::TimeOnePass(stream, file, count);
        if (!pass.opened || pass.samples == 0) {
          std::fprintf(stderr, "cannot play %s\n", file.c_str());
          return 1;
        }
        seconds += pass.seconds;
        samples += pass.samples;
      }
      std::printf("%-4s %-6d %12.2f %12lld\n", mp3 ? "MP3" : "WAV", static_cast<int>(count),
                  seconds * 1e9 / static_cast<double>(samples), static_cast<long long>(samples));
    }
  }
  return 0;
}
