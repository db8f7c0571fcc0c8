#include "audio/id3v2.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string_view>

#include "base/byte_order.h"
#include "base/str_to_int.h"

namespace tonvane {
namespace {

constexpr std::size_t kHeaderLength = 10;
constexpr std::uint8_t kFooterFlag = 0x10;
// Longer frame contents are cut: the fields are short texts.
constexpr std::size_t kContentLength = 250;
constexpr std::size_t kSlotCount = 16;

enum Slot : std::size_t {
  kTitle,
  kArtist,
  kAlbum,
  kTrack,
  kYear,
  kGenre,
  kComment,
  kComposer,
  kEncoder,
  kCopyright,
  kLanguage,
  kLink,
  kRecordingTime,
  kOriginalArtist,
  kContentGroup,
  kOriginalAlbum,
};

// Frame identifiers per slot: versions 3 and 4 share four-letter names, version 2
// uses three letters. The last four slots stand in when their partners are empty.
constexpr std::array<std::string_view, kSlotCount> kFrameIds = {
    "TIT2", "TPE1", "TALB", "TRCK", "TYER", "TCON", "COMM", "TCOM",
    "TENC", "TCOP", "TLAN", "WXXX", "TDRC", "TOPE", "TIT1", "TOAL",
};
constexpr std::array<std::string_view, kSlotCount> kFrameIdsV2 = {
    "TT2", "TP1", "TAL", "TRK", "TYE", "TCO", "COM", "TCM",
    "TEN", "TCR", "TLA", "WXX", "TOR", "TOA", "TT1", "TOT",
};

bool IsSpaceOrControl(char c) { return static_cast<unsigned char>(c) <= ' '; }

// Removes what a slot carries around its text: the encoding byte in front and the
// zero padding behind.
std::string Trimmed(std::string_view s) {
  std::size_t first = 0, last = s.size();
  while (first < last && IsSpaceOrControl(s[first])) ++first;
  while (last > first && IsSpaceOrControl(s[last - 1])) --last;
  return std::string(s.substr(first, last - first));
}

// Drops everything up to and including the first zero byte: the description that
// comment and link frames put before their text.
std::string_view AfterDescription(std::string_view s) {
  const auto zero = s.find('\0');
  return zero == std::string_view::npos ? s : s.substr(zero + 1);
}

std::string_view WithoutPrefix(std::string_view s, std::size_t count) {
  return s.substr(std::min(count, s.size()));
}

using Slots = std::array<std::string, kSlotCount>;

// Fills slots from the frames until the first thing that is not a frame. A file that
// ends or fails mid-walk keeps what was found so far.
void WalkFrames(IByteSource& source, std::uint8_t version, std::int64_t tagSize, Slots& slots) {
  if (!source.Seek(kHeaderLength)) return;
  const bool shortIds = version == 2;
  const std::size_t idLength = shortIds ? 3 : 4;
  const std::size_t frameHeaderLength = shortIds ? 6 : 10;
  const auto& ids = shortIds ? kFrameIdsV2 : kFrameIds;

  const std::int64_t size = source.Size();
  for (std::int64_t position = kHeaderLength; position < tagSize && position < size;) {
    std::array<std::uint8_t, 10> header{};
    const auto headerLength = static_cast<std::int32_t>(frameHeaderLength);
    if (source.Read(header.data(), headerLength) != headerLength) return;
    if (header[0] < 'A' || header[0] > 'Z') return;

    // 64-bit arithmetic: a version 3 size may be anything up to 4 GiB, and the next
    // frame must always lie ahead of this one so the walk ends.
    std::int64_t frameSize = 0;
    if (shortIds)
      frameSize = LoadBe24(header.data() + 3);
    else if (version == 4)
      frameSize = LoadSynchsafe32(header.data() + 4);
    else
      frameSize = LoadBe32(header.data() + 4);

    const std::int64_t contentStart = position + headerLength;
    std::string content(kContentLength, '\0');
    const auto wanted = static_cast<std::int32_t>(std::min<std::int64_t>(frameSize, kContentLength));
    if (source.Read(content.data(), wanted) < 0) return;

    const std::string_view id(reinterpret_cast<const char*>(header.data()), idLength);
    for (std::size_t slot = 0; slot < kSlotCount; ++slot)
      if (ids[slot] == id && content[0] == '\0') slots[slot] = content;

    position = contentStart + frameSize;
    if (!source.Seek(position)) return;
  }
}

}  // namespace

void TID3v2::Clear() {
  TagFound = false;
  TagVersion = 0;
  TagSize = 0;
  Title.clear();
  Artist.clear();
  Album.clear();
  Track = 0;
  Year.clear();
  Genre.clear();
  Comment.clear();
  Composer.clear();
  Encoder.clear();
  Copyright.clear();
  Language.clear();
  Link.clear();
}

bool TID3v2::ReadTag(const std::string& fileName) {
  Clear();
  const auto source = OpenFileSource(fileName);
  return source && ReadTag(*source);
}

bool TID3v2::ReadTag(IByteSource& source) {
  Clear();
  std::uint8_t header[kHeaderLength] = {};
  constexpr auto kLength = static_cast<std::int32_t>(kHeaderLength);
  if (!source.Seek(0) || source.Read(header, kLength) != kLength) return false;
  const std::int64_t fileSize = source.Size();
  if (std::memcmp(header, "ID3", 3) != 0) return true;

  TagFound = true;
  TagVersion = header[3];
  std::int64_t size = std::int64_t{LoadSynchsafe32(header + 6)} + kHeaderLength;
  if (header[5] & kFooterFlag) size += kHeaderLength;
  // A tag that claims more than the file holds is not trusted to say where the audio starts.
  TagSize = size > fileSize ? 0 : static_cast<std::int32_t>(size);

  if (TagVersion < 2 || TagVersion > 4 || TagSize <= 0) return true;

  Slots slots;
  WalkFrames(source, TagVersion, TagSize, slots);

  const auto textOf = [&](Slot primary, Slot fallback) {
    std::string text = Trimmed(slots[primary]);
    return text.empty() ? Trimmed(slots[fallback]) : text;
  };
  Title = textOf(kTitle, kContentGroup);
  Artist = textOf(kArtist, kOriginalArtist);
  Album = textOf(kAlbum, kOriginalAlbum);

  // "3/12" is track 3 of 12; anything that is not a number counts as no track.
  std::string track = Trimmed(slots[kTrack]);
  if (const auto slash = track.find('/'); slash != std::string::npos) track.resize(slash);
  Track = static_cast<std::uint8_t>(TryStrToInt(track).value_or(0) & 0xFF);

  Year = Trimmed(slots[kYear]);
  if (Year.empty()) Year = Trimmed(slots[kRecordingTime]).substr(0, 4);

  // Genres may be written as a numeric reference in parentheses ahead of the name.
  Genre = Trimmed(slots[kGenre]);
  if (const auto paren = Genre.rfind(')'); paren != std::string::npos) Genre.erase(0, paren + 1);

  // Comments carry a three-letter language after the encoding byte.
  Comment = Trimmed(AfterDescription(WithoutPrefix(slots[kComment], 4)));
  Composer = Trimmed(slots[kComposer]);
  Encoder = Trimmed(slots[kEncoder]);
  Copyright = Trimmed(slots[kCopyright]);
  Language = Trimmed(slots[kLanguage]);
  Link = Trimmed(AfterDescription(WithoutPrefix(slots[kLink], 1)));
  return true;
}

}  // namespace tonvane
