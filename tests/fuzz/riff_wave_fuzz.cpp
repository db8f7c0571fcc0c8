// Any bytes as a WAV file: opening must not crash, hang or read outside them, and
// reading it out two bytes at a time (the smallest read, which meets every block
// edge) must hand out no more than the data length it announced, then stop for good.
#include <cstdint>
#include <cstdlib>
#include <memory>

#include "audio/audio_stream.h"
#include "audio/byte_source.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  tonvane::TAudioStream stream;
  tonvane::WAVEFORMATEX format{};
  if (!stream.Open(std::make_unique<tonvane::TMemorySource>(data, size), tonvane::TAudioStream::TKind::Wave,
                   format)) {
    std::uint8_t sample[2];
    if (stream.Read(sample, 2) != 0 || stream.BytesRead() != 0) std::abort();
    return 0;
  }
  if (format.wFormatTag != 1 || format.nAvgBytesPerSec == 0 || stream.DataLength() == 0) std::abort();
  if (std::uint64_t{stream.DataStart()} > size) std::abort();
  // Whatever the chunk sizes claim, the bytes come from the file: never more than
  // it holds behind the data's start.
  const std::uint64_t most = size - stream.DataStart();
  std::uint64_t total = 0;
  std::uint8_t sample[2];
  for (std::int32_t n; (n = stream.Read(sample, 2)) > 0;) {
    if (n > 2) std::abort();
    total += static_cast<std::uint64_t>(n);
    if (total > stream.DataLength() || total > most) std::abort();
  }
  if (stream.Read(sample, 2) != 0) std::abort();
  if (stream.BytesRead() != total) std::abort();
  stream.Close();
  if (stream.Read(sample, 2) != 0 || stream.BytesRead() != total) std::abort();
  return 0;
}
