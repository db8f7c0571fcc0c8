#pragma once

#include <cstdint>

#include "audio/byte_source.h"

namespace tonvane {

constexpr std::uint32_t FourCC(const char (&s)[5]) {
  return static_cast<std::uint32_t>(static_cast<unsigned char>(s[0])) |
         static_cast<std::uint32_t>(static_cast<unsigned char>(s[1])) << 8 |
         static_cast<std::uint32_t>(static_cast<unsigned char>(s[2])) << 16 |
         static_cast<std::uint32_t>(static_cast<unsigned char>(s[3])) << 24;
}

// One chunk as found by a descend: its id, declared size, the form type of a RIFF
// chunk, and where its contents start.
struct TRiffChunk {
  std::uint32_t Id = 0;
  std::uint32_t Size = 0;
  std::uint32_t FormType = 0;
  std::int64_t DataOffset = 0;
  // Just after the chunk's contents and pad byte.
  std::int64_t End() const { return DataOffset + Size + (Size & 1); }
};

// Chunk walking with the semantics of mmio's descend and ascend: the search starts
// at the current position and steps over whole chunks (sizes padded to even).
// Sizes are added in 64 bits, so no chunk size, however large, can make a search
// loop or wrap around (Wine's own mmioDescend loops forever on some). Positions stay
// within 31 bits, as mmio's do, on every platform.

// Finds the next "RIFF" chunk of the given form type and positions after the type.
bool DescendRiff(IByteSource& source, std::uint32_t formType, TRiffChunk& chunk);
// Finds the next chunk with the id inside parent and positions at its contents.
bool DescendChunk(IByteSource& source, std::uint32_t id, const TRiffChunk& parent, TRiffChunk& chunk);
// Positions just after the chunk (and its pad byte).
bool Ascend(IByteSource& source, const TRiffChunk& chunk);

}  // namespace tonvane
