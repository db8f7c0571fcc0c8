#pragma once

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "audio/riff_source.h"

namespace tonvane {

// The Windows wave-format record: 18 bytes, little-endian, no padding.
#pragma pack(push, 1)
struct WAVEFORMATEX {
  std::uint16_t wFormatTag;
  std::uint16_t nChannels;
  std::uint32_t nSamplesPerSec;
  std::uint32_t nAvgBytesPerSec;
  std::uint16_t nBlockAlign;
  std::uint16_t wBitsPerSample;
  std::uint16_t cbSize;
};
#pragma pack(pop)
static_assert(sizeof(WAVEFORMATEX) == 18);

// One channel's sound source: a WAV file's data bytes as they stand, or an MP3
// file decoded to 16-bit PCM, handed out a few bytes at a time.
//
// Open and Close run on the host's thread, Read on the driver's thread; the caller
// keeps them from overlapping on one stream. Read is cheap: it copies from a block
// read ahead (WAV) or decoded ahead (MP3) and makes no system call per sample.
class TAudioStream {
 public:
  // Read's answer when an MP3 file's decoder has had its share of input for one
  // call without producing PCM, and more of the file is to come: nothing now, ask
  // again later. A stretch the decoder cannot use (padding, a damaged region, an
  // appended tag with pictures) thus costs each call a bounded amount of work.
  static constexpr std::int32_t kNotYet = -1;
  // File bytes one Read hands the decoder at most: four 1,024-byte blocks, so a
  // frame of the longest legal length (1,729 bytes) completes within one call
  // wherever it starts.
  static constexpr std::uint32_t kMaxFeedPerRead = 4 * 1024;

  TAudioStream();
  ~TAudioStream();
  TAudioStream(const TAudioStream&) = delete;
  TAudioStream& operator=(const TAudioStream&) = delete;

  // Closes what is open, opens the file by its extension (".wav" or ".mp3", any
  // case) and fills format. False when the file cannot be opened or understood.
  bool Open(const std::string& fileName, WAVEFORMATEX& format);
  // Copies up to count bytes of PCM and returns how many; 0 at the end of the data
  // or with nothing open; kNotYet while an MP3 decoder is fed a stretch without PCM.
  std::int32_t Read(void* buffer, std::int32_t count);
  // Harmless when nothing is open; keeps DataLength and BytesRead.
  void Close();

  // Where the audio starts in the file.
  std::uint32_t DataStart() const { return dataStart_; }
  // PCM bytes the file should yield: exact for WAV, an estimate for MP3.
  std::uint32_t DataLength() const { return dataLength_.load(std::memory_order_relaxed); }
  // Bytes handed out since the last successful Open. Read by the host's thread
  // for progress while the driver's thread counts.
  std::uint32_t BytesRead() const { return bytesRead_.load(std::memory_order_relaxed); }
  // Bytes of an MP3 file handed to the decoder since the last Open.
  std::uint64_t FedBytes() const { return fedBytes_; }

 private:
  bool OpenWave(const std::string& fileName, WAVEFORMATEX& format);
  bool OpenMp3(const std::string& fileName, WAVEFORMATEX& format);
  std::int32_t ReadWave(std::uint8_t* buffer, std::int32_t count);
  std::int32_t ReadMp3(std::uint8_t* buffer, std::int32_t count);
  enum class TRefill { Decoded, NotYet, Ended };
  // Feeds at most `budget` file bytes, and takes what it fed off it.
  TRefill RefillDecoded(std::uint32_t& budget);
  void CloseMp3();

  // WAV
  std::unique_ptr<TRiffSource> wave_;
  std::vector<std::uint8_t> waveBlock_;  // read ahead from wavePos_
  std::uint32_t waveBlockPos_ = 0;
  std::uint32_t waveBlockFill_ = 0;
  std::uint64_t wavePos_ = 0;  // file position of the next byte to hand out

  // MP3
  std::FILE* mp3File_ = nullptr;
  std::vector<std::uint8_t> decodedBuffer_;
  std::uint32_t decodedPos_ = 0;
  std::unique_ptr<std::uint8_t[]> decoderState_;
  std::uint64_t fedBytes_ = 0;

  std::uint32_t dataStart_ = 0;
  std::atomic<std::uint32_t> dataLength_{0};
  std::atomic<std::uint32_t> bytesRead_{0};
};

}  // namespace tonvane
