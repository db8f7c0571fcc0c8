#pragma once

// What the stream benchmark and its timing tool share: one timed pass over a sound
// file, read to its end as a feeder thread reads a channel's, the open left out of
// the time.
#include <chrono>
#include <cstdint>
#include <string>

#include "audio/audio_stream.h"

namespace tonvane::bench {

struct PassTime {
  bool opened = false;
  std::int64_t samples = 0;  // 16-bit samples handed out
  double seconds = 0;        // spent in Read, the final empty one included
};

// Opens the file, then reads it to its end count bytes at a time.
inline PassTime TimeOnePass(TAudioStream& stream, const std::string& file, std::int32_t count) {
  PassTime pass;
  WAVEFORMATEX format{};
  if (!stream.Open(file, format)) return pass;
  pass.opened = true;
  std::uint8_t buffer[4096];
  std::int64_t bytes = 0;
  const auto start = std::chrono::steady_clock::now();
  for (std::int32_t n; (n = stream.Read(buffer, count)) > 0;) bytes += n;
  pass.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  pass.samples = bytes / 2;
  return pass;
}

}  // namespace tonvane::bench
