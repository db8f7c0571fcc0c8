#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "audio/byte_source.h"
#include "audio/wave_format.h"

namespace tonvane {

// The MP3 half of the audio stream: the analysis gives the format, the length and
// where the audio starts; mp3dec, loaded at run time, decodes from there to 16-bit
// PCM, a few input blocks ahead of what is handed out.
class TMp3Reader {
 public:
  // Read's answer when the decoder has had its share of input for one call without
  // producing PCM, and more of the source is to come.
  static constexpr std::int32_t kNotYet = -1;
  // Read's answer when the source failed before any PCM came; the next Read tries
  // again from the first byte not yet fed to the decoder.
  static constexpr std::int32_t kReadError = -2;
  // Source bytes one Read hands the decoder at most: four 1,024-byte blocks, so a
  // frame of the longest legal length (1,729 bytes) completes within one call
  // wherever it starts.
  static constexpr std::uint32_t kMaxFeedPerRead = 4 * 1024;

  TMp3Reader();
  ~TMp3Reader();
  TMp3Reader(const TMp3Reader&) = delete;
  TMp3Reader& operator=(const TMp3Reader&) = delete;

  // The decoder library's file name: mp3dec.dll, natively libmp3dec.so.
  static const char* LibraryName();
  // Loads the decoder library on first use and keeps it for the life of the process.
  // One that did not load is tried again at the next call; one that loaded without
  // its three entry points is not.
  static bool LoadDecoder();
  // The same from the path given, for a program that knows better than the search
  // order where its library is. Once one has loaded, every call answers for that one.
  static bool LoadDecoder(const std::string& library);

  // Analyses the source and fills format; sets dataLength (an estimate, from the play
  // time) and dataStart (behind the ID3v2 tag) once the analysis has succeeded, then
  // keeps the source and starts a decoder. False, with the source released, when the
  // decoder is missing or the source cannot be analysed, positioned or decoded.
  bool Open(std::unique_ptr<IByteSource> source, WAVEFORMATEX& format, std::uint32_t& dataStart,
            std::atomic<std::uint32_t>& dataLength);
  // Up to count bytes of PCM from an open reader; 0 at the end; kNotYet and
  // kReadError as above.
  std::int32_t Read(std::uint8_t* buffer, std::int32_t count);
  void Close();
  bool IsOpen() const { return source_ != nullptr; }
  // Source bytes handed to the decoder since the last Open.
  std::uint64_t FedBytes() const { return fedBytes_; }

 private:
  enum class TRefill { Decoded, NotYet, Ended, Failed };
  // Feeds at most `budget` source bytes, and takes what it fed off it.
  TRefill RefillDecoded(std::uint32_t& budget);

  std::unique_ptr<IByteSource> source_;
  std::vector<std::uint8_t> decoded_;
  std::uint32_t decodedPos_ = 0;
  std::unique_ptr<std::uint8_t[]> decoderState_;
  std::uint64_t fedBytes_ = 0;
  std::uint32_t dataStart_ = 0;
  // The source failed: its position is unknown until it is set again.
  bool reposition_ = false;
};

}  // namespace tonvane
