#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "audio/byte_source.h"

namespace tonvane {

// The genre names an ID3v1 genre byte stands for, 0 to 147 (the extended list that
// players share); bytes above 147 have no name.
extern const std::array<std::string_view, 148> kID3v1GenreNames;

// The ID3v1 tag in the last 128 bytes of an MP3 file. The analyser only needs to
// know whether it is there (those bytes are not audio); the text fields are kept
// for whoever wants to show them.
class TID3v1 {
 public:
  TID3v1() { Clear(); }

  void Clear();
  // Clears, then reads the source's last 128 bytes. False when they cannot be read
  // (fewer than 128 bytes, a read error); whether a tag was there is TagFound.
  bool ReadTag(IByteSource& source);
  // The same over the file, opened for this alone; false when it cannot be opened.
  bool ReadTag(const std::string& fileName);
  // The name of GenreIndex, or empty for an index outside the list.
  std::string_view GenreName() const;

  bool TagFound = false;
  std::uint8_t TagVersion = 1;  // 1 = ID3v1.0, 2 = ID3v1.1 (with a track number)
  std::string Title;
  std::string Artist;
  std::string Album;
  std::string Year;
  std::string Comment;
  std::uint8_t Track = 0;
  std::uint8_t GenreIndex = 255;
};

}  // namespace tonvane
