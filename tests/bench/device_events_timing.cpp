// How fast the plug-in rides through what a device does by itself, through the real
// DLL and the virtual driver in real time, with the host ticking as tonvane-host does:
//  - reset: from the driver's reset request (sent 0.8 s into a play, with a new buffer
//    size) to the reopened device's first buffer switch;
//  - drop-out: from the moment the device stops calling back to the status bar saying
//    so, and from the device's return to the first switch of the reopened device,
//    which plays the channel on from where it stopped.
// Each case runs --rounds times with a fresh window and a fresh device; one line per
// figure: median and worst in milliseconds. The driver's times come from its timeline
// (GetTickCount64: 1 ms under Wine, about 16 ms on Windows).
//
//   device_events_timing [--plugin DLL] [--rounds N] [--interval MS]
//
// The virtual driver must be registered (32-bit regsvr32).
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "base/wav_writer.h"
#include "bench_host.h"
#include "plugin_host.h"
#include "timeline.h"
#include "virtual_asio_ids.h"
#include "window_lookup.h"

namespace {

using namespace tonvane;
using bench::ParsePositive;

constexpr std::uint32_t kRate = 48000;
constexpr std::int64_t kResetAfter = 800, kDropAfter = 800, kDropFor = 1500;

struct Options {
  std::string plugin;
  int rounds = 5;
  int intervalMs = 50;
};

void SetDriver(const char* key, const char* value) {
  SetEnvironmentVariableA((std::string("TONVANE_VASIO_") + key).c_str(), value);
}

vasio::TTimeline Timeline() {
  char text[160] = {};
  GetEnvironmentVariableA(vasio::kTimelineVariable, text, sizeof text);
  vasio::TTimeline t;
  unsigned long long start = 0;
  long long resetAt = -1, switchAt = -1;
  int sent = 0, starts = 0;
  long buffer = 0;
  std::sscanf(text, "start=%llu reset=%d buffer=%ld resetAt=%lld switchAt=%lld starts=%d", &start, &sent,
              &buffer, &resetAt, &switchAt, &starts);
  t.StartMs = start;
  t.ResetSent = sent != 0;
  t.ResetAt = resetAt;
  t.SwitchAt = switchAt;
  t.Starts = starts;
  return t;
}

void WriteTone(const std::string& path, int seconds) {
  std::vector<std::uint8_t> data(static_cast<std::size_t>(kRate) * seconds * 2);
  for (std::size_t i = 0; i < data.size() / 2; ++i) {
    const auto sample = static_cast<std::int16_t>((i % 96) < 48 ? 8000 : -8000);
    data[2 * i] = static_cast<std::uint8_t>(sample & 0xFF);
    data[2 * i + 1] = static_cast<std::uint8_t>((sample >> 8) & 0xFF);
  }
  const std::vector<std::uint8_t> file = WavFile({.Channels = 1, .Rate = kRate, .Bits = 16}, data);
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(file.data()), static_cast<std::streamsize>(file.size()));
}

std::string Execute(host::LoadedPlugin& plugin, const std::string& line) {
  char result[256] = {};
  plugin.commands->ExecuteCommand(line.c_str(), result);
  return result;
}

// The host's loop: messages all the time, a Tick every interval, until done() or
// limitMs; false on the limit.
template <typename Done>
bool RunHost(host::LoadedPlugin& plugin, int intervalMs, int limitMs, Done&& done) {
  const ULONGLONG end = GetTickCount64() + static_cast<ULONGLONG>(limitMs);
  ULONGLONG nextTick = GetTickCount64() + static_cast<ULONGLONG>(intervalMs);
  while (GetTickCount64() < end) {
    if (done()) return true;
    host::PumpMessages(1);
    if (GetTickCount64() >= nextTick) {
      plugin.window->Tick();
      nextTick += static_cast<ULONGLONG>(intervalMs);
    }
  }
  return done();
}

std::string Status() {
  const HWND form = testing::ThisThreadsMainForm();
  if (!form) return "";
  const HWND bar = FindWindowExA(form, nullptr, STATUSCLASSNAMEA, nullptr);
  return bar ? testing::StatusBarText(bar) : "";
}

void Report(const char* what, std::vector<double> ms) {
  if (ms.empty()) {
    std::printf("%s: no figures\n", what);
    return;
  }
  std::sort(ms.begin(), ms.end());
  const std::size_t n = ms.size();
  const double median = n % 2 ? ms[n / 2] : (ms[n / 2 - 1] + ms[n / 2]) / 2;
  std::printf("%s: rounds=%zu median=%.0fms worst=%.0fms\n", what, n, median, ms.back());
  std::fflush(stdout);
}

// A fresh device with these events, a fresh window, and a file playing on channel 1.
bool Begin(host::LoadedPlugin& plugin, const std::string& wave) {
  SetEnvironmentVariableA(vasio::kTimelineVariable, nullptr);
  plugin.window->ShowPluginWindow();
  const std::string played = Execute(plugin, "Play 1 \"" + wave + "\"");
  if (played != "OK") std::fprintf(stderr, "Play: %s\n", played.c_str());
  return played == "OK";
}

void End(host::LoadedPlugin& plugin) {
  plugin.window->FreePluginWindow();
  host::PumpMessages(200);
}

bool ParseOptions(int argc, char** argv, Options& o) {
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (i + 1 >= argc) return false;
    const std::string v = argv[++i];
    if (a == "--plugin")
      o.plugin = v;
    else if (a == "--rounds") {
      if (!ParsePositive(v, o.rounds)) return false;
    } else if (a == "--interval") {
      if (!ParsePositive(v, o.intervalMs)) return false;
    } else
      return false;
  }
  if (o.plugin.empty()) o.plugin = host::ExecutableDir() + "Tonvane.dll";
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  Options o;
  if (!ParseOptions(argc, argv, o)) {
    std::fprintf(stderr, "usage: device_events_timing [--plugin DLL] [--rounds N] [--interval MS]\n");
    return 2;
  }
  bench::TBenchPlugin session("events-timing", o.plugin, kRate);
  if (!session.Plugin) return 1;
  auto& plugin = session.Plugin;
  const std::string wave = session.Dir + "tone.wav";
  WriteTone(wave, 8);
  bool ok = true;
  SetDriver("OUTPUTS", "8");
  SetDriver("RATES", "48000");
  SetDriver("CLOCK", "realtime");
  std::printf("host ticks every %d ms\n", o.intervalMs);

  std::vector<double> resets;
  for (int round = 0; ok && round < o.rounds; ++round) {
    SetDriver("BUFFER", "256");
    SetDriver("RESET_AFTER", std::to_string(kResetAfter).c_str());
    SetDriver("RESET_BUFFER", round % 2 ? "128" : "512");
    ok = Begin(*plugin, wave) && RunHost(*plugin, o.intervalMs, 5000, [] {
           const vasio::TTimeline t = Timeline();
           return t.ResetSent && t.SwitchAt > t.ResetAt;
         });
    if (ok) resets.push_back(static_cast<double>(Timeline().SwitchAt - Timeline().ResetAt));
    End(*plugin);
  }
  SetDriver("RESET_AFTER", nullptr);
  SetDriver("RESET_BUFFER", nullptr);
  Report("reset request to the reopened device's first switch", resets);

  std::vector<double> noticed, back;
  SetDriver("BUFFER", "256");
  SetDriver("DROP_AFTER", std::to_string(kDropAfter).c_str());
  SetDriver("DROP_FOR", std::to_string(kDropFor).c_str());
  for (int round = 0; ok && round < o.rounds; ++round) {
    ok = Begin(*plugin, wave);
    const ULONGLONG start = Timeline().StartMs;
    ok = ok && RunHost(*plugin, o.intervalMs, 5000,
                       [] { return Status() == "Device not responding: trying to reopen it"; });
    if (ok) noticed.push_back(static_cast<double>(GetTickCount64() - start) - kDropAfter);
    ok = ok &&
         RunHost(*plugin, o.intervalMs, 8000, [] { return Timeline().SwitchAt >= kDropAfter + kDropFor; });
    if (ok) back.push_back(static_cast<double>(Timeline().SwitchAt - (kDropAfter + kDropFor)));
    End(*plugin);
  }
  Report("drop-out to the status bar saying so", noticed);
  Report("device's return to sound (the reopened device's first switch)", back);
  if (!ok) {
    char text[160] = {};
    GetEnvironmentVariableA(vasio::kTimelineVariable, text, sizeof text);
    std::fprintf(stderr, "a round did not complete: the status bar says \"%s\", the device's timeline %s\n",
                 Status().c_str(), text);
  }

  return ok ? 0 : 1;
}
