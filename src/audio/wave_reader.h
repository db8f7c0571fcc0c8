#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include "audio/byte_source.h"
#include "audio/wave_format.h"

namespace tonvane {

// The WAV half of the audio stream: the "data" chunk's bytes as they stand, read
// ahead a block at a time so that a Read of a few bytes costs no call into the source.
class TWaveReader {
 public:
  TWaveReader();

  // Walks the RIFF chunks and fills format; on success sets dataStart and dataLength
  // (the data chunk less its last four bytes, which are never handed out) and keeps
  // the source. False, with the source released, for anything but plain PCM with data.
  bool Open(std::unique_ptr<IByteSource> source, WAVEFORMATEX& format, std::uint32_t& dataStart,
            std::atomic<std::uint32_t>& dataLength);
  // Up to count bytes from an open reader; 0 at the end of the data; kReadError when
  // the source failed before any byte came. The next Read tries again from where the
  // data stands, so a share that drops for a moment loses nothing.
  std::int32_t Read(std::uint8_t* buffer, std::int32_t count);
  static constexpr std::int32_t kReadError = -2;
  void Close();
  bool IsOpen() const { return source_ != nullptr; }

 private:
  std::unique_ptr<IByteSource> source_;
  std::vector<std::uint8_t> block_;  // read ahead from pos_
  std::uint32_t blockPos_ = 0;
  std::uint32_t blockFill_ = 0;
  std::uint64_t pos_ = 0;  // source position of the next byte to hand out
  std::uint64_t end_ = 0;
  // The source failed: its position is unknown until it is set again.
  bool reposition_ = false;
};

}  // namespace tonvane
