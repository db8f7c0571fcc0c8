// What a Tick costs the host's thread while channels play: the plug-in loaded as the
// host loads it, the virtual driver open at 48 kHz in real time, every channel playing
// a 5 s WAV file, and Ticks some milliseconds apart. Each Tick is timed together with
// the processing of the messages it leaves behind (the paints it asked for), and so is
// a trivial call (IsPluginWindowVisible) in the same run, taken right after each Tick,
// as the baseline the machine gives. One line per channel count: median and worst of
// both, and the medians' difference.
//
//   tick_timing [--plugin DLL] [--channels N,N...] [--ticks N] [--interval MS]
//
// The virtual driver must be registered (32-bit regsvr32). Run it with the window on
// a display or under Wine's null driver: the window paints either way.
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "base/wav_writer.h"
#include "bench_host.h"
#include "plugin_host.h"
#include "virtual_asio_ids.h"

namespace {

using namespace tonvane;
using bench::ParsePositive;

struct Options {
  std::string plugin;
  std::vector<int> channels{8, 64};
  int ticks = 150;
  int intervalMs = 30;
};

constexpr int kFileSeconds = 5;
constexpr std::uint32_t kRate = 48000;

class Stopwatch {
 public:
  Stopwatch() { QueryPerformanceFrequency(&frequency_); }
  template <typename Call>
  double Milliseconds(Call&& call) const {
    LARGE_INTEGER start, end;
    QueryPerformanceCounter(&start);
    call();
    QueryPerformanceCounter(&end);
    return static_cast<double>(end.QuadPart - start.QuadPart) * 1000.0 /
           static_cast<double>(frequency_.QuadPart);
  }

 private:
  LARGE_INTEGER frequency_;
};

struct Figures {
  double median = 0;
  double worst = 0;
};

Figures Summary(std::vector<double> ms) {
  if (ms.empty()) return {};
  std::sort(ms.begin(), ms.end());
  const std::size_t n = ms.size();
  return {n % 2 ? ms[n / 2] : (ms[n / 2 - 1] + ms[n / 2]) / 2, ms.back()};
}

// A tone that never rests, so that every channel has data all the way.
void WriteTone(const std::string& path) {
  std::vector<std::uint8_t> data(static_cast<std::size_t>(kRate) * kFileSeconds * 2);
  for (std::size_t i = 0; i < data.size() / 2; ++i) {
    const auto sample = static_cast<std::int16_t>((i % 96) < 48 ? 8000 : -8000);
    data[2 * i] = static_cast<std::uint8_t>(sample & 0xFF);
    data[2 * i + 1] = static_cast<std::uint8_t>((sample >> 8) & 0xFF);
  }
  const std::vector<std::uint8_t> file = WavFile({.Channels = 1, .Rate = kRate, .Bits = 16}, data);
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(file.data()), static_cast<std::streamsize>(file.size()));
}

void SetDriver(const char* key, const std::string& value) {
  SetEnvironmentVariableA((std::string("TONVANE_VASIO_") + key).c_str(), value.c_str());
}

// Runs the message loop until the time has passed, untimed.
void WaitMs(int ms) { host::PumpMessages(static_cast<DWORD>(std::max(ms, 0))); }

std::string Execute(host::LoadedPlugin& plugin, const std::string& line) {
  char result[256] = {};
  plugin.commands->ExecuteCommand(line.c_str(), result);
  return result;
}

// Plays the file on channels 1..count; false (and says why) when one refuses.
bool PlayAll(host::LoadedPlugin& plugin, int count, const std::string& file) {
  for (int channel = 1; channel <= count; ++channel) {
    const std::string result = Execute(plugin, "Play " + std::to_string(channel) + " \"" + file + "\"");
    if (result != "OK") {
      std::fprintf(stderr, "Play %d: %s\n", channel, result.c_str());
      return false;
    }
  }
  return true;
}

bool RunCase(const Options& o, host::LoadedPlugin& plugin, int channels, const std::string& wave) {
  // The driver reads these at every init: the next window opens it anew.
  SetDriver("OUTPUTS", std::to_string(channels));
  SetDriver("BUFFER", "256");
  SetDriver("RATES", std::to_string(kRate));
  SetDriver("CLOCK", "realtime");
  plugin.window->ShowPluginWindow();
  WaitMs(500);
  bool ok = PlayAll(plugin, channels, wave);
  const Stopwatch watch;
  std::vector<double> ticks, calls, baseline;
  DWORD played = GetTickCount();
  for (int i = 0; ok && i < o.ticks; ++i) {
    WaitMs(o.intervalMs);
    // Before the files end, all channels start again (untimed), so that all keep playing.
    if (GetTickCount() - played > kFileSeconds * 1000 - 500) {
      ok = PlayAll(plugin, channels, wave);
      played = GetTickCount();
      WaitMs(o.intervalMs);
    }
    // The call and the paints it leaves behind, timed apart and added up.
    const double call = watch.Milliseconds([&] { plugin.window->Tick(); });
    calls.push_back(call);
    ticks.push_back(call + watch.Milliseconds([] { host::PumpPendingMessages(); }));
    baseline.push_back(watch.Milliseconds([&] {
      plugin.window->IsPluginWindowVisible();
      host::PumpPendingMessages();
    }));
  }
  if (ok) {
    const Figures t = Summary(ticks), c = Summary(calls), b = Summary(baseline);
    std::printf(
        "channels=%d ticks=%zu interval=%dms  tick+messages median=%.2fms worst=%.2fms  "
        "(the call alone median=%.2fms worst=%.2fms)  "
        "baseline median=%.2fms worst=%.2fms  over baseline median=%.2fms\n",
        channels, ticks.size(), o.intervalMs, t.median, t.worst, c.median, c.worst, b.median, b.worst,
        t.median - b.median);
    std::fflush(stdout);
  }
  plugin.window->FreePluginWindow();
  WaitMs(200);
  return ok;
}

bool ParseList(const std::string& text, std::vector<int>& out) {
  out.clear();
  std::stringstream in(text);
  std::string item;
  while (std::getline(in, item, ',')) {
    if (item.empty() || item.find_first_not_of("0123456789") != std::string::npos) return false;
    out.push_back(std::stoi(item));
  }
  return !out.empty();
}

bool ParseOptions(int argc, char** argv, Options& o) {
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (i + 1 >= argc) return false;
    const std::string v = argv[++i];
    if (a == "--plugin") {
      o.plugin = v;
    } else if (a == "--channels") {
      if (!ParseList(v, o.channels)) return false;
    } else if (a == "--ticks") {
      if (!ParsePositive(v, o.ticks)) return false;
    } else if (a == "--interval") {
      if (!ParsePositive(v, o.intervalMs)) return false;
    } else {
      return false;
    }
  }
  if (o.plugin.empty()) o.plugin = host::ExecutableDir() + "Tonvane.dll";
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (!ParseOptions(argc, argv, options)) {
    std::fprintf(stderr,
                 "usage: tick_timing [--plugin DLL] [--channels N,N...] [--ticks N] [--interval MS]\n");
    return 2;
  }
  bench::TBenchPlugin session("tick-timing", options.plugin, kRate);
  if (!session.Plugin) return 1;
  auto& plugin = session.Plugin;
  const std::string wave = session.Dir + "tone.wav";
  WriteTone(wave);
  bool ok = true;
  for (const int channels : options.channels) ok = ok && RunCase(options, *plugin, channels, wave);
  return ok ? 0 : 1;
}
