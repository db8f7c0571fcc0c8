#pragma once

// The WAV files this project makes (the virtual driver's recordings, the tests' and
// the benchmarks' sounds) all start with the canonical 44-byte PCM header: "RIFF",
// a 16-byte "fmt " chunk, then "data". One writer, so that a file the driver records
// and a file a test plays are laid out alike, and both as the plug-in's reader expects.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace tonvane {

constexpr std::size_t kWavHeaderSize = 44;

struct TPcmFormat {
  std::uint16_t Channels = 1;
  std::uint32_t Rate = 48000;
  std::uint16_t Bits = 16;
};

// The header of dataBytes of samples that follow it. The RIFF size counts no pad
// byte: a recording still growing has none yet. Sizes beyond what 32 bits tell are
// capped at the largest RIFF size; the data after the header is still all there.
std::array<std::uint8_t, kWavHeaderSize> WavHeader(const TPcmFormat& format, std::uint64_t dataBytes);

// A whole file: the header, the data and, after odd data, the pad byte that RIFF
// wants there (counted in the RIFF size, as a reader walking the chunks expects).
std::vector<std::uint8_t> WavFile(const TPcmFormat& format, std::span<const std::uint8_t> data);

}  // namespace tonvane
