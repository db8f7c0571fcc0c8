#include "audio/riff_chunks.h"

#include <limits>

#include "base/byte_order.h"

namespace tonvane {
namespace {

bool SeekTo(IByteSource& source, std::int64_t position) {
  if (position < 0 || position > std::numeric_limits<std::int32_t>::max()) return false;
  return source.Seek(position);
}

// Every step moves at least 8 bytes forward and reads stop at the end of the file
// (or where a position no longer fits in 31 bits), so the search always ends.
bool Find(IByteSource& source, std::uint32_t id, std::uint32_t formType, const TRiffChunk* parent,
          TRiffChunk& chunk) {
  std::int64_t pos = source.Tell();
  if (pos < 0 || pos > std::numeric_limits<std::int32_t>::max()) return false;
  // Like mmio, a search must start inside its parent but may then run on through
  // the file: writers often leave the RIFF size wrong.
  if (parent && (pos < parent->DataOffset || pos >= parent->DataOffset + parent->Size)) return false;
  const std::int64_t start = pos;
  for (;;) {
    std::uint8_t header[12];
    const std::int32_t n = source.Read(header, 12);
    if (n < 8) break;
    TRiffChunk found;
    found.Id = LoadLe32(header);
    found.Size = LoadLe32(header + 4);
    found.FormType = n >= 12 ? LoadLe32(header + 8) : 0;
    found.DataOffset = pos + 8;
    if (found.Id == id && (formType == 0 || (n >= 12 && found.FormType == formType))) {
      chunk = found;
      return SeekTo(source, found.Id == FourCC("RIFF") ? found.DataOffset + 4 : found.DataOffset);
    }
    pos = found.End();
    if (!SeekTo(source, pos)) break;
  }
  SeekTo(source, start);
  return false;
}

}  // namespace

bool DescendRiff(IByteSource& source, std::uint32_t formType, TRiffChunk& chunk) {
  return Find(source, FourCC("RIFF"), formType, nullptr, chunk);
}

bool DescendChunk(IByteSource& source, std::uint32_t id, const TRiffChunk& parent, TRiffChunk& chunk) {
  return Find(source, id, 0, &parent, chunk);
}

bool Ascend(IByteSource& source, const TRiffChunk& chunk) { return SeekTo(source, chunk.End()); }

}  // namespace tonvane
