#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "audio/byte_source.h"
#include "audio/mp3_reader.h"
#include "audio/wave_format.h"
#include "audio/wave_reader.h"

namespace tonvane {

// One channel's sound source: a WAV file's data bytes as they stand, or an MP3
// file decoded to 16-bit PCM, handed out a few bytes at a time.
//
// Open runs on the host's thread; Read on a feeder thread (or on the host's thread
// for a Play's first samples); Close on whichever holds the stream then. The caller
// keeps them from overlapping on one stream. Read copies from a block read ahead
// (WAV) or decoded ahead (MP3) and makes no system call per sample; it may block
// when the file's storage does.
class TAudioStream {
 public:
  // Read's answer when an MP3 file's decoder has had its share of input for one
  // call without producing PCM, and more of the file is to come: nothing now, ask
  // again later. A stretch the decoder cannot use (padding, a damaged region, an
  // appended tag with pictures) thus costs each call a bounded amount of work.
  static constexpr std::int32_t kNotYet = TMp3Reader::kNotYet;
  // Read's answer when the file could not be read just now (a share that dropped, a
  // bad block): not the end of the data. The next Read tries the same place again.
  static constexpr std::int32_t kReadError = TMp3Reader::kReadError;
  static_assert(kReadError == TWaveReader::kReadError);
  // File bytes one Read hands the decoder at most.
  static constexpr std::uint32_t kMaxFeedPerRead = TMp3Reader::kMaxFeedPerRead;

  enum class TKind { Wave, Mp3 };

  TAudioStream() = default;
  ~TAudioStream();
  TAudioStream(const TAudioStream&) = delete;
  TAudioStream& operator=(const TAudioStream&) = delete;

  // Closes what is open, opens the file by its extension (".wav" or ".mp3", any
  // case) and fills format. False when the file cannot be opened or understood.
  // The file is opened once; every parser reads it through that one source.
  bool Open(const std::string& fileName, WAVEFORMATEX& format);
  // The same over a source already open (bytes in memory, say); the stream keeps it.
  bool Open(std::unique_ptr<IByteSource> source, TKind kind, WAVEFORMATEX& format);
  // Copies up to count bytes of PCM and returns how many; 0 at the end of the data
  // or with nothing open; kNotYet while an MP3 decoder is fed a stretch without PCM;
  // kReadError when the file failed before any byte came.
  std::int32_t Read(void* buffer, std::int32_t count);
  // Harmless when nothing is open; keeps DataLength and BytesRead.
  void Close();

  // Where the audio starts in the file.
  std::uint32_t DataStart() const { return dataStart_; }
  // PCM bytes the file should yield: exact for WAV, an estimate for MP3. Set by Open;
  // the host's thread reads it for the strips while a feeder thread reads the stream.
  std::uint32_t DataLength() const { return dataLength_.load(std::memory_order_relaxed); }
  // Bytes handed out since the last successful Open. May be read on any thread
  // while a feeder thread counts; the strips show the channel's BytesPlayed instead,
  // what the driver's thread has played.
  std::uint32_t BytesRead() const { return bytesRead_.load(std::memory_order_relaxed); }
  // Bytes of an MP3 file handed to the decoder since the last Open.
  std::uint64_t FedBytes() const { return mp3_.FedBytes(); }

 private:
  TWaveReader wave_;
  TMp3Reader mp3_;
  std::uint32_t dataStart_ = 0;
  std::atomic<std::uint32_t> dataLength_{0};
  std::atomic<std::uint32_t> bytesRead_{0};
};

}  // namespace tonvane
