#include "audio/id3v1.h"

#include <cstring>

namespace tonvane {

const std::array<std::string_view, 148> kID3v1GenreNames = {
    "Blues",
    "Classic Rock",
    "Country",
    "Dance",
    "Disco",
    "Funk",
    "Grunge",
    "Hip-Hop",
    "Jazz",
    "Metal",
    "New Age",
    "Oldies",
    "Other",
    "Pop",
    "R&B",
    "Rap",
    "Reggae",
    "Rock",
    "Techno",
    "Industrial",
    "Alternative",
    "Ska",
    "Death Metal",
    "Pranks",
    "Soundtrack",
    "Euro-Techno",
    "Ambient",
    "Trip-Hop",
    "Vocal",
    "Jazz+Funk",
    "Fusion",
    "Trance",
    "Classical",
    "Instrumental",
    "Acid",
    "House",
    "Game",
    "Sound Clip",
    "Gospel",
    "Noise",
    "AlternRock",
    "Bass",
    "Soul",
    "Punk",
    "Space",
    "Meditative",
    "Instrumental Pop",
    "Instrumental Rock",
    "Ethnic",
    "Gothic",
    "Darkwave",
    "Techno-Industrial",
    "Electronic",
    "Pop-Folk",
    "Eurodance",
    "Dream",
    "Southern Rock",
    "Comedy",
    "Cult",
    "Gangsta",
    "Top 40",
    "Christian Rap",
    "Pop/Funk",
    "Jungle",
    "Native American",
    "Cabaret",
    "New Wave",
    "Psychadelic",
    "Rave",
    "Showtunes",
    "Trailer",
    "Lo-Fi",
    "Tribal",
    "Acid Punk",
    "Acid Jazz",
    "Polka",
    "Retro",
    "Musical",
    "Rock & Roll",
    "Hard Rock",
    "Folk",
    "Folk-Rock",
    "National Folk",
    "Swing",
    "Fast Fusion",
    "Bebob",
    "Latin",
    "Revival",
    "Celtic",
    "Bluegrass",
    "Avantgarde",
    "Gothic Rock",
    "Progessive Rock",
    "Psychedelic Rock",
    "Symphonic Rock",
    "Slow Rock",
    "Big Band",
    "Chorus",
    "Easy Listening",
    "Acoustic",
    "Humour",
    "Speech",
    "Chanson",
    "Opera",
    "Chamber Music",
    "Sonata",
    "Symphony",
    "Booty Bass",
    "Primus",
    "Porn Groove",
    "Satire",
    "Slow Jam",
    "Club",
    "Tango",
    "Samba",
    "Folklore",
    "Ballad",
    "Power Ballad",
    "Rhythmic Soul",
    "Freestyle",
    "Duet",
    "Punk Rock",
    "Drum Solo",
    "A capella",
    "Euro-House",
    "Dance Hall",
    "Goa",
    "Drum & Bass",
    "Club-House",
    "Hardcore",
    "Terror",
    "Indie",
    "BritPop",
    "Negerpunk",
    "Polsk Punk",
    "Beat",
    "Christian Gangsta Rap",
    "Heavy Metal",
    "Black Metal",
    "Crossover",
    "Contemporary Christian",
    "Christian Rock",
    "Merengue",
    "Salsa",
    "Trash Metal",
    "Anime",
    "JPop",
    "SynthPop",
};

namespace {

constexpr std::size_t kTagLength = 128;

// Fixed-width fields are padded with zeros or spaces; both go, along with any other
// control character at the end.
std::string TrimmedRight(const std::uint8_t* bytes, std::size_t length) {
  while (length > 0 && bytes[length - 1] <= ' ') --length;
  return std::string(reinterpret_cast<const char*>(bytes), length);
}

}  // namespace

void TID3v1::Clear() {
  TagFound = false;
  TagVersion = 1;
  Title.clear();
  Artist.clear();
  Album.clear();
  Year.clear();
  Comment.clear();
  Track = 0;
  GenreIndex = 255;
}

bool TID3v1::ReadTag(const std::string& fileName) {
  Clear();
  const auto source = OpenFileSource(fileName);
  return source && ReadTag(*source);
}

bool TID3v1::ReadTag(IByteSource& source) {
  Clear();
  constexpr auto kLength = static_cast<std::int32_t>(kTagLength);
  std::uint8_t tag[kTagLength] = {};
  const std::int64_t size = source.Size();
  if (size < kLength || !source.Seek(size - kLength) || source.Read(tag, kLength) != kLength) return false;
  if (std::memcmp(tag, "TAG", 3) != 0) return true;

  TagFound = true;
  const std::uint8_t* comment = tag + 97;
  // Version 1.1 gives up the comment's last two bytes for a separator and the track number.
  const bool withTrack = (comment[28] == 0 && comment[29] != 0) || (comment[28] == ' ' && comment[29] != ' ');
  TagVersion = withTrack ? 2 : 1;
  Title = TrimmedRight(tag + 3, 30);
  Artist = TrimmedRight(tag + 33, 30);
  Album = TrimmedRight(tag + 63, 30);
  Year = TrimmedRight(tag + 93, 4);
  if (withTrack) {
    Comment = TrimmedRight(comment, 28);
    Track = comment[29];
  } else {
    Comment = TrimmedRight(comment, 30);
  }
  GenreIndex = tag[127];
  return true;
}

std::string_view TID3v1::GenreName() const {
  return GenreIndex < kID3v1GenreNames.size() ? kID3v1GenreNames[GenreIndex] : std::string_view();
}

}  // namespace tonvane
