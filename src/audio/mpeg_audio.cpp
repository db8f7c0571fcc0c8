#include "audio/mpeg_audio.h"

#include <cmath>
#include <cstring>
#include <limits>

#include "base/byte_order.h"

namespace tonvane {

namespace {
constexpr std::array<std::uint16_t, 16> kNone{};
// MPEG 2 and 2.5 share their lower-sampling-frequency rates.
constexpr std::array<std::array<std::uint16_t, 16>, 4> kLowerRates = {{
    kNone,
    {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0},       // Layer III
    {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0},       // Layer II
    {0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256, 0},  // Layer I
}};
constexpr std::array<std::array<std::uint16_t, 16>, 4> kMpeg1Rates = {{
    kNone,
    {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0},      // Layer III
    {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384, 0},     // Layer II
    {0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448, 0},  // Layer I
}};
constexpr std::array<std::array<std::uint16_t, 16>, 4> kReservedVersion{};

constexpr std::size_t kID3v1Length = 128;
}  // namespace

const std::array<std::array<std::array<std::uint16_t, 16>, 4>, 4> kMpegBitRates = {
    kLowerRates, kReservedVersion, kLowerRates, kMpeg1Rates};
const std::array<std::array<std::uint16_t, 4>, 4> kMpegSampleRates = {{
    {11025, 12000, 8000, 0},
    {0, 0, 0, 0},
    {22050, 24000, 16000, 0},
    {44100, 48000, 32000, 0},
}};
const std::array<std::string_view, 5> kMpegChannelModes = {"Stereo", "Joint Stereo", "Dual Channel", "Mono",
                                                           "Unknown"};
const std::array<std::string_view, 4> kMpegVersions = {"MPEG 2.5", "MPEG ?", "MPEG 2", "MPEG 1"};
const std::array<std::string_view, 4> kMpegLayers = {"Layer ?", "Layer III", "Layer II", "Layer I"};
const std::array<std::string_view, 4> kMpegEmphasis = {"None", "50/15 ms", "Unknown", "CCIT J.17"};
const std::array<std::string_view, 7> kMpegEncoders = {"Unknown", "Xing", "FhG",  "LAME",
                                                       "Blade",   "GoGo", "Shine"};

namespace {

constexpr std::uint8_t kVersion1 = 3;
constexpr std::uint8_t kLayerI = 3;
constexpr auto kMono = static_cast<std::uint8_t>(TChannelMode::Mono);

std::uint8_t VersionOf(const std::uint8_t* b) { return (b[1] >> 3) & 3; }
std::uint8_t LayerOf(const std::uint8_t* b) { return (b[1] >> 1) & 3; }

std::uint16_t TableBitRate(const TFrameData& frame) {
  return kMpegBitRates[frame.VersionIndex & 3][frame.LayerIndex & 3][frame.BitRateIndex & 15];
}

std::uint16_t TableSampleRate(const TFrameData& frame) {
  return kMpegSampleRates[frame.VersionIndex & 3][frame.SampleRateIndex & 3];
}

bool Matches(const TMPEGaudio::TBlock& block, std::int64_t at, const char (&text)[5]) {
  return at >= 0 && at + 4 <= TMPEGaudio::kBlockLength && std::memcmp(block.data() + at, text, 4) == 0;
}

// Bytes past either end of the block read as zero, so a header near its edge is
// never read out of bounds.
std::uint8_t ByteAt(const TMPEGaudio::TBlock& block, std::int64_t at) {
  return at >= 0 && at < TMPEGaudio::kBlockLength ? block[static_cast<std::size_t>(at)] : 0;
}

std::int32_t BigEndian32(const TMPEGaudio::TBlock& block, std::int64_t at) {
  const std::uint8_t bytes[4] = {ByteAt(block, at), ByteAt(block, at + 1), ByteAt(block, at + 2),
                                 ByteAt(block, at + 3)};
  return static_cast<std::int32_t>(LoadBe32(bytes));
}

std::string TextAt(const TMPEGaudio::TBlock& block, std::int64_t at, int length) {
  std::string text;
  for (int i = 0; i < length; ++i) text += static_cast<char>(ByteAt(block, at + i));
  return text;
}

// Fills the block from the offset; whatever the source does not have stays zero.
bool ReadBlock(IByteSource& source, std::int64_t offset, TMPEGaudio::TBlock& block, std::int32_t& done) {
  block.fill(0);
  done = 0;
  if (!source.Seek(offset)) return false;
  done = source.Read(block.data(), TMPEGaudio::kBlockLength);
  return done >= 0;
}

}  // namespace

bool HeaderAcceptable(const std::uint8_t* b) {
  return b[0] == 0xFF && (b[1] & 0xE0) == 0xE0 && VersionOf(b) != 1 && LayerOf(b) != 0 && (b[2] >> 4) != 15 &&
         (b[2] >> 4) != 0 && ((b[2] >> 2) & 3) != 3 && (b[3] & 3) != 2;
}

void DecodeHeader(const std::uint8_t* b, TFrameData& frame) {
  std::memcpy(frame.HeaderBytes.data(), b, 4);
  frame.VersionIndex = VersionOf(b);
  frame.LayerIndex = LayerOf(b);
  frame.CrcProtected = (b[1] & 1) == 0;
  frame.BitRateIndex = b[2] >> 4;
  frame.SampleRateIndex = (b[2] >> 2) & 3;
  frame.PaddingBit = (b[2] >> 1) & 1;
  frame.PrivateBit = b[2] & 1;
  frame.ModeIndex = b[3] >> 6;
  frame.ModeExtension = (b[3] >> 4) & 3;
  frame.CopyrightBit = (b[3] >> 3) & 1;
  frame.OriginalBit = (b[3] >> 2) & 1;
  frame.EmphasisIndex = b[3] & 3;
}

int FrameCoefficient(const TFrameData& frame) {
  if (frame.VersionIndex == kVersion1) return frame.LayerIndex == kLayerI ? 48 : 144;
  return frame.LayerIndex == kLayerI ? 24 : 72;
}

int PaddingBytes(const TFrameData& frame) {
  if (!frame.PaddingBit) return 0;
  return frame.LayerIndex == kLayerI ? 4 : 1;
}

int VbrHeaderOffset(const TFrameData& frame) {
  const bool mono = frame.ModeIndex == kMono;
  if (frame.VersionIndex == kVersion1) return mono ? 21 : 36;
  return mono ? 13 : 21;
}

int FrameLength(const TFrameData& frame) {
  const std::uint16_t sampleRate = TableSampleRate(frame);
  if (sampleRate == 0) return 0;
  const std::int32_t product = FrameCoefficient(frame) * TableBitRate(frame) * 1000;
  return static_cast<int>(std::trunc(static_cast<double>(product) / sampleRate)) + PaddingBytes(frame);
}

void TMPEGaudio::Clear() {
  FileSize = 0;
  EncoderMarker.clear();
  VbrInfo = TVbrData{};
  FrameInfo = TFrameData{};
  // The values that stand for "no frame": reserved version, rate and emphasis, unknown mode.
  FrameInfo.VersionIndex = 1;
  FrameInfo.SampleRateIndex = 3;
  FrameInfo.ModeIndex = 4;
  FrameInfo.ModeExtension = 4;
  FrameInfo.EmphasisIndex = 2;
  ID3v1.Clear();
  ID3v2.Clear();
}

bool TMPEGaudio::SearchFirstFrame(const TBlock& block) {
  FrameInfo = TFrameData{};
  // A lone header-like pattern is common inside audio data; two at the computed
  // distance are not.
  for (int p = 0; p <= kBlockLength - 1729; ++p) {
    const std::uint8_t* candidate = block.data() + p;
    if (!HeaderAcceptable(candidate)) continue;
    DecodeHeader(candidate, FrameInfo);
    const int length = FrameLength(FrameInfo);
    if (length <= 0 || p + length + 4 > kBlockLength || !HeaderAcceptable(block.data() + p + length))
      continue;
    FrameInfo.Found = true;
    FrameInfo.Position = p;
    FrameInfo.Length = static_cast<std::uint16_t>(length);
    FrameInfo.EmptyStart = true;
    for (int i = p + 4; i <= p + 9; ++i)
      if (ByteAt(block, i) != 0) FrameInfo.EmptyStart = false;
    SearchVbrHeader(block, p + VbrHeaderOffset(FrameInfo));
    return true;
  }
  return false;
}

void TMPEGaudio::SearchVbrHeader(const TBlock& block, int i) {
  VbrInfo = TVbrData{};
  // The flag word of a Xing header is not consulted: encoders that write one fill both counts.
  if (Matches(block, i, "Xing")) {
    VbrInfo.Found = true;
    VbrInfo.Id = "Xing";
    VbrInfo.Frames = BigEndian32(block, i + 8);
    VbrInfo.Bytes = BigEndian32(block, i + 12);
    VbrInfo.Scale = ByteAt(block, i + 119);
    VbrInfo.VendorText = TextAt(block, i + 120, 8);
  }
  if (Matches(block, i, "VBRI")) {
    VbrInfo.Found = true;
    VbrInfo.Id = "VBRI";
    VbrInfo.Scale = ByteAt(block, i + 9);
    VbrInfo.Bytes = BigEndian32(block, i + 10);
    VbrInfo.Frames = BigEndian32(block, i + 14);
  }
}

void TMPEGaudio::FindEncoderMarker(const TBlock& block, int frameLength) {
  // The marker sits in one of the last frames; the search covers two frame lengths
  // but never runs off the front of the block.
  for (int k = 0; k <= 2 * frameLength; ++k) {
    const int at = kBlockLength - 8 - k;
    if (at < 0) break;
    if (Matches(block, at, "LAME")) {
      EncoderMarker = "LAME" + TextAt(block, at + 4, 4);
      return;
    }
    if (Matches(block, at, "GOGO")) {
      EncoderMarker = "GOGO";
      return;
    }
  }
}

bool TMPEGaudio::Analyse(const std::string& fileName) {
  Clear();
  const auto source = OpenFileSource(fileName);
  return source && Analyse(*source);
}

bool TMPEGaudio::Analyse(IByteSource& source) {
  Clear();
  bool result = false;
  if (ID3v2.ReadTag(source) && ID3v1.ReadTag(source)) result = Examine(source);
  if (!FrameInfo.Found) Clear();
  return result;
}

bool TMPEGaudio::Examine(IByteSource& source) {
  // The play time and the stream's data length are 32-bit quantities.
  const std::int64_t size = source.Size();
  if (size < 0 || size > std::numeric_limits<std::int32_t>::max()) return false;
  FileSize = static_cast<std::int32_t>(size);
  const std::int64_t tagSize = ID3v2.TagSize;

  TBlock block;
  std::int32_t done = 0;
  if (!ReadBlock(source, tagSize, block, done)) return false;
  SearchFirstFrame(block);
  // Junk at the start (a broken tag, a damaged first frame) may hide the frames; the
  // middle of a long file is audio in any case.
  if (!FrameInfo.Found && done == kBlockLength) {
    if (!ReadBlock(source, (FileSize - tagSize) / 2, block, done)) return false;
    SearchFirstFrame(block);
  }
  if (FrameInfo.Found && !VbrInfo.Found) {
    std::int64_t start = std::int64_t{FileSize} - kBlockLength - (ID3v1.TagFound ? kID3v1Length : 0);
    // A sound shorter than a block is read from its start; the rest of the block stays zero.
    if (start < 0) start = 0;
    if (!ReadBlock(source, start, block, done)) return false;
    FindEncoderMarker(block, FrameInfo.Length);
  }
  return true;
}

std::uint16_t TMPEGaudio::SampleRate() const { return TableSampleRate(FrameInfo); }

TChannelMode TMPEGaudio::Mode() const {
  return FrameInfo.ModeIndex < kMpegChannelModes.size() ? static_cast<TChannelMode>(FrameInfo.ModeIndex)
                                                        : TChannelMode::Unknown;
}

std::string TMPEGaudio::ChannelMode() const {
  return std::string(kMpegChannelModes[static_cast<std::size_t>(Mode())]);
}

std::uint16_t TMPEGaudio::BitRate() const {
  if (VbrInfo.Found && VbrInfo.Frames > 0) {
    const double rate = (static_cast<double>(VbrInfo.Bytes) / VbrInfo.Frames - PaddingBytes(FrameInfo)) *
                        SampleRate() / FrameCoefficient(FrameInfo) / 1000;
    // Rounds halves to even; the magnitude stays far inside 64 bits, and the result keeps its low 16.
    return static_cast<std::uint16_t>(static_cast<std::int64_t>(std::nearbyint(rate)));
  }
  return TableBitRate(FrameInfo);
}

double TMPEGaudio::Duration() const {
  if (!FrameInfo.Found) return 0;
  if (VbrInfo.Found && VbrInfo.Frames > 0) {
    const std::uint16_t sampleRate = SampleRate();
    return sampleRate == 0
               ? 0
               : static_cast<double>(VbrInfo.Frames) * FrameCoefficient(FrameInfo) * 8 / sampleRate;
  }
  const std::uint16_t bitRate = TableBitRate(FrameInfo);
  if (bitRate == 0) return 0;
  std::int64_t audioSize = std::int64_t{FileSize} - ID3v2.TagSize;
  if (ID3v1.TagFound) audioSize -= kID3v1Length;
  // 64-bit: eight times the size of a long file does not fit in 32 bits.
  const std::int64_t bits = (audioSize - FrameInfo.Position) * 8;
  return static_cast<double>(bits) / bitRate / 1000;
}

}  // namespace tonvane
