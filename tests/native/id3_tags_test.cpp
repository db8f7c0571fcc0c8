// The ID3 tag readers over tags written by id3v2 and eyeD3, and over hand-made tags
// for what those tools never write: version 2.2, odd sizes, unsynchronisation,
// extended headers and sizes that would wrap in 32 bits.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "audio/id3v1.h"
#include "audio/id3v2.h"
#include "audio_files.h"

namespace tonvane {
namespace {

using testing::Bytes;
using testing::DataFile;

// A version 2.3 or 2.4 frame; the size goes in as four given bytes.
Bytes Frame(const std::string& id, const Bytes& sizeBytes, const Bytes& content) {
  Bytes frame(id.begin(), id.end());
  frame.insert(frame.end(), sizeBytes.begin(), sizeBytes.end());
  frame.insert(frame.end(), {0, 0});
  frame.insert(frame.end(), content.begin(), content.end());
  return frame;
}

Bytes Text(const std::string& text, std::uint8_t encoding = 0) {
  Bytes content{encoding};
  content.insert(content.end(), text.begin(), text.end());
  return content;
}

Bytes Size32(std::size_t n) {
  return {static_cast<std::uint8_t>(n >> 24), static_cast<std::uint8_t>(n >> 16),
          static_cast<std::uint8_t>(n >> 8), static_cast<std::uint8_t>(n)};
}

Bytes TextFrame(const std::string& id, const std::string& text, std::uint8_t encoding = 0) {
  const Bytes content = Text(text, encoding);
  return Frame(id, Size32(content.size()), content);
}

// A version 2.2 frame: three-letter identifier, three-byte size.
Bytes FrameV2(const std::string& id, const std::string& text) {
  const Bytes content = Text(text);
  Bytes frame(id.begin(), id.end());
  const Bytes size = Size32(content.size());
  frame.insert(frame.end(), size.begin() + 1, size.end());
  frame.insert(frame.end(), content.begin(), content.end());
  return frame;
}

Bytes Synchsafe(std::size_t n) {
  return {static_cast<std::uint8_t>((n >> 21) & 0x7F), static_cast<std::uint8_t>((n >> 14) & 0x7F),
          static_cast<std::uint8_t>((n >> 7) & 0x7F), static_cast<std::uint8_t>(n & 0x7F)};
}

// A whole tag around the frames, padded with zeros, followed by some audio-like bytes.
Bytes Tag(std::uint8_t version, std::uint8_t flags, const Bytes& frames, std::size_t padding = 32) {
  Bytes tag{'I', 'D', '3', version, 0, flags};
  const Bytes size = Synchsafe(frames.size() + padding);
  tag.insert(tag.end(), size.begin(), size.end());
  tag.insert(tag.end(), frames.begin(), frames.end());
  tag.insert(tag.end(), padding, 0);
  tag.insert(tag.end(), 64, 0x55);
  return tag;
}

Bytes Join(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const auto& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

class ID3Test : public testing::ScratchDirTest {};

TEST_F(ID3Test, ReadersFailOnlyWhenTheFileIsTooShortForTheirPlace) {
  TID3v2 v2;
  TID3v1 v1;
  EXPECT_FALSE(v2.ReadTag(Write("nine", Bytes(9, 'I'))));
  EXPECT_TRUE(v2.ReadTag(Write("ten", Bytes(10, 0))));
  EXPECT_FALSE(v2.TagFound);
  EXPECT_FALSE(v2.ReadTag(Path("missing")));
  EXPECT_FALSE(v1.ReadTag(Write("hundred", Bytes(100, 0))));
  EXPECT_TRUE(v1.ReadTag(Write("plain", Bytes(128, 0))));
  EXPECT_FALSE(v1.TagFound);
  EXPECT_EQ(v1.GenreIndex, 255);
  EXPECT_EQ(v1.TagVersion, 1);
}

TEST_F(ID3Test, TagSizeCountsHeaderAndFooterAndNeverExceedsTheFile) {
  TID3v2 tag;
  Bytes bytes{'I', 'D', '3', 3, 0, 0, 0, 0, 2, 1};
  bytes.resize(300);
  ASSERT_TRUE(tag.ReadTag(Write("plain", bytes)));
  EXPECT_TRUE(tag.TagFound);
  EXPECT_EQ(tag.TagVersion, 3);
  EXPECT_EQ(tag.TagSize, 267);
  bytes[5] = 0x10;
  ASSERT_TRUE(tag.ReadTag(Write("footer", bytes)));
  EXPECT_EQ(tag.TagSize, 277);
  bytes.resize(200);
  ASSERT_TRUE(tag.ReadTag(Write("short", bytes)));
  EXPECT_TRUE(tag.TagFound);
  EXPECT_EQ(tag.TagSize, 0);
  // Size bytes are summed as they stand, even with their top bit set.
  bytes = {'I', 'D', '3', 4, 0, 0, 0, 0, 0, 0x81};
  bytes.resize(200);
  ASSERT_TRUE(tag.ReadTag(Write("topbit", bytes)));
  EXPECT_EQ(tag.TagSize, 129 + 10);
  bytes[6] = 0xFF;
  ASSERT_TRUE(tag.ReadTag(Write("huge", bytes)));
  EXPECT_EQ(tag.TagSize, 0);
}

TEST_F(ID3Test, Version23TagFromId3v2Tool) {
  TID3v2 tag;
  const std::string tagged = DataFile("tagged-id3v2.mp3");
  ASSERT_TRUE(tag.ReadTag(tagged));
  EXPECT_TRUE(tag.TagFound);
  EXPECT_EQ(tag.TagVersion, 3);
  // The tool adds the version 2 tag in front and a 128-byte version 1 tag behind.
  EXPECT_EQ(tag.TagSize,
            static_cast<std::int32_t>(std::filesystem::file_size(tagged) -
                                      std::filesystem::file_size(DataFile("cbr128-stereo44k.mp3")) - 128));
  EXPECT_EQ(tag.Title, "Tag Title");
  EXPECT_EQ(tag.Artist, "Tag Artist");
  EXPECT_EQ(tag.Album, "Tag Album");
  EXPECT_EQ(tag.Year, "2001");
  EXPECT_EQ(tag.Track, 3);
  EXPECT_EQ(tag.Comment, "Tag Comment");
  // The tool writes the genre as a bare reference, "(17)".
  EXPECT_EQ(tag.Genre, "");
}

TEST_F(ID3Test, Version24TagFromEyeD3InLatin1AndInUtf8) {
  TID3v2 tag;
  ASSERT_TRUE(tag.ReadTag(DataFile("tagged-v24-latin1.mp3")));
  EXPECT_EQ(tag.TagVersion, 4);
  EXPECT_EQ(tag.Title, "Four Title");
  EXPECT_EQ(tag.Artist, "Four Artist");
  EXPECT_EQ(tag.Album, "Four Album");
  EXPECT_EQ(tag.Track, 5);
  EXPECT_EQ(tag.Genre, "Rock");
  EXPECT_EQ(tag.Comment, "Four Comment");
  EXPECT_EQ(tag.Link, "http://example.org/");
  const std::int32_t latin1Size = tag.TagSize;
  EXPECT_GT(latin1Size, 10);

  // Texts in any other encoding than Latin-1 are skipped, but the tag still places the audio.
  ASSERT_TRUE(tag.ReadTag(DataFile("tagged-v24-utf8.mp3")));
  EXPECT_TRUE(tag.TagFound);
  EXPECT_GT(tag.TagSize, 10);
  EXPECT_EQ(tag.Title, "");
  EXPECT_EQ(tag.Artist, "");
  EXPECT_EQ(tag.Album, "");
}

TEST_F(ID3Test, Version22FramesAndTheirStandIns) {
  const Bytes frames =
      Join({FrameV2("TT2", "Two Title"), FrameV2("TOA", "Original Artist"), FrameV2("TOT", "Original Album"),
            FrameV2("TRK", "300"), FrameV2("TOR", "19991231"), FrameV2("TCO", "(17)Rock"),
            FrameV2("TCM", "Composer"), FrameV2("TEN", "Encoder"), FrameV2("TCR", "Copyright"),
            FrameV2("TLA", "eng")});
  TID3v2 tag;
  ASSERT_TRUE(tag.ReadTag(Write("v22", Tag(2, 0, frames))));
  EXPECT_EQ(tag.TagVersion, 2);
  EXPECT_EQ(tag.Title, "Two Title");
  EXPECT_EQ(tag.Artist, "Original Artist");
  EXPECT_EQ(tag.Album, "Original Album");
  EXPECT_EQ(tag.Track, 300 % 256);
  EXPECT_EQ(tag.Year, "1999");
  EXPECT_EQ(tag.Genre, "Rock");
  EXPECT_EQ(tag.Composer, "Composer");
  EXPECT_EQ(tag.Encoder, "Encoder");
  EXPECT_EQ(tag.Copyright, "Copyright");
  EXPECT_EQ(tag.Language, "eng");
}

TEST_F(ID3Test, Version23EncodingsFallbacksCommentsAndLinks) {
  Bytes comment = Text("eng");
  for (char c : std::string("description")) comment.push_back(static_cast<std::uint8_t>(c));
  comment.push_back(0);
  for (char c : std::string("The comment")) comment.push_back(static_cast<std::uint8_t>(c));
  Bytes link = Text("site");
  link.push_back(0);
  for (char c : std::string("http://example.org/")) link.push_back(static_cast<std::uint8_t>(c));
  const Bytes frames =
      Join({TextFrame("TIT2", "Unicode Title", 1), TextFrame("TIT1", "Group Title"),
            TextFrame("TPE1", "First Artist"), TextFrame("TPE1", "Second Artist"), TextFrame("TRCK", "A3"),
            TextFrame("TCON", "(17)"), Frame("COMM", Size32(comment.size()), comment),
            Frame("WXXX", Size32(link.size()), link)});
  TID3v2 tag;
  ASSERT_TRUE(tag.ReadTag(Write("v23", Tag(3, 0, frames))));
  EXPECT_EQ(tag.Title, "Group Title");
  EXPECT_EQ(tag.Artist, "Second Artist");
  EXPECT_EQ(tag.Track, 0);
  EXPECT_EQ(tag.Genre, "");
  EXPECT_EQ(tag.Comment, "The comment");
  EXPECT_EQ(tag.Link, "http://example.org/");

  ASSERT_TRUE(tag.ReadTag(Write("track", Tag(3, 0, TextFrame("TRCK", "3/12")))));
  EXPECT_EQ(tag.Track, 3);
}

TEST_F(ID3Test, LongFramesAreCutButSkippedWhole) {
  const Bytes frames = Join({TextFrame("TIT2", std::string(300, 'x')), TextFrame("TPE1", "After")});
  TID3v2 tag;
  ASSERT_TRUE(tag.ReadTag(Write("long", Tag(3, 0, frames))));
  EXPECT_EQ(tag.Title, std::string(249, 'x'));
  EXPECT_EQ(tag.Artist, "After");
}

TEST_F(ID3Test, FrameSizesAreSynchsafeInVersion4Only) {
  // Size bytes 00 00 01 00: 128 bytes in version 4, 256 in version 3. A TPE1 frame
  // follows at 128, a TALB frame at 256.
  Bytes title = Text(std::string(127, 't'));
  const Bytes artist = TextFrame("TPE1", "Artist");
  title.insert(title.end(), artist.begin(), artist.end());
  title.resize(256, ' ');
  const Bytes frames = Join({Frame("TIT2", {0, 0, 1, 0}, title), TextFrame("TALB", "Album")});
  TID3v2 tag;
  ASSERT_TRUE(tag.ReadTag(Write("v4", Tag(4, 0, frames))));
  EXPECT_EQ(tag.Artist, "Artist");
  EXPECT_EQ(tag.Album, "");
  ASSERT_TRUE(tag.ReadTag(Write("v3", Tag(3, 0, frames))));
  EXPECT_EQ(tag.Artist, "");
  EXPECT_EQ(tag.Album, "Album");
}

TEST_F(ID3Test, WalkStopsAtPaddingAndUnknownVersionsAreNotWalked) {
  Bytes frames = Join({TextFrame("TIT2", "Title"), Bytes(4, 0), TextFrame("TALB", "Album")});
  TID3v2 tag;
  ASSERT_TRUE(tag.ReadTag(Write("padded", Tag(3, 0, frames))));
  EXPECT_EQ(tag.Title, "Title");
  EXPECT_EQ(tag.Album, "");

  const Bytes v5 = Tag(5, 0, TextFrame("TIT2", "Title"), 0);
  ASSERT_TRUE(tag.ReadTag(Write("v5", v5)));
  EXPECT_TRUE(tag.TagFound);
  EXPECT_EQ(tag.TagVersion, 5);
  EXPECT_EQ(tag.TagSize, 10 + 16);
  EXPECT_EQ(tag.Title, "");
}

TEST_F(ID3Test, ExtendedHeadersAndUnsynchronisationLeaveTheSizeRight) {
  // The extended header is not skipped: its size bytes end the walk at once.
  const Bytes extended = Join({Size32(6), Bytes{0, 0, 0, 0, 0, 0}, TextFrame("TIT2", "Title")});
  TID3v2 tag;
  ASSERT_TRUE(tag.ReadTag(Write("extended", Tag(3, 0x40, extended))));
  EXPECT_EQ(tag.TagSize, static_cast<std::int32_t>(10 + extended.size() + 32));
  EXPECT_EQ(tag.Title, "");

  // Unsynchronisation puts a zero after every 0xFF; the frames are read as they stand.
  const Bytes binary = {0, 0xFF, 0, 0xE0, 0xFF, 0, 0xFB};
  const Bytes unsynchronised =
      Join({TextFrame("TIT2", "Plain Title"), Frame("PRIV", Size32(binary.size()), binary),
            TextFrame("TPE1", "Artist")});
  for (std::uint8_t version : {2, 3, 4}) {
    const Bytes frames =
        version == 2 ? Join({FrameV2("TT2", "Plain Title"), FrameV2("TP1", "Artist")}) : unsynchronised;
    ASSERT_TRUE(tag.ReadTag(Write("unsync" + std::to_string(version), Tag(version, 0x80, frames))));
    EXPECT_EQ(tag.TagSize, static_cast<std::int32_t>(10 + frames.size() + 32)) << int{version};
    EXPECT_EQ(tag.Title, "Plain Title") << int{version};
    EXPECT_EQ(tag.Artist, "Artist") << int{version};
  }
}

TEST_F(ID3Test, FrameSizesThatWouldWrapIn32BitsEndTheWalk) {
  // 0xFFFFFFF6 is -10 as a signed 32-bit number: read that way, the walk would step
  // back onto the same frame forever.
  for (const Bytes& size :
       {Bytes{0xFF, 0xFF, 0xFF, 0xF6}, Bytes{0xFF, 0xFF, 0xFF, 0xFF}, Bytes{0x80, 0, 0, 0}}) {
    for (std::uint8_t version : {3, 4}) {
      const Bytes frames = Join({TextFrame("TIT2", "Title"), Frame("TPE1", size, Text("Artist"))});
      TID3v2 tag;
      ASSERT_TRUE(tag.ReadTag(Write("wrap", Tag(version, 0, frames))));
      EXPECT_EQ(tag.Title, "Title");
    }
  }
  Bytes v2 = Join({FrameV2("TT2", "Title"), {'T', 'P', '1', 0xFF, 0xFF, 0xFF, 0}});
  TID3v2 tag;
  ASSERT_TRUE(tag.ReadTag(Write("wrap2", Tag(2, 0, v2))));
  EXPECT_EQ(tag.Title, "Title");
}

Bytes ID3v1Tag(const Bytes& comment) {
  Bytes tag{'T', 'A', 'G'};
  const auto field = [&](const std::string& text, std::size_t width, std::uint8_t fill) {
    Bytes f(text.begin(), text.end());
    f.resize(width, fill);
    tag.insert(tag.end(), f.begin(), f.end());
  };
  field("Title", 30, ' ');
  field("Artist", 30, 0);
  field("Album", 30, 0);
  field("1999", 4, 0);
  tag.insert(tag.end(), comment.begin(), comment.end());
  tag.push_back(67);
  return tag;
}

TEST_F(ID3Test, ID3v1VersionsTrackAndGenre) {
  Bytes comment(30, 'c');
  comment[28] = 0;
  comment[29] = 7;
  TID3v1 tag;
  ASSERT_TRUE(tag.ReadTag(Write("v11", Join({Bytes(50, 0x55), ID3v1Tag(comment)}))));
  EXPECT_TRUE(tag.TagFound);
  EXPECT_EQ(tag.TagVersion, 2);
  EXPECT_EQ(tag.Track, 7);
  EXPECT_EQ(tag.Comment, std::string(28, 'c'));
  EXPECT_EQ(tag.Title, "Title");
  EXPECT_EQ(tag.Artist, "Artist");
  EXPECT_EQ(tag.Album, "Album");
  EXPECT_EQ(tag.Year, "1999");
  EXPECT_EQ(tag.GenreIndex, 67);
  EXPECT_EQ(tag.GenreName(), "Psychadelic");

  comment.assign(30, 'c');
  ASSERT_TRUE(tag.ReadTag(Write("v10", ID3v1Tag(comment))));
  EXPECT_EQ(tag.TagVersion, 1);
  EXPECT_EQ(tag.Track, 0);
  EXPECT_EQ(tag.Comment, std::string(30, 'c'));

  ASSERT_TRUE(tag.ReadTag(DataFile("tagged-id3v2.mp3")));
  EXPECT_EQ(tag.TagVersion, 2);
  EXPECT_EQ(tag.Title, "Tag Title");
  EXPECT_EQ(tag.Comment, "Tag Comment");
  EXPECT_EQ(tag.Track, 3);
  EXPECT_EQ(tag.GenreName(), "Rock");
}

TEST(ID3v1Genres, NamesAsPlayersWriteThem) {
  ASSERT_EQ(kID3v1GenreNames.size(), 148u);
  EXPECT_EQ(kID3v1GenreNames[0], "Blues");
  EXPECT_EQ(kID3v1GenreNames[79], "Hard Rock");
  EXPECT_EQ(kID3v1GenreNames[85], "Bebob");
  EXPECT_EQ(kID3v1GenreNames[92], "Progessive Rock");
  EXPECT_EQ(kID3v1GenreNames[123], "A capella");
  EXPECT_EQ(kID3v1GenreNames[144], "Trash Metal");
  EXPECT_EQ(kID3v1GenreNames[147], "SynthPop");
  TID3v1 tag;
  tag.GenreIndex = 148;
  EXPECT_EQ(tag.GenreName(), "");
}

}  // namespace
}  // namespace tonvane
