// The MP3 side of the audio stream, over files that lame and id3v2 make at test time
// and the mpg123 program's decoding of them as the reference. Built natively (over
// libmp3dec.so) and for Windows, where it runs under Wine over mp3dec.dll; both are
// found by their bare names, as the plug-in finds its decoder.
#include <gtest/gtest.h>

#ifdef __linux__
#include <sys/inotify.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "audio/audio_stream.h"
#include "audio/mpeg_audio.h"
#include "base/dynamic_library.h"
#include "mp3dec.h"
#include "pcm_compare.h"
#include "stream_test.h"

namespace tonvane {
namespace {

using Bytes = std::vector<std::uint8_t>;

// Under Wine the reference comes from the native decoder, whose synthesis rounds
// differently from the 32-bit build's by one step, rarely (see the mp3dec tests).
#ifndef MP3_PCM_TOLERANCE
#define MP3_PCM_TOLERANCE 0
#endif

std::string EncodedFile(const std::string& name) { return std::string(MP3_TEST_DATA) + "/" + name; }
std::string StreamFile(const std::string& name) { return std::string(STREAM_TEST_DATA) + "/" + name; }

using testing::ReadBytes;

Bytes ReferenceOf(const std::string& path) { return ReadBytes(path.substr(0, path.rfind('.')) + ".pcm"); }

::testing::AssertionResult SamePcm(const Bytes& actual, const Bytes& expected) {
  return testing::SamePcm(actual, expected, MP3_PCM_TOLERANCE);
}

struct EncodedCase {
  std::string file;
  int layer = 0, rate = 0, channels = 0;
};

// The Layer III files of tests/data/make-audio (the stream opens ".mp3" names only).
std::vector<EncodedCase> Layer3Cases() {
  std::vector<EncodedCase> cases;
  std::ifstream in(EncodedFile("cases.txt"));
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    EncodedCase c;
    if (fields >> c.file >> c.layer >> c.rate >> c.channels && c.layer == 3) cases.push_back(c);
  }
  return cases;
}

class Mp3StreamTest : public testing::StreamFileTest {};

TEST_F(Mp3StreamTest, FormatAndLengthComeFromTheAnalysis) {
  const auto cases = Layer3Cases();
  ASSERT_GE(cases.size(), 5u) << "no test files in " << MP3_TEST_DATA << " (tests/data/make-audio)";
  bool mono = false, joint = false;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    const std::string path = EncodedFile(c.file);
    TMPEGaudio analyser;
    ASSERT_TRUE(analyser.Analyse(path));
    ASSERT_TRUE(stream_.Open(path, format_));
    EXPECT_EQ(format_.wFormatTag, 1);
    EXPECT_EQ(format_.wBitsPerSample, 16);
    EXPECT_EQ(format_.cbSize, 18);
    EXPECT_EQ(format_.nSamplesPerSec, static_cast<std::uint32_t>(c.rate));
    EXPECT_EQ(format_.nChannels, c.channels);
    EXPECT_EQ(format_.nBlockAlign, 2 * c.channels);
    EXPECT_EQ(format_.nAvgBytesPerSec, static_cast<std::uint32_t>(c.rate * c.channels * 2));
    mono |= analyser.ChannelMode() == "Mono";
    joint |= analyser.ChannelMode() == "Joint Stereo";
    EXPECT_EQ(stream_.DataLength(),
              static_cast<std::uint32_t>(std::trunc(analyser.Duration() * format_.nAvgBytesPerSec)));
    EXPECT_EQ(stream_.DataStart(), 0u);
    // An estimate, but a close one: the encoder's header frame, delay and padding
    // make it differ from what the reference decoded by less than three frames.
    const double decoded = static_cast<double>(ReferenceOf(path).size());
    EXPECT_NEAR(stream_.DataLength(), decoded, 3 * 1152 * format_.nBlockAlign);
  }
  EXPECT_TRUE(mono && joint) << "the files should include a mono and a joint stereo one";
}

TEST_F(Mp3StreamTest, DecodesLikeTheReferenceDecoderTwoBytesAtATime) {
  for (const auto& c : Layer3Cases()) {
    SCOPED_TRACE(c.file);
    const std::string path = EncodedFile(c.file);
    ASSERT_TRUE(stream_.Open(path, format_));
    const Bytes pcm = Drain();
    EXPECT_TRUE(SamePcm(pcm, ReferenceOf(path)));
    EXPECT_EQ(stream_.BytesRead(), pcm.size());
    std::uint8_t sample[2];
    EXPECT_EQ(stream_.Read(sample, 2), 0) << "the end stays the end";
    EXPECT_EQ(stream_.BytesRead(), pcm.size());
  }
}

TEST_F(Mp3StreamTest, FramesLongerThanTheInputBlockPlayFromTheStart) {
  for (const std::string& path : {StreamFile("mono44k-cbr320.mp3"), EncodedFile("stereo44k-cbr320.mp3")}) {
    SCOPED_TRACE(path);
    TMPEGaudio analyser;
    ASSERT_TRUE(analyser.Analyse(path));
    ASSERT_GT(analyser.FrameInfo.Length, 1024) << "the case needs frames longer than one input block";
    ASSERT_TRUE(stream_.Open(path, format_));
    const Bytes reference = ReferenceOf(path);
    ASSERT_GT(reference.size(), 100000u);
    // The first 1,024 bytes hold no whole frame; the very first read must still
    // bring the first sample rather than the end of the sound.
    std::uint8_t first[2];
    ASSERT_EQ(stream_.Read(first, 2), 2);
    Bytes pcm(first, first + 2);
    const Bytes rest = Drain(7);
    pcm.insert(pcm.end(), rest.begin(), rest.end());
    EXPECT_TRUE(SamePcm(pcm, reference));
    EXPECT_EQ(stream_.BytesRead(), reference.size());
  }
}

TEST_F(Mp3StreamTest, DecodingStartsBehindTheId3v2Tag) {
  const std::string path = StreamFile("tagged-mono48k.mp3");
  const Bytes file = ReadBytes(path);
  ASSERT_GT(file.size(), 10u);
  ASSERT_EQ(std::string(file.begin(), file.begin() + 3), "ID3");
  // The tag's own header says how long it is: synchsafe size plus the 10-byte header.
  const std::uint32_t tagSize = (file[6] << 21 | file[7] << 14 | file[8] << 7 | file[9]) + 10u;
  ASSERT_TRUE(stream_.Open(path, format_));
  EXPECT_EQ(stream_.DataStart(), tagSize);
  EXPECT_EQ(file[tagSize], 0xFF) << "a frame starts there";
  EXPECT_EQ(format_.nChannels, 1);
  EXPECT_EQ(format_.nSamplesPerSec, 48000u);
  EXPECT_TRUE(SamePcm(Drain(), ReferenceOf(path)));
}

#ifdef __linux__
// The tag readers, the analysis and the decoder share one opening of the file per
// Play: the kernel reports every open of a watched file, whoever makes it (and its
// close, without which two opens in a row would be reported as one).
TEST_F(Mp3StreamTest, APlayOpensTheFileOnce) {
  const std::string path = Write("tagged.mp3", ReadBytes(StreamFile("tagged-mono48k.mp3")));
  const int watch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  ASSERT_GE(watch, 0);
  ASSERT_GE(inotify_add_watch(watch, path.c_str(), IN_OPEN | IN_CLOSE_NOWRITE), 0);
  ASSERT_TRUE(stream_.Open(path, format_));
  EXPECT_GT(stream_.DataStart(), 0u) << "behind the ID3v2 tag";
  EXPECT_EQ(format_.nChannels, 1);
  EXPECT_TRUE(SamePcm(Drain(16), ReferenceOf(StreamFile("tagged-mono48k.mp3"))));
  stream_.Close();
  int opens = 0;
  alignas(inotify_event) char events[4096];
  for (ssize_t n; (n = read(watch, events, sizeof events)) > 0;)
    for (const char* p = events; p < events + n;) {
      const auto* event = reinterpret_cast<const inotify_event*>(p);
      opens += (event->mask & IN_OPEN) != 0;
      p += sizeof(inotify_event) + event->len;
    }
  close(watch);
  EXPECT_EQ(opens, 1);
}
#endif

TEST_F(Mp3StreamTest, ShortSoundEffectWithoutVbrHeaderOpensAndPlays) {
  const std::string path = StreamFile("short-plain.mp3");
  ASSERT_LT(ReadBytes(path).size(), static_cast<std::size_t>(TMPEGaudio::kBlockLength));
  ASSERT_TRUE(stream_.Open(path, format_));
  EXPECT_EQ(format_.nSamplesPerSec, 44100u);
  EXPECT_EQ(format_.nChannels, 1);
  EXPECT_TRUE(SamePcm(Drain(), ReferenceOf(path)));
}

TEST_F(Mp3StreamTest, FileWithoutFramesOpensWithAnEmptyFormat) {
  Bytes text(200);
  for (std::size_t i = 0; i < text.size(); ++i) text[i] = static_cast<std::uint8_t>("not an mp3 "[i % 11]);
  ASSERT_TRUE(stream_.Open(Write("text.mp3", text), format_));
  EXPECT_EQ(format_.wFormatTag, 1);
  EXPECT_EQ(format_.nSamplesPerSec, 0u);
  EXPECT_EQ(format_.nChannels, 2);
  EXPECT_EQ(format_.nAvgBytesPerSec, 0u);
  EXPECT_EQ(format_.nBlockAlign, 4);
  EXPECT_EQ(format_.cbSize, 18);
  EXPECT_EQ(stream_.DataLength(), 0u);
  EXPECT_TRUE(Drain().empty());
  // Too short for the ID3v1 read: the analysis fails, and with it the open.
  EXPECT_FALSE(stream_.Open(Write("short.mp3", Bytes(text.begin(), text.begin() + 127)), format_));
  EXPECT_FALSE(stream_.Open((dir_ / "missing.mp3").string(), format_));
  std::uint8_t sample[2];
  EXPECT_EQ(stream_.Read(sample, 2), 0);
}

TEST_F(Mp3StreamTest, ExtensionInAnyCaseAndLayerTwoBehindAnMp3Name) {
  const Bytes mp3 = ReadBytes(EncodedFile("mono48k-cbr128.mp3"));
  for (const char* name : {"A.MP3", "b.Mp3"}) {
    SCOPED_TRACE(name);
    EXPECT_TRUE(stream_.Open(Write(name, mp3), format_));
  }
  EXPECT_FALSE(stream_.Open(Write("c.mp3.bak", mp3), format_));
  // A Layer II file opens by its name and decodes like any other.
  const std::string layer2 = EncodedFile("mono48k-layer2.mp2");
  EXPECT_FALSE(stream_.Open(layer2, format_));
  ASSERT_TRUE(stream_.Open(Write("layer2.mp3", ReadBytes(layer2)), format_));
  EXPECT_EQ(format_.nChannels, 1);
  EXPECT_TRUE(SamePcm(Drain(3), ReferenceOf(layer2)));
}

TEST_F(Mp3StreamTest, CloseReopenAndSwitchingKinds) {
  const std::string path = EncodedFile("mono48k-cbr128.mp3");
  const Bytes reference = ReferenceOf(path);
  std::uint8_t buffer[2];
  EXPECT_EQ(stream_.Read(buffer, 2), 0) << "never opened";
  ASSERT_TRUE(stream_.Open(path, format_));
  EXPECT_EQ(stream_.Read(buffer, 0), 0);
  for (int i = 0; i < 1000; ++i) ASSERT_EQ(stream_.Read(buffer, 2), 2);
  const std::uint32_t length = stream_.DataLength();
  stream_.Close();
  EXPECT_EQ(stream_.Read(buffer, 2), 0);
  EXPECT_EQ(stream_.BytesRead(), 2000u);
  EXPECT_EQ(stream_.DataLength(), length);
  stream_.Close();

  // Opening again starts from the beginning and from a count of 0, and each open
  // gets a fresh decoder: nothing of the last file's input lingers.
  ASSERT_TRUE(stream_.Open(path, format_));
  EXPECT_EQ(stream_.BytesRead(), 0u);
  for (int i = 0; i < 500; ++i) ASSERT_EQ(stream_.Read(buffer, 2), 2);
  ASSERT_TRUE(stream_.Open(path, format_));
  EXPECT_TRUE(SamePcm(Drain(), reference));

  // From MP3 to WAV and back on one stream.
  ASSERT_TRUE(stream_.Open(StreamFile("mono16-48k.wav"), format_));
  EXPECT_EQ(format_.nChannels, 1);
  EXPECT_EQ(Drain().size(), stream_.DataLength());
  ASSERT_TRUE(stream_.Open(path, format_));
  EXPECT_TRUE(SamePcm(Drain(), reference));
}

// What the decoder makes of a whole file fed to it block after block, all at once.
Bytes DecodedAtOnce(const Bytes& file) {
#ifdef _WIN32
  const auto library = LoadDynamicLibrary("mp3dec.dll");
#else
  const auto library = LoadDynamicLibrary("libmp3dec.so");
#endif
  if (!library) return {};
  const auto init = reinterpret_cast<InitMP3Func>(library->Symbol("InitMP3"));
  const auto exit = reinterpret_cast<ExitMP3Func>(library->Symbol("ExitMP3"));
  const auto decode = reinterpret_cast<DecodeMP3Func>(library->Symbol("decodeMP3"));
  std::vector<std::uint8_t> state(MP3DEC_STATE_SIZE);
  if (!init || !exit || !decode || !init(state.data())) return {};
  Bytes pcm, out(16384);
  for (std::size_t at = 0; at < file.size(); at += 1024) {
    const auto n = static_cast<std::int32_t>(std::min<std::size_t>(1024, file.size() - at));
    std::int32_t produced = 0;
    for (auto status = decode(state.data(), file.data() + at, n, out.data(), 16384, &produced); status == 0;
         status = decode(state.data(), nullptr, 0, out.data(), 16384, &produced))
      pcm.insert(pcm.end(), out.begin(), out.begin() + produced);
  }
  exit(state.data());
  return pcm;
}

// Ten megabytes of padding between two stretches of sound: each read feeds the
// decoder a few blocks at most and has nothing yet until the padding is behind it,
// then the second stretch plays, and the end of the file is the end of the sound.
TEST_F(Mp3StreamTest, AStretchWithoutFramesIsFedAFewBlocksPerRead) {
  const std::string plain = EncodedFile("mono48k-cbr128.mp3");
  const Bytes mp3 = ReadBytes(plain);
  Bytes file = mp3;
  file.insert(file.end(), 10 << 20, 0);
  file.insert(file.end(), mp3.begin(), mp3.end());
  ASSERT_TRUE(stream_.Open(Write("padded.mp3", file), format_));
  Bytes pcm;
  std::uint8_t block[512];
  int notYet = 0;
  for (;;) {
    const std::uint64_t fed = stream_.FedBytes();
    const int n = stream_.Read(block, sizeof block);
    ASSERT_LE(stream_.FedBytes() - fed, TAudioStream::kMaxFeedPerRead) << "after " << pcm.size() << " bytes";
    if (n == 0) break;
    if (n == TAudioStream::kNotYet) {
      ++notYet;
      continue;
    }
    ASSERT_GT(n, 0);
    pcm.insert(pcm.end(), block, block + n);
  }
  EXPECT_EQ(stream_.FedBytes(), file.size());
  EXPECT_GE(notYet, static_cast<int>((10u << 20) / TAudioStream::kMaxFeedPerRead) - 1);
  EXPECT_EQ(stream_.BytesRead(), pcm.size());
  // Both stretches, exactly as the decoder gives them when fed all at once.
  EXPECT_GE(pcm.size(), 2 * ReferenceOf(plain).size());
  EXPECT_TRUE(pcm == DecodedAtOnce(file));
  std::uint8_t sample[2];
  EXPECT_EQ(stream_.Read(sample, 2), 0) << "the end stays the end";
}

TEST_F(Mp3StreamTest, TwoStreamsDecodeSideBySide) {
  const std::string a = EncodedFile("mono48k-cbr128.mp3");
  const std::string b = StreamFile("mono44k-cbr320.mp3");
  TAudioStream other;
  WAVEFORMATEX otherFormat{};
  ASSERT_TRUE(stream_.Open(a, format_));
  ASSERT_TRUE(other.Open(b, otherFormat));
  Bytes pcmA, pcmB;
  std::uint8_t sample[2];
  for (bool more = true; more;) {
    more = false;
    for (auto [s, pcm] : {std::pair{&stream_, &pcmA}, std::pair{&other, &pcmB}}) {
      const int n = s->Read(sample, 2);
      pcm->insert(pcm->end(), sample, sample + n);
      more |= n > 0;
    }
  }
  EXPECT_TRUE(SamePcm(pcmA, ReferenceOf(a)));
  EXPECT_TRUE(SamePcm(pcmB, ReferenceOf(b)));
}

}  // namespace
}  // namespace tonvane
