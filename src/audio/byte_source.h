#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace tonvane {

// Where every parser of sound files gets its bytes: the RIFF chunk walk, the tag
// readers, the MPEG analysis and the stream's two readers. A file is opened once
// per stream and every parser reads it through the same source; fuzzers and tests
// hand the same parsers bytes from memory.
//
// What an implementation guarantees:
// - Read copies up to count bytes from the position and moves past them. It gives
//   fewer only at the end of the source (0 at or past the end) or just before an
//   error; an error is -1, after which the position is unspecified.
// - Seek to any position from 0 up to 2^31 - 1 succeeds, past the end too (reads
//   there give 0); a negative one fails. Beyond that the platform may refuse.
// - Tell is where the next Read starts, or -1 on an error.
// - Size is the source's length (measured once, at the first call), or -1 when it
//   cannot be measured.
// - Read may block (a slow disk, a network share) and never calls back. The stream's
//   readers bound what one call asks for (a read-ahead block for WAV, four input
//   blocks for MP3), so that a feeder thread serves its other channels in between.
// What a caller guarantees: one thread at a time, and a count that is not negative.
//
// Files: winmm's mmio with its own read buffer on Windows (file_source_win32.cpp),
// C stdio natively (file_source_posix.cpp).
class IByteSource {
 public:
  virtual ~IByteSource() = default;
  virtual std::int32_t Read(void* buffer, std::int32_t count) = 0;
  virtual bool Seek(std::int64_t position) = 0;
  virtual std::int64_t Tell() = 0;
  virtual std::int64_t Size() = 0;
};

// Null when the file cannot be opened for reading.
std::unique_ptr<IByteSource> OpenFileSource(const std::string& fileName);

// Bytes someone else owns, which must outlive the source.
class TMemorySource final : public IByteSource {
 public:
  TMemorySource(const void* data, std::size_t size)
      : data_(static_cast<const std::uint8_t*>(data)), size_(size) {}

  std::int32_t Read(void* buffer, std::int32_t count) override;
  bool Seek(std::int64_t position) override;
  std::int64_t Tell() override { return position_; }
  std::int64_t Size() override { return static_cast<std::int64_t>(size_); }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::int64_t position_ = 0;
};

}  // namespace tonvane
