#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "audio/byte_source.h"
#include "audio/id3v1.h"
#include "audio/id3v2.h"

namespace tonvane {

// Tables of the MPEG audio frame header (ISO/IEC 11172-3 and 13818-3), indexed by the
// header's own bit fields. Reserved values give 0 or a placeholder name.
// Bit rates in kbit/s by [version][layer][bit-rate index].
extern const std::array<std::array<std::array<std::uint16_t, 16>, 4>, 4> kMpegBitRates;
// Sample rates in Hz by [version][sample-rate index].
extern const std::array<std::array<std::uint16_t, 4>, 4> kMpegSampleRates;
extern const std::array<std::string_view, 5> kMpegChannelModes;  // by TChannelMode

// The frame header's mode field, and Unknown for no frame.
enum class TChannelMode : std::uint8_t { Stereo, JointStereo, DualChannel, Mono, Unknown };
extern const std::array<std::string_view, 4> kMpegVersions;
extern const std::array<std::string_view, 4> kMpegLayers;
extern const std::array<std::string_view, 4> kMpegEmphasis;
extern const std::array<std::string_view, 7> kMpegEncoders;

// A Xing or VBRI header in the first frame: the encoder's own count of the frames and
// bytes of a variable-bit-rate file, from which its play time and mean rate follow.
struct TVbrData {
  bool Found = false;
  std::string Id;  // "Xing" or "VBRI"
  std::int32_t Frames = 0;
  std::int32_t Bytes = 0;
  std::uint8_t Scale = 0;
  std::string VendorText;
};

// The first frame that the analysis accepted, with its header decoded.
struct TFrameData {
  bool Found = false;
  // Within the block the frame was found in (the one behind the ID3v2 tag, or the
  // one from the middle of the file).
  std::int32_t Position = 0;
  std::uint16_t Length = 0;
  bool EmptyStart = false;
  std::array<std::uint8_t, 4> HeaderBytes{};
  std::uint8_t VersionIndex = 0;  // 0 MPEG 2.5, 1 reserved, 2 MPEG 2, 3 MPEG 1
  std::uint8_t LayerIndex = 0;    // 0 reserved, 1 Layer III, 2 Layer II, 3 Layer I
  bool CrcProtected = false;
  std::uint16_t BitRateIndex = 0;
  std::uint16_t SampleRateIndex = 0;
  bool PaddingBit = false;
  bool PrivateBit = false;
  std::uint8_t ModeIndex = 0;
  std::uint8_t ModeExtension = 0;
  bool CopyrightBit = false;
  bool OriginalBit = false;
  std::uint8_t EmphasisIndex = 0;
};

// True for four bytes that can start a frame this analyser measures: sync bits, no
// reserved version, layer, sample rate or emphasis, and neither free format nor the
// forbidden bit-rate index.
bool HeaderAcceptable(const std::uint8_t* bytes);
// Fills the header fields of a frame record from four header bytes.
void DecodeHeader(const std::uint8_t* bytes, TFrameData& frame);
// 48 or 144 for MPEG 1, 24 or 72 for MPEG 2 and 2.5 (Layer I first); times 8 it is
// taken as the samples per frame.
int FrameCoefficient(const TFrameData& frame);
int PaddingBytes(const TFrameData& frame);
// Where a Xing or VBRI header starts, counted from the frame's first byte.
int VbrHeaderOffset(const TFrameData& frame);
// Length in bytes of a frame with an acceptable header.
int FrameLength(const TFrameData& frame);

// Examines an MPEG audio file before it is decoded: where the audio starts and ends
// (the tags), the first frame's format, and the play time.
class TMPEGaudio {
 public:
  static constexpr int kBlockLength = 3458;  // twice the longest frame, 1,729 bytes
  using TBlock = std::array<std::uint8_t, kBlockLength>;

  TMPEGaudio() { Clear(); }

  void Clear();
  // True when both tags could be read and the source examined, whether or not a
  // frame was found; a source without an acceptable frame leaves every field cleared.
  // Every read seeks first: the source's position on entry does not matter.
  bool Analyse(IByteSource& source);
  // The same over the file, opened once for the tags and the frames.
  bool Analyse(const std::string& fileName);

  std::uint16_t SampleRate() const;  // Hz, 0 without a frame
  TChannelMode Mode() const;         // Unknown without a frame
  std::string ChannelMode() const;   // Mode's name, for display: "Mono", "Stereo", ...
  std::uint16_t BitRate() const;     // kbit/s; the mean rate for a file with a VBR header
  double Duration() const;           // seconds

  // Looks for two consecutive acceptable headers in the block; on success fills
  // FrameInfo and VbrInfo and returns true.
  bool SearchFirstFrame(const TBlock& block);
  // Reads a Xing or VBRI header at index i of the block into VbrInfo.
  void SearchVbrHeader(const TBlock& block, int i);
  // Looks backwards from the end of a block that ends where the audio ends for the
  // marker a LAME or GOGO encoder leaves in its last frames.
  void FindEncoderMarker(const TBlock& block, int frameLength);

  std::int32_t FileSize = 0;
  std::string EncoderMarker;  // "LAME" and its version, "GOGO", or empty
  TVbrData VbrInfo;
  TFrameData FrameInfo;
  TID3v1 ID3v1;
  TID3v2 ID3v2;

 private:
  bool Examine(IByteSource& source);
};

}  // namespace tonvane
