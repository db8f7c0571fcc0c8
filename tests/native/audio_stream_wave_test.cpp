// The WAV side of the audio stream. Built natively and for Windows, where it runs
// under Wine over the real mmio.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "audio/audio_stream.h"
#include "audio/byte_source.h"
#include "base/byte_order.h"
#include "base/wav_writer.h"
#include "riff_builder.h"
#include "stream_test.h"

namespace tonvane {
namespace {

using testing::RiffBuilder;
using testing::Samples16;
using testing::WriteBytes;
using Bytes = std::vector<std::uint8_t>;

class WaveStreamTest : public testing::StreamFileTest {
 protected:
  static Bytes Mono16(const Bytes& data) { return WavFile({.Channels = 1, .Rate = 48000, .Bits = 16}, data); }
};

TEST_F(WaveStreamTest, ExtensionDecidesTheReader) {
  const Bytes wave = Mono16(Samples16({1, 2, 3, 4}));
  for (const char* name : {"SONG.Wav", "song.WAV", "song.wav", "dotted.name.wav"})
    EXPECT_TRUE(stream_.Open(Write(name, wave), format_)) << name;
  for (const char* name : {"song.wave", "song.mp2", "song", "song.wav.txt"})
    EXPECT_FALSE(stream_.Open(Write(name, wave), format_)) << name;
  EXPECT_FALSE(stream_.Open((dir_ / "missing.wav").string(), format_));
}

TEST_F(WaveStreamTest, FormatRecordComesFromTheFmtChunk) {
  ASSERT_TRUE(stream_.Open(
      Write("a.wav", RiffBuilder().Format(1, 2, 44100, 8, 18).Chunk("data", Bytes(10)).Wave()), format_));
  EXPECT_EQ(format_.wFormatTag, 1);
  EXPECT_EQ(format_.nChannels, 2);
  EXPECT_EQ(format_.nSamplesPerSec, 44100u);
  EXPECT_EQ(format_.nAvgBytesPerSec, 88200u);
  EXPECT_EQ(format_.nBlockAlign, 2);
  EXPECT_EQ(format_.wBitsPerSample, 8);
  EXPECT_EQ(format_.cbSize, 0);
  // A 16-byte "fmt " chunk: cbSize is what follows it, the "da" of "data".
  ASSERT_TRUE(stream_.Open(Write("b.wav", Mono16(Bytes(10))), format_));
  EXPECT_EQ(format_.cbSize, 'd' | 'a' << 8);
  EXPECT_EQ(stream_.DataStart(), 44u);
}

TEST_F(WaveStreamTest, RefusesWhatIsNotPlainPcmOrHasNoData) {
  const Bytes data = Samples16({1, 2, 3, 4});
  EXPECT_FALSE(stream_.Open(
      Write("float.wav", RiffBuilder().Format(3, 1, 48000, 32).Chunk("data", data).Wave()), format_));
  EXPECT_FALSE(stream_.Open(
      Write("ext.wav", RiffBuilder().Format(0xFFFE, 1, 48000, 16, 40).Chunk("data", data).Wave()), format_));
  EXPECT_FALSE(stream_.Open(Write("rate0.wav", RiffBuilder().Format(1, 1, 0, 16).Chunk("data", data).Wave()),
                            format_));
  EXPECT_FALSE(stream_.Open(Write("data4.wav", Mono16(Bytes(4))), format_));
  EXPECT_FALSE(stream_.Open(Write("nodata.wav", RiffBuilder().Format(1, 1, 48000, 16).Wave()), format_));
  EXPECT_FALSE(stream_.Open(
      Write("datafirst.wav", RiffBuilder().Chunk("data", data).Format(1, 1, 48000, 16).Wave()), format_));
  EXPECT_FALSE(
      stream_.Open(Write("avi.wav", Bytes{'R', 'I', 'F', 'F', 4, 0, 0, 0, 'A', 'V', 'I', ' '}), format_));
  EXPECT_FALSE(stream_.Open(Write("empty.wav", Bytes{}), format_));
  std::uint8_t buffer[2];
  EXPECT_EQ(stream_.Read(buffer, 2), 0) << "a failed open leaves nothing open";
}

TEST_F(WaveStreamTest, HandsOutTheDataLessItsLastFourBytes) {
  // Six bytes of data: one sample comes out, then the end.
  ASSERT_TRUE(stream_.Open(Write("six.wav", Mono16(Bytes{1, 2, 3, 4, 5, 6})), format_));
  EXPECT_EQ(stream_.DataLength(), 2u);
  std::uint8_t sample[2];
  EXPECT_EQ(stream_.Read(sample, 2), 2);
  EXPECT_EQ(sample[0], 1);
  EXPECT_EQ(stream_.Read(sample, 2), 0);
  EXPECT_EQ(stream_.Read(sample, 2), 0);
  EXPECT_EQ(stream_.BytesRead(), 2u);

  // Long enough to cross the stream's read-ahead several times, read in odd counts.
  Bytes data(100003);
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i * 7 + i / 251);
  ASSERT_TRUE(stream_.Open(Write("long.wav", Mono16(data)), format_));
  EXPECT_EQ(stream_.BytesRead(), 0u) << "a new open starts counting again";
  EXPECT_EQ(Drain(3), Bytes(data.begin(), data.end() - 4));
  EXPECT_EQ(stream_.BytesRead(), data.size() - 4);
}

TEST_F(WaveStreamTest, SkipsOtherChunksWithTheirPadBytes) {
  const Bytes data = Samples16({100, -100, 200, -200, 300});
  const Bytes wave = RiffBuilder()
                         .Chunk("LIST", Bytes{'I', 'N', 'F', 'O', 'x'})  // odd size, padded
                         .Format(1, 1, 48000, 16)
                         .Chunk("junk", Bytes(3))
                         .Chunk("data", data)
                         .Wave();
  ASSERT_TRUE(stream_.Open(Write("chunks.wav", wave), format_));
  EXPECT_EQ(Drain(), Bytes(data.begin(), data.end() - 4));
}

TEST_F(WaveStreamTest, SizesThatLieNeitherHangNorReadOutOfTheFile) {
  // A chunk declaring nearly 4 GiB: the search for "fmt " must end.
  EXPECT_FALSE(stream_.Open(
      Write("huge.wav",
            RiffBuilder().ChunkWithSize("junk", 0xFFFFFFF8u, Bytes(16)).Format(1, 1, 48000, 16).Wave()),
      format_));
  // A RIFF size that is wrong, as streaming writers leave it, does not matter.
  const Bytes data = Samples16({1, 2, 3, 4, 5});
  ASSERT_TRUE(stream_.Open(
      Write("riffsize.wav", RiffBuilder().Format(1, 1, 48000, 16).Chunk("data", data).Wave(0xFFFFFFFF)),
      format_));
  EXPECT_EQ(Drain(), Bytes(data.begin(), data.end() - 4));
  // A data chunk that claims more than the file holds gives what is there, the
  // odd last byte included, then the end.
  ASSERT_TRUE(stream_.Open(
      Write("short.wav",
            RiffBuilder().Format(1, 1, 48000, 16).ChunkWithSize("data", 1000, Bytes{9, 8, 7}, false).Wave()),
      format_));
  EXPECT_EQ(stream_.DataLength(), 996u);
  std::uint8_t buffer[2];
  EXPECT_EQ(stream_.Read(buffer, 2), 2);
  EXPECT_EQ(stream_.Read(buffer, 2), 1);
  EXPECT_EQ(buffer[0], 7);
  EXPECT_EQ(stream_.Read(buffer, 2), 0);
}

// The fuzzer reads from memory what the plug-in reads from files: both must give the
// same stream, for files it takes and files it refuses alike.
TEST_F(WaveStreamTest, MemoryAndFileGiveTheSameStream) {
  Bytes long_(40003);
  for (std::size_t i = 0; i < long_.size(); ++i) long_[i] = static_cast<std::uint8_t>(i * 13 + i / 97);
  const std::vector<Bytes> files = {
      Mono16(long_),
      RiffBuilder()
          .Chunk("LIST", Bytes{'I', 'N', 'F', 'O', 'x'})
          .Format(1, 2, 44100, 16, 18)
          .Chunk("data", long_)
          .Wave(0xFFFFFFFF),
      RiffBuilder().Format(1, 1, 48000, 16).ChunkWithSize("data", 1000, Bytes{9, 8, 7}, false).Wave(),
      RiffBuilder().ChunkWithSize("junk", 0xFFFFFFF8u, Bytes(16)).Format(1, 1, 48000, 16).Wave(),
      RiffBuilder().Format(3, 1, 48000, 32).Chunk("data", long_).Wave(),
      Bytes{'R', 'I', 'F', 'F'},
  };
  for (std::size_t i = 0; i < files.size(); ++i) {
    SCOPED_TRACE("file " + std::to_string(i));
    const Bytes& bytes = files[i];
    const bool fromFile = stream_.Open(Write("same.wav", bytes), format_);
    const WAVEFORMATEX fileFormat = format_;
    const std::uint32_t fileStart = stream_.DataStart(), fileLength = stream_.DataLength();
    const Bytes fileData = Drain(3);
    const bool fromMemory = stream_.Open(std::make_unique<TMemorySource>(bytes.data(), bytes.size()),
                                         TAudioStream::TKind::Wave, format_);
    ASSERT_EQ(fromMemory, fromFile);
    EXPECT_EQ(std::memcmp(&format_, &fileFormat, sizeof format_), 0);
    if (!fromFile) continue;
    EXPECT_EQ(stream_.DataStart(), fileStart);
    EXPECT_EQ(stream_.DataLength(), fileLength);
    EXPECT_EQ(Drain(3), fileData);
    EXPECT_EQ(stream_.BytesRead(), fileData.size());
  }
}

// The files this project writes (the virtual driver's recordings, the tests' and the
// benchmarks' sounds) read back as written, whatever the format and the data's parity.
TEST_F(WaveStreamTest, WrittenFilesReadBackWithTheirFormatAndData) {
  struct Case {
    TPcmFormat format;
    std::uint16_t blockAlign;
    std::size_t dataBytes;
  };
  const Case cases[] = {
      {{.Channels = 1, .Rate = 48000, .Bits = 16}, 2, 2000},
      {{.Channels = 2, .Rate = 44100, .Bits = 8}, 2, 1001},
      {{.Channels = 1, .Rate = 96000, .Bits = 24}, 3, 3 * 333},
      {{.Channels = 1, .Rate = 22050, .Bits = 32}, 4, 4 * 50},
      // A sample of 12 bits still takes whole bytes.
      {{.Channels = 1, .Rate = 8000, .Bits = 12}, 2, 2 * 50},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.format.Channels) + " x " + std::to_string(c.format.Bits) + " bits at " +
                 std::to_string(c.format.Rate));
    Bytes data(c.dataBytes);
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i * 11 + 3);
    const Bytes file = WavFile(c.format, data);
    // The RIFF size tells the file's length, the pad byte after odd data included.
    EXPECT_EQ(LoadLe32(&file[4]) + 8u, file.size());
    EXPECT_EQ(file.size() % 2, 0u);
    ASSERT_TRUE(stream_.Open(Write("written.wav", file), format_));
    EXPECT_EQ(format_.wFormatTag, 1);
    EXPECT_EQ(format_.nChannels, c.format.Channels);
    EXPECT_EQ(format_.nSamplesPerSec, c.format.Rate);
    EXPECT_EQ(format_.nAvgBytesPerSec, c.format.Rate * c.blockAlign);
    EXPECT_EQ(format_.nBlockAlign, c.blockAlign);
    EXPECT_EQ(format_.wBitsPerSample, c.format.Bits);
    EXPECT_EQ(stream_.DataStart(), kWavHeaderSize);
    EXPECT_EQ(stream_.DataLength(), data.size() - 4);
    EXPECT_EQ(Drain(3), Bytes(data.begin(), data.end() - 4));
  }
}

// A recording's header is written before its data is whole, without a pad byte, and
// again at every flush; the size it tells is all the reader goes by.
TEST_F(WaveStreamTest, AHeaderAloneTellsTheDataThatFollowsIt) {
  const TPcmFormat format{.Channels = 1, .Rate = 48000, .Bits = 24};
  const Bytes data = {1, 2, 3, 4, 5, 6, 7, 8, 9};
  const auto header = WavHeader(format, data.size());
  EXPECT_EQ(LoadLe32(&header[4]), 36u + 9u);
  Bytes file(header.begin(), header.end());
  file.insert(file.end(), data.begin(), data.end());
  file.insert(file.end(), {0xEE, 0xEE});  // more written since the header was
  ASSERT_TRUE(stream_.Open(Write("recording.wav", file), format_));
  EXPECT_EQ(Drain(), Bytes(data.begin(), data.end() - 4));

  // More than 32 bits can tell: the sizes stop at the largest, not at what wraps.
  const auto huge = WavHeader(format, 0x100000010ull);
  EXPECT_EQ(LoadLe32(&huge[4]), 0xFFFFFFFFu);
  EXPECT_EQ(LoadLe32(&huge[40]), 0xFFFFFFFFu - 36);
  const auto edge = WavHeader(format, 0xFFFFFFFFu - 36);
  EXPECT_EQ(LoadLe32(&edge[40]), 0xFFFFFFFFu - 36);
}

TEST_F(WaveStreamTest, CloseKeepsTheCountersAndReadsNothing) {
  std::uint8_t buffer[2];
  EXPECT_EQ(stream_.Read(buffer, 2), 0) << "never opened";
  EXPECT_EQ(stream_.BytesRead(), 0u);
  ASSERT_TRUE(stream_.Open(Write("a.wav", Mono16(Samples16({1, 2, 3, 4}))), format_));
  EXPECT_EQ(stream_.Read(buffer, 0), 0);
  EXPECT_EQ(stream_.Read(buffer, 2), 2);
  stream_.Close();
  stream_.Close();
  EXPECT_EQ(stream_.Read(buffer, 2), 0);
  EXPECT_EQ(stream_.DataLength(), 4u);
  EXPECT_EQ(stream_.BytesRead(), 2u);
}

}  // namespace
}  // namespace tonvane
