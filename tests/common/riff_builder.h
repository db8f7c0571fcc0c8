#pragma once

// Builds RIFF files byte by byte for tests, so each case states exactly what the
// file holds (odd sizes, wrong sizes, chunks out of order).

#include <cstddef>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "file_bytes.h"

namespace tonvane::testing {

class RiffBuilder {
 public:
  RiffBuilder& Chunk(const std::string& id, const std::vector<std::uint8_t>& body, bool pad = true) {
    return ChunkWithSize(id, static_cast<std::uint32_t>(body.size()), body, pad);
  }
  // A chunk whose declared size differs from what follows it.
  RiffBuilder& ChunkWithSize(const std::string& id, std::uint32_t size, const std::vector<std::uint8_t>& body,
                             bool pad = true) {
    Text(id);
    U32(size);
    bytes_.insert(bytes_.end(), body.begin(), body.end());
    if (pad && (body.size() & 1)) bytes_.push_back(0);
    return *this;
  }
  RiffBuilder& Format(std::uint16_t tag, std::uint16_t channels, std::uint32_t rate, std::uint16_t bits,
                      std::uint32_t chunkSize = 16) {
    std::vector<std::uint8_t> f;
    auto le = [&f](std::uint32_t v, int n) {
      for (int i = 0; i < n; ++i) f.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    };
    const std::uint16_t align = static_cast<std::uint16_t>(channels * bits / 8);
    le(tag, 2);
    le(channels, 2);
    le(rate, 4);
    le(rate * align, 4);
    le(align, 2);
    le(bits, 2);
    while (f.size() < chunkSize) f.push_back(0);
    return Chunk("fmt ", f);
  }
  // The whole file: "RIFF", the size (or the one given), "WAVE", the chunks.
  std::vector<std::uint8_t> Wave(std::int64_t riffSize = -1) const {
    std::vector<std::uint8_t> out = {'R', 'I', 'F', 'F'};
    const auto size = static_cast<std::uint32_t>(riffSize < 0 ? bytes_.size() + 4 : riffSize);
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(size >> (8 * i)));
    out.insert(out.end(), {'W', 'A', 'V', 'E'});
    out.insert(out.end(), bytes_.begin(), bytes_.end());
    return out;
  }

 private:
  void Text(const std::string& id) { bytes_.insert(bytes_.end(), id.begin(), id.end()); }
  void U32(std::uint32_t v) {
    for (int i = 0; i < 4; ++i) bytes_.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
  }
  std::vector<std::uint8_t> bytes_;
};

inline std::vector<std::uint8_t> Samples16(const std::vector<std::int16_t>& samples) {
  std::vector<std::uint8_t> out;
  for (auto s : samples) {
    out.push_back(static_cast<std::uint8_t>(static_cast<std::uint16_t>(s) & 0xFF));
    out.push_back(static_cast<std::uint8_t>(static_cast<std::uint16_t>(s) >> 8));
  }
  return out;
}

// Samples that are never 0, so that a recording's silence is never part of a sound.
inline std::vector<std::int16_t> Noise(unsigned seed, std::size_t count) {
  std::mt19937 rng(seed);
  std::vector<std::int16_t> samples(count);
  for (auto& s : samples) {
    s = static_cast<std::int16_t>(std::uniform_int_distribution<int>(1, 32767)(rng));
    if (rng() & 1) s = static_cast<std::int16_t>(-s);
  }
  return samples;
}

}  // namespace tonvane::testing
