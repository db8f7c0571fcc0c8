// What one buffer switch costs: FillBuffers over 1, 8 and 64 playing channels at 256
// samples a half, from WAV and MP3 streams, into Int16 LSB, Int24 LSB and Int32 MSB
// buffers, at -6 dB so that every sample is scaled. Reported per channel-sample and
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

#include "asio/engine.h"
#include "asio/sample_types.h"

namespace tonvane {
namespace {

constexpr std::int32_t kBufferSize = 256;
constexpr double kRate = 48000;

std::string DataDir() { return TONVANE_BENCH_DATA; }

// Ten seconds of a mono 16-bit 48 kHz WAV file with varied samples, so that the
// scaling never meets a run of zeros.
std::string WaveFile() {
  const std::string path = DataDir() + "/bench.wav";
  if (std::filesystem::exists(path)) return path;
  std::filesystem::create_directories(DataDir());
  const std::uint32_t samples = 10 * 48000;
  const std::uint32_t data = samples * 2 + 4;  // the stream keeps the last four bytes
  std::vector<std::uint8_t> bytes;
  auto u32 = [&bytes](std::uint32_t v) {
    for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
  };
  auto text = [&bytes](const char* s) { bytes.insert(bytes.end(), s, s + 4); };
  text("RIFF");
  u32(4 + 8 + 16 + 8 + data);
  text("WAVE");
  text("fmt ");
  u32(16);
  for (std::uint8_t b : {1, 0, 1, 0}) bytes.push_back(b);  // PCM, mono
  u32(48000);
  u32(96000);
  for (std::uint8_t b : {2, 0, 16, 0}) bytes.push_back(b);
  text("data");
  u32(data);
  std::uint32_t x = 12345;
  for (std::uint32_t i = 0; i < data / 2; ++i) {
    x = x * 1103515245 + 12345;
    const auto s = static_cast<std::uint16_t>((x >> 16) | 1);
    bytes.push_back(static_cast<std::uint8_t>(s));
    bytes.push_back(static_cast<std::uint8_t>(s >> 8));
  }
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
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

class Device {
 public:
  Device(std::int32_t channels, std::int32_t type, const std::string& file) : file_(file) {
    device.BufferSize = kBufferSize;
    device.SampleType = type;
    device.Channels = std::vector<TChannelState>(static_cast<std::size_t>(channels));
    device.BufferInfos.resize(device.Channels.size());
    memory_.assign(device.Channels.size() * 2, std::vector<std::uint8_t>(kBufferSize * 4));
    for (std::size_t c = 0; c < device.Channels.size(); ++c) {
      device.BufferInfos[c].buffers[0] = memory_[2 * c].data();
      device.BufferInfos[c].buffers[1] = memory_[2 * c + 1].data();
      device.Channels[c].Level.store(-6);
      ok_ = ok_ && Play(c);
    }
  }
  bool ok() const { return ok_; }
  // Starts again every channel whose file has run out.
  bool Replay() {
    for (std::size_t c = 0; c < device.Channels.size(); ++c)
      if (device.Channels[c].Playing.load() == 0 && !Play(c)) return false;
    return true;
  }
  bool AnyStopped() const {
    for (const auto& channel : device.Channels)
      if (channel.Playing.load(std::memory_order_relaxed) == 0) return true;
    return false;
  }

  TDeviceState device;

 private:
  bool Play(std::size_t c) {
    WAVEFORMATEX format{};
    const auto index = static_cast<std::int32_t>(c);
    if (!OpenChannelStream(device.Channels, index, file_, format)) return false;
    StartChannel(device.Channels, index);
    return true;
  }
  std::string file_;
  std::vector<std::vector<std::uint8_t>> memory_;
  bool ok_ = true;
};

void BM_FillBuffers(benchmark::State& state) {
  const auto channels = static_cast<std::int32_t>(state.range(0));
  const bool mp3 = state.range(1) != 0;
  const auto type = static_cast<std::int32_t>(state.range(2));
  const std::string file = mp3 ? Mp3File() : WaveFile();
  Device d(channels, type, file);
  if (file.empty() || !d.ok()) {
    state.SkipWithError("cannot open the sound file");
    return;
  }
  std::int32_t h = 0;
  for (auto _ : state) {
    FillBuffers(d.device, h);
    h ^= 1;
    if (d.AnyStopped()) {
      state.PauseTiming();
      if (!d.Replay()) state.SkipWithError("cannot reopen the sound file");
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
