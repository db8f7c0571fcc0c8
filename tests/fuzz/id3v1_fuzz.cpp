// Any bytes: the ID3v1 reader must not crash, and its fields must fit the tag.
#include <cstdint>
#include <cstdlib>

#include "audio/byte_source.h"
#include "audio/id3v1.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  tonvane::TMemorySource source(data, size);
  tonvane::TID3v1 tag;
  const bool read = tag.ReadTag(source);
  if (read != (size >= 128)) std::abort();
  if (!tag.TagFound) {
    if (tag.GenreIndex != 255 || !tag.Title.empty() || !tag.Comment.empty()) std::abort();
    return 0;
  }
  if (tag.Title.size() > 30 || tag.Artist.size() > 30 || tag.Album.size() > 30 || tag.Year.size() > 4 ||
      tag.Comment.size() > 30)
    std::abort();
  if (tag.TagVersion == 2 && tag.Comment.size() > 28) std::abort();
  if (tag.TagVersion != 1 && tag.TagVersion != 2) std::abort();
  if (tag.GenreName().empty() != (tag.GenreIndex > 147)) std::abort();
  return 0;
}
