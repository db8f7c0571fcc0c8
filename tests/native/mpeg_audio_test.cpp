// The MPEG analyser over files encoded by lame and twolame, and over hand-made frames
// for the headers and VBR headers the encoders here never write.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "audio/byte_source.h"
#include "audio/mpeg_audio.h"
#include "audio_files.h"

namespace tonvane {
namespace {

using testing::Bytes;
using testing::DataFile;
using testing::ReadBytes;

// Frames of one header, each `length` bytes long, the rest of each frame zero.
Bytes Frames(const Bytes& header, std::size_t length, int count) {
  Bytes bytes;
  for (int i = 0; i < count; ++i) {
    bytes.insert(bytes.end(), header.begin(), header.end());
    bytes.insert(bytes.end(), length - header.size(), 0);
  }
  return bytes;
}

void PutBigEndian(Bytes& bytes, std::size_t at, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<std::uint8_t>(value >> (24 - 8 * i));
}

void PutText(Bytes& bytes, std::size_t at, const std::string& text) {
  std::copy(text.begin(), text.end(), bytes.begin() + static_cast<std::ptrdiff_t>(at));
}

Bytes Join(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const auto& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

Bytes ID3v1Tag() {
  Bytes tag(128, 0);
  PutText(tag, 0, "TAG");
  return tag;
}

// MPEG 1 Layer III, 128 kbit/s, 44.1 kHz: 417 bytes a frame.
const Bytes kStereo128 = {0xFF, 0xFB, 0x90, 0x00};
const Bytes kMono128 = {0xFF, 0xFB, 0x90, 0xC0};

class MPEGaudioTest : public testing::ScratchDirTest {
 protected:
  TMPEGaudio mpeg_;
};

struct Encoded {
  const char* file;
  std::uint8_t version;
  std::uint8_t layer;
  std::uint16_t sampleRate;
  const char* mode;
  std::uint16_t bitRate;  // 0: variable, with a Xing header
};

TEST_F(MPEGaudioTest, FilesFromTheEncoders) {
  // Every source is a 2-second sine; encoders add their delay and fill the last frame.
  const Encoded cases[] = {
      {"cbr128-stereo44k.mp3", 3, 1, 44100, "Stereo", 128}, {"cbr64-mono48k.mp3", 3, 1, 48000, "Mono", 64},
      {"vbr-joint44k.mp3", 3, 1, 44100, "Joint Stereo", 0}, {"vbr-mono44k.mp3", 3, 1, 44100, "Mono", 0},
      {"cbr32-mono22k.mp3", 2, 1, 22050, "Mono", 32},       {"vbr-stereo24k.mp3", 2, 1, 24000, "Stereo", 0},
      {"cbr16-mono11k.mp3", 0, 1, 11025, "Mono", 16},       {"vbr-mono8k.mp3", 0, 1, 8000, "Mono", 0},
      {"layer2-stereo32k.mp2", 3, 2, 32000, "Stereo", 192}, {"layer2-mono48k.mp2", 3, 2, 48000, "Mono", 96},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    const std::string path = DataFile(c.file);
    ASSERT_TRUE(mpeg_.Analyse(path));
    const auto& frame = mpeg_.FrameInfo;
    ASSERT_TRUE(frame.Found);
    EXPECT_EQ(frame.Position, 0);
    EXPECT_EQ(frame.VersionIndex, c.version);
    EXPECT_EQ(frame.LayerIndex, c.layer);
    EXPECT_EQ(mpeg_.SampleRate(), c.sampleRate);
    EXPECT_EQ(mpeg_.ChannelMode(), c.mode);
    EXPECT_EQ(mpeg_.FileSize, static_cast<std::int32_t>(std::filesystem::file_size(path)));
    EXPECT_GE(mpeg_.Duration(), 2.0);
    EXPECT_LE(mpeg_.Duration(), 2.3);
    if (c.bitRate != 0) {
      EXPECT_FALSE(mpeg_.VbrInfo.Found);
      EXPECT_EQ(mpeg_.BitRate(), c.bitRate);
    } else {
      EXPECT_TRUE(mpeg_.VbrInfo.Found);
      EXPECT_EQ(mpeg_.VbrInfo.Id, "Xing");
      // The announced mean rate agrees with what the file's size says.
      const double measured = mpeg_.FileSize * 8.0 / mpeg_.Duration() / 1000;
      EXPECT_NEAR(mpeg_.BitRate(), measured, measured * 0.05 + 1);
    }
  }
}

TEST_F(MPEGaudioTest, LameLeavesItsMarkerNearTheEndOfConstantRateFiles) {
  // lame's "Info" header is not a Xing header, so the marker is looked for at the end,
  // in front of any ID3v1 tag.
  for (const char* file : {"cbr128-stereo44k.mp3", "tagged-id3v2.mp3"}) {
    ASSERT_TRUE(mpeg_.Analyse(DataFile(file)));
    EXPECT_EQ(mpeg_.EncoderMarker, "LAME3.10") << file;
  }
}

TEST_F(MPEGaudioTest, ShortSoundEffectsOpen) {
  // Shorter than a block, with or without lame's header frame, with an ID3v1 tag.
  for (const char* file : {"short-info.mp3", "short-plain.mp3", "short-id3v1.mp3"}) {
    SCOPED_TRACE(file);
    ASSERT_LT(std::filesystem::file_size(DataFile(file)), 3458u);
    ASSERT_TRUE(mpeg_.Analyse(DataFile(file)));
    EXPECT_TRUE(mpeg_.FrameInfo.Found);
    EXPECT_FALSE(mpeg_.VbrInfo.Found);
    EXPECT_EQ(mpeg_.SampleRate(), 44100);
    EXPECT_EQ(mpeg_.ChannelMode(), "Mono");
    EXPECT_GT(mpeg_.Duration(), 0.05);
    EXPECT_LT(mpeg_.Duration(), 0.2);
  }
  // Longer than a block, but not by the 128 bytes of its ID3v1 tag.
  const Bytes audio = ReadBytes(DataFile("cbr128-stereo44k.mp3"));
  const Bytes file = Join({Bytes(audio.begin(), audio.begin() + 3400), ID3v1Tag()});
  ASSERT_TRUE(mpeg_.Analyse(Write("between.mp3", file)));
  EXPECT_TRUE(mpeg_.FrameInfo.Found);
  EXPECT_TRUE(mpeg_.ID3v1.TagFound);
  EXPECT_EQ(mpeg_.SampleRate(), 44100);
}

TEST_F(MPEGaudioTest, TagsAreNotAudio) {
  TMPEGaudio plain;
  ASSERT_TRUE(plain.Analyse(DataFile("cbr128-stereo44k.mp3")));
  ASSERT_TRUE(mpeg_.Analyse(DataFile("tagged-id3v2.mp3")));
  EXPECT_TRUE(mpeg_.ID3v2.TagFound);
  EXPECT_TRUE(mpeg_.ID3v1.TagFound);
  EXPECT_EQ(mpeg_.FrameInfo.Position, 0);
  EXPECT_DOUBLE_EQ(mpeg_.Duration(), plain.Duration());

  // A tag of 4,106 bytes (size field 4,096) in front of the same audio.
  Bytes tag{'I', 'D', '3', 3, 0, 0, 0, 0, 0x20, 0};
  tag.resize(4106, 0);
  const Bytes audio = ReadBytes(DataFile("cbr128-stereo44k.mp3"));
  ASSERT_TRUE(mpeg_.Analyse(Write("tagged.mp3", Join({tag, audio}))));
  EXPECT_EQ(mpeg_.ID3v2.TagSize, 4106);
  EXPECT_EQ(mpeg_.FrameInfo.Position, 0);
  EXPECT_DOUBLE_EQ(mpeg_.Duration(), plain.Duration());

  // A tag that claims more than the file holds is ignored; its bytes are skipped as junk.
  tag[6] = 0x7F;
  ASSERT_TRUE(mpeg_.Analyse(Write("liar.mp3", Join({Bytes(tag.begin(), tag.begin() + 100), audio}))));
  EXPECT_TRUE(mpeg_.ID3v2.TagFound);
  EXPECT_EQ(mpeg_.ID3v2.TagSize, 0);
  EXPECT_EQ(mpeg_.FrameInfo.Position, 100);
}

TEST_F(MPEGaudioTest, JunkBeforeTheFirstFrameIsSkipped) {
  const Bytes audio = ReadBytes(DataFile("cbr64-mono48k.mp3"));
  // A lone header among the junk, not followed by another at its frame length.
  Bytes junk(1000, 0x11);
  std::copy(kStereo128.begin(), kStereo128.end(), junk.begin() + 10);
  ASSERT_TRUE(mpeg_.Analyse(Write("junk.mp3", Join({junk, audio}))));
  EXPECT_TRUE(mpeg_.FrameInfo.Found);
  EXPECT_EQ(mpeg_.FrameInfo.Position, 1000);
  EXPECT_EQ(mpeg_.SampleRate(), 48000);

  // Junk longer than the search reaches: the frames are found in the middle of the file.
  const Bytes file = Join({Bytes(4000, 0), audio});
  ASSERT_TRUE(mpeg_.Analyse(Write("middle.mp3", file)));
  ASSERT_TRUE(mpeg_.FrameInfo.Found);
  const std::size_t at = file.size() / 2 + static_cast<std::size_t>(mpeg_.FrameInfo.Position);
  EXPECT_TRUE(
      std::equal(mpeg_.FrameInfo.HeaderBytes.begin(), mpeg_.FrameInfo.HeaderBytes.end(), file.begin() + at));
  EXPECT_EQ(mpeg_.SampleRate(), 48000);
}

TEST_F(MPEGaudioTest, FilesWithoutFramesAnalyseToNothing) {
  for (const Bytes& file :
       {Join({Bytes(5000, 0), ID3v1Tag()}), Bytes(200, 0xFF), Frames(kStereo128, 417, 1)}) {
    ASSERT_TRUE(mpeg_.Analyse(Write("none.mp3", file)));
    EXPECT_FALSE(mpeg_.FrameInfo.Found);
    EXPECT_FALSE(mpeg_.ID3v1.TagFound);
    EXPECT_EQ(mpeg_.FileSize, 0);
    EXPECT_EQ(mpeg_.SampleRate(), 0);
    EXPECT_EQ(mpeg_.ChannelMode(), "Unknown");
    EXPECT_EQ(mpeg_.BitRate(), 0);
    EXPECT_EQ(mpeg_.Duration(), 0);
  }
  EXPECT_FALSE(mpeg_.Analyse(Write("nine.mp3", Bytes(9, 0xFF))));
  EXPECT_FALSE(mpeg_.Analyse(Write("hundred.mp3", Frames(kStereo128, 50, 2))));
  EXPECT_FALSE(mpeg_.Analyse(Path("missing.mp3")));
}

TEST_F(MPEGaudioTest, HeadersThatCannotBeMeasuredAreRefused) {
  const Bytes refused[] = {
      {0xFF, 0xFB, 0x00, 0x00},  // free format
      {0xFF, 0xFB, 0xF0, 0x00},  // bit-rate index 15
      {0xFF, 0xEB, 0x90, 0x00},  // reserved version
      {0xFF, 0xF9, 0x90, 0x00},  // reserved layer
      {0xFF, 0xFB, 0x9C, 0x00},  // reserved sample rate
      {0xFF, 0xFB, 0x90, 0x02},  // reserved emphasis
      {0xFE, 0xFB, 0x90, 0x00},  // no sync
  };
  for (const Bytes& header : refused) {
    ASSERT_TRUE(mpeg_.Analyse(Write("refused.mp3", Frames(header, 417, 8))));
    EXPECT_FALSE(mpeg_.FrameInfo.Found) << int{header[0]} << " " << int{header[1]} << " " << int{header[2]};
  }
  // A frame with the highest bit-rate index that is not forbidden, and emphasis 3.
  ASSERT_TRUE(mpeg_.Analyse(Write("odd.mp3", Frames({0xFF, 0xFA, 0xE0, 0x03}, 1044, 4))));
  EXPECT_TRUE(mpeg_.FrameInfo.Found);
  EXPECT_TRUE(mpeg_.FrameInfo.CrcProtected);
  EXPECT_EQ(mpeg_.FrameInfo.Length, 1044);
  EXPECT_EQ(mpeg_.BitRate(), 320);
}

TEST_F(MPEGaudioTest, FrameLengthsFollowTheHeader) {
  struct Case {
    Bytes header;
    int length;
  };
  const Case cases[] = {
      {kStereo128, 417},
      {{0xFF, 0xFB, 0x92, 0x00}, 418},   // padded
      {{0xFF, 0xFD, 0xE8, 0x00}, 1728},  // MPEG 1 Layer II, 384 kbit/s, 32 kHz
      {{0xFF, 0xFD, 0xEA, 0x00}, 1729},  // the same, padded: the longest frame
      {{0xFF, 0xFF, 0x10, 0x00}, 34},    // MPEG 1 Layer I, 32 kbit/s, 44.1 kHz
      {{0xFF, 0xF5, 0x84, 0x00}, 192},   // MPEG 2 Layer II, 64 kbit/s, 24 kHz: coefficient 72
      {{0xFF, 0xE3, 0x18, 0xC0}, 72},    // MPEG 2.5 Layer III, 8 kbit/s, 8 kHz
  };
  for (const auto& c : cases) {
    ASSERT_TRUE(mpeg_.Analyse(Write("frames.mp3", Frames(c.header, c.length, 6))));
    ASSERT_TRUE(mpeg_.FrameInfo.Found) << c.length;
    EXPECT_EQ(mpeg_.FrameInfo.Length, c.length);
    // A lame or GOGO marker is looked for over two frames from the end of the block,
    // which for the longest frames reaches its very first byte.
    EXPECT_EQ(mpeg_.EncoderMarker, "");
  }
  // Two frames of MPEG 2 Layer II at the distance of 72 bytes per kbit/s: 576 samples a frame.
  ASSERT_TRUE(mpeg_.Analyse(Write("mpeg2.mp3", Frames({0xFF, 0xF5, 0x84, 0x00}, 192, 1000))));
  EXPECT_NEAR(mpeg_.Duration(), 1000 * 576 / 24000.0, 1e-9);
}

TEST_F(MPEGaudioTest, VbrHeadersGiveDurationAndMeanRate) {
  Bytes xing = Frames(kStereo128, 417, 3);
  PutText(xing, 36, "Xing");
  PutBigEndian(xing, 36 + 8, 1000);
  PutBigEndian(xing, 36 + 12, 417000);
  xing[36 + 119] = 57;
  PutText(xing, 36 + 120, "LAME3.10");
  ASSERT_TRUE(mpeg_.Analyse(Write("xing.mp3", xing)));
  EXPECT_TRUE(mpeg_.VbrInfo.Found);
  EXPECT_EQ(mpeg_.VbrInfo.Id, "Xing");
  EXPECT_EQ(mpeg_.VbrInfo.Frames, 1000);
  EXPECT_EQ(mpeg_.VbrInfo.Scale, 57);
  EXPECT_EQ(mpeg_.VbrInfo.VendorText, "LAME3.10");
  EXPECT_NEAR(mpeg_.Duration(), 1000 * 1152 / 44100.0, 1e-9);
  EXPECT_EQ(mpeg_.BitRate(), 128);  // 417 bytes a frame: 127.7 kbit/s

  Bytes vbri = Frames(kStereo128, 417, 3);
  PutText(vbri, 36, "VBRI");
  vbri[36 + 9] = 75;
  PutBigEndian(vbri, 36 + 10, 2000 * 209);
  PutBigEndian(vbri, 36 + 14, 2000);
  ASSERT_TRUE(mpeg_.Analyse(Write("vbri.mp3", vbri)));
  EXPECT_TRUE(mpeg_.VbrInfo.Found);
  EXPECT_EQ(mpeg_.VbrInfo.Id, "VBRI");
  EXPECT_EQ(mpeg_.VbrInfo.Scale, 75);
  EXPECT_EQ(mpeg_.VbrInfo.Frames, 2000);
  EXPECT_NEAR(mpeg_.Duration(), 2000 * 1152 / 44100.0, 1e-9);
  EXPECT_EQ(mpeg_.BitRate(), 64);  // 209 bytes a frame: 64.0 kbit/s

  // In a mono MPEG 1 frame VBR headers stand 21 bytes in; a VBRI header at 36 is not one.
  Bytes mono = Frames(kMono128, 417, 3);
  PutText(mono, 36, "VBRI");
  PutBigEndian(mono, 36 + 14, 2000);
  ASSERT_TRUE(mpeg_.Analyse(Write("mono-vbri.mp3", mono)));
  EXPECT_TRUE(mpeg_.FrameInfo.Found);
  EXPECT_FALSE(mpeg_.VbrInfo.Found);
  EXPECT_EQ(mpeg_.BitRate(), 128);

  // Counts that do not fit a signed 32-bit number fall back to the frame's own rate.
  Bytes wild = Frames(kStereo128, 417, 3);
  PutText(wild, 36, "Xing");
  PutBigEndian(wild, 36 + 8, 0x80000000u);
  PutBigEndian(wild, 36 + 12, 0xFFFFFFFFu);
  ASSERT_TRUE(mpeg_.Analyse(Write("wild.mp3", wild)));
  EXPECT_TRUE(mpeg_.VbrInfo.Found);
  EXPECT_EQ(mpeg_.BitRate(), 128);
  EXPECT_GT(mpeg_.Duration(), 0);
}

TEST_F(MPEGaudioTest, ConstantRateDurationComesFromTheAudioSize) {
  // 1,000,000 bytes, 128 kbit/s, of which 128 are an ID3v1 tag.
  Bytes file = Frames(kStereo128, 417, 2);
  file.resize(1000000 - 128, 0);
  const Bytes tag = ID3v1Tag();
  file.insert(file.end(), tag.begin(), tag.end());
  ASSERT_TRUE(mpeg_.Analyse(Write("million.mp3", file)));
  EXPECT_NEAR(mpeg_.Duration(), 999872 * 8 / 128.0 / 1000, 1e-9);

  // Frames behind junk: the junk is not counted.
  file = Join({Bytes(300, 0x20), Frames(kStereo128, 417, 100)});
  ASSERT_TRUE(mpeg_.Analyse(Write("junk.mp3", file)));
  EXPECT_NEAR(mpeg_.Duration(), 41700 * 8 / 128.0 / 1000, 1e-9);
}

// Everything an analysis reports, tags included, as one text to compare.
std::string Report(bool result, const TMPEGaudio& m) {
  std::ostringstream o;
  const TFrameData& f = m.FrameInfo;
  o << result << ' ' << m.FileSize << ' ' << f.Found << ' ' << f.Position << ' ' << f.Length << ' '
    << int{f.VersionIndex} << int{f.LayerIndex} << f.BitRateIndex << f.SampleRateIndex << int{f.ModeIndex}
    << ' ' << m.ChannelMode() << ' ' << m.SampleRate() << ' ' << m.BitRate() << ' ' << m.Duration() << ' '
    << m.VbrInfo.Id << m.VbrInfo.Frames << '/' << m.VbrInfo.Bytes << ' ' << m.EncoderMarker << '|'
    << m.ID3v2.TagFound << m.ID3v2.TagSize << m.ID3v2.Title << m.ID3v2.Artist << m.ID3v2.Album << m.ID3v2.Year
    << int{m.ID3v2.Track} << m.ID3v2.Genre << m.ID3v2.Comment << m.ID3v2.Link << '|' << m.ID3v1.TagFound
    << m.ID3v1.Title << m.ID3v1.Comment << int{m.ID3v1.Track} << int{m.ID3v1.GenreIndex};
  return o.str();
}

// The fuzzers and the stream hand the analysis a source; the probe hands it a name.
// The encoders' files and hand-made ones read alike both ways, and from a source
// left anywhere by an earlier reader.
TEST_F(MPEGaudioTest, MemoryAndFileAnalyseAlike) {
  std::vector<std::string> files;
  for (const auto& entry : std::filesystem::directory_iterator(TONVANE_AUDIO_DATA))
    if (entry.path().extension() == ".mp3" || entry.path().extension() == ".mp2")
      files.push_back(entry.path().string());
  ASSERT_GE(files.size(), 10u) << "no test files in " << TONVANE_AUDIO_DATA
                               << " (tests/data/make-tagged-audio)";
  files.push_back(Write("junk.mp3", Join({Bytes(300, 0x20), Frames(kStereo128, 417, 100), ID3v1Tag()})));
  files.push_back(Write("none.mp3", Bytes(5000, 0x55)));
  files.push_back(Write("short.mp3", Bytes(100, 0xFF)));
  for (const std::string& file : files) {
    SCOPED_TRACE(file);
    const std::string fromFile = Report(mpeg_.Analyse(file), mpeg_);
    const Bytes bytes = ReadBytes(file);
    TMemorySource source(bytes.data(), bytes.size());
    EXPECT_EQ(Report(mpeg_.Analyse(source), mpeg_), fromFile);
    ASSERT_TRUE(source.Seek(static_cast<std::int64_t>(bytes.size() / 2)));
    EXPECT_EQ(Report(mpeg_.Analyse(source), mpeg_), fromFile) << "again, from the middle";
  }
}

TEST_F(MPEGaudioTest, AnalysisStartsAfreshEachTime) {
  ASSERT_TRUE(mpeg_.Analyse(DataFile("tagged-v24-latin1.mp3")));
  EXPECT_TRUE(mpeg_.VbrInfo.Found);
  ASSERT_TRUE(mpeg_.Analyse(DataFile("cbr64-mono48k.mp3")));
  EXPECT_FALSE(mpeg_.VbrInfo.Found);
  EXPECT_FALSE(mpeg_.ID3v2.TagFound);
  EXPECT_EQ(mpeg_.ID3v2.Title, "");
  EXPECT_EQ(mpeg_.SampleRate(), 48000);
}

}  // namespace
}  // namespace tonvane
