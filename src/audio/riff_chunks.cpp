#include "audio/riff_chunks.h"

#include <cstring>
#include <limits>

namespace tonvane {
namespace {

std::uint32_t Le32(const unsigned char* p) {
  return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
         static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

bool SeekTo(TRiffSource& source, std::int64_t position) {
  if (position < 0 || position > std::numeric_limits<std::int32_t>::max()) return false;
  return source.Seek(static_cast<std::int32_t>(position));
}

// Every step moves at least 8 bytes forward and reads stop at the end of the file
// (or where a position no longer fits in 31 bits), so the search always ends.
bool Find(TRiffSource& source, std::uint32_t id, std::uint32_t formType, const TRiffChunk* parent,
          TRiffChunk& chunk) {
  std::int64_t pos = source.Tell();
  if (pos < 0) return false;
  // Like mmio, a search must start inside its parent but may then run on through
  // the file: writers often leave the RIFF size wrong.
  if (parent && (pos < parent->DataOffset || pos >= parent->DataOffset + parent->Size)) return false;
  const std::int64_t start = pos;
  for (;;) {
    unsigned char header[12];
    const std::int32_t n = source.Read(header, 12);
    if (n < 8) break;
    TRiffChunk found;
    found.Id = Le32(header);
    found.Size = Le32(header + 4);
    found.FormType = n >= 12 ? Le32(header + 8) : 0;
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

bool DescendRiff(TRiffSource& source, std::uint32_t formType, TRiffChunk& chunk) {
  return Find(source, FourCC("RIFF"), formType, nullptr, chunk);
}

bool DescendChunk(TRiffSource& source, std::uint32_t id, const TRiffChunk& parent, TRiffChunk& chunk) {
  return Find(source, id, 0, &parent, chunk);
}

bool Ascend(TRiffSource& source, const TRiffChunk& chunk) { return SeekTo(source, chunk.End()); }

}  // namespace tonvane
