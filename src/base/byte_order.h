#pragma once

// Integers stored in file formats, read and written byte by byte: no alignment, no
// host byte order, no touching bytes past the ones named. The caller makes sure they
// are there.
#include <cstdint>

namespace tonvane {

constexpr std::uint16_t LoadLe16(const std::uint8_t* p) {
  return static_cast<std::uint16_t>(p[0] | p[1] << 8);
}

constexpr std::uint32_t LoadLe32(const std::uint8_t* p) {
  return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 |
         std::uint32_t{p[3]} << 24;
}

constexpr std::uint32_t LoadBe24(const std::uint8_t* p) {
  return std::uint32_t{p[0]} << 16 | std::uint32_t{p[1]} << 8 | p[2];
}

constexpr std::uint32_t LoadBe32(const std::uint8_t* p) {
  return std::uint32_t{p[0]} << 24 | std::uint32_t{p[1]} << 16 | std::uint32_t{p[2]} << 8 | p[3];
}

constexpr void StoreLe16(std::uint8_t* p, std::uint16_t v) {
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
}

constexpr void StoreLe32(std::uint8_t* p, std::uint32_t v) {
  StoreLe16(p, static_cast<std::uint16_t>(v));
  StoreLe16(p + 2, static_cast<std::uint16_t>(v >> 16));
}

// ID3v2's "synchsafe" integer: seven significant bits per byte by design, but the
// bytes are summed as they stand, so a malformed value with high bits set stays a
// (large) number inside 32 bits instead of being masked into a plausible one.
constexpr std::uint32_t LoadSynchsafe32(const std::uint8_t* p) {
  return (std::uint32_t{p[0]} << 21) + (std::uint32_t{p[1]} << 14) + (std::uint32_t{p[2]} << 7) + p[3];
}

}  // namespace tonvane
