#pragma once

#include <cstdint>
#include <string>

#include "audio/byte_source.h"

namespace tonvane {

// The ID3v2 tag at the start of an MP3 file. What matters to playback is TagSize:
// the audio starts behind the tag. The text fields of versions 2.2, 2.3 and 2.4
// are read from frames in ISO-8859-1 only; other encodings are skipped.
class TID3v2 {
 public:
  TID3v2() { Clear(); }

  void Clear();
  // Clears, then reads the tag. False when the source's first 10 bytes cannot be read;
  // whether a tag was there is TagFound. A malformed tag is never an error: the
  // frame walk simply ends where the frames stop making sense.
  bool ReadTag(IByteSource& source);
  // The same over the file, opened for this alone; false when it cannot be opened.
  bool ReadTag(const std::string& fileName);

  bool TagFound = false;
  std::uint8_t TagVersion = 0;
  // Header, frames and footer; 0 when there is no tag or it claims more than the file holds.
  std::int32_t TagSize = 0;
  std::string Title;
  std::string Artist;
  std::string Album;
  std::uint8_t Track = 0;
  std::string Year;
  std::string Genre;
  std::string Comment;
  std::string Composer;
  std::string Encoder;
  std::string Copyright;
  std::string Language;
  std::string Link;
};

}  // namespace tonvane
