// Any bytes: the ID3v2 reader must not crash or hang on sizes of any kind, and it
// must never place the audio beyond the end of the file.
#include <cstdint>
#include <cstdlib>

#include "audio/byte_source.h"
#include "audio/id3v2.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  tonvane::TMemorySource source(data, size);
  tonvane::TID3v2 tag;
  const bool read = tag.ReadTag(source);
  if (read != (size >= 10)) std::abort();
  if (tag.TagSize < 0 || static_cast<std::size_t>(tag.TagSize) > size) std::abort();
  if (!tag.TagFound && tag.TagSize != 0) std::abort();
  // Every text comes from at most one frame's first 250 bytes.
  for (const std::string* text : {&tag.Title, &tag.Artist, &tag.Album, &tag.Year, &tag.Genre, &tag.Comment,
                                  &tag.Composer, &tag.Encoder, &tag.Copyright, &tag.Language, &tag.Link})
    if (text->size() > 250) std::abort();
  return 0;
}
