#include "audio/wave_reader.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "audio/riff_chunks.h"

namespace tonvane {
namespace {
constexpr std::size_t kBlockSize = 16384;
}  // namespace

TWaveReader::TWaveReader() : block_(kBlockSize) {}

bool TWaveReader::Open(std::unique_ptr<IByteSource> source, WAVEFORMATEX& format, std::uint32_t& dataStart,
                       std::atomic<std::uint32_t>& dataLength) {
  Close();
  if (!source) return false;
  IByteSource& s = *source;
  TRiffChunk riff, fmt, data;
  if (!DescendRiff(s, FourCC("WAVE"), riff)) return false;
  if (!DescendChunk(s, FourCC("fmt "), riff, fmt)) return false;
  // A 16-byte "fmt " chunk leaves cbSize holding the two bytes that follow it.
  if (s.Read(&format, sizeof format) < 0) return false;
  if (!Ascend(s, fmt)) return false;
  if (format.wFormatTag != 1 || format.nAvgBytesPerSec == 0) return false;
  if (!DescendChunk(s, FourCC("data"), riff, data)) return false;
  if (data.Size <= 4) return false;
  const std::int64_t start = s.Tell();
  if (start < 0 || start > std::numeric_limits<std::int32_t>::max()) return false;
  dataStart = static_cast<std::uint32_t>(start);
  dataLength.store(data.Size - 4, std::memory_order_relaxed);
  pos_ = dataStart;
  end_ = std::uint64_t{dataStart} + (data.Size - 4);
  blockPos_ = blockFill_ = 0;
  reposition_ = false;
  source_ = std::move(source);
  return true;
}

std::int32_t TWaveReader::Read(std::uint8_t* buffer, std::int32_t count) {
  std::int32_t copied = 0;
  while (copied < count && pos_ < end_) {
    if (blockPos_ == blockFill_) {
      if (reposition_) {
        if (!source_->Seek(static_cast<std::int64_t>(pos_))) return copied > 0 ? copied : kReadError;
        reposition_ = false;
      }
      const auto want = static_cast<std::int32_t>(std::min<std::uint64_t>(block_.size(), end_ - pos_));
      const std::int32_t n = source_->Read(block_.data(), want);
      if (n < 0) {
        reposition_ = true;
        return copied > 0 ? copied : kReadError;
      }
      if (n == 0) break;
      blockPos_ = 0;
      blockFill_ = static_cast<std::uint32_t>(n);
    }
    const auto take =
        std::min<std::uint32_t>(static_cast<std::uint32_t>(count - copied), blockFill_ - blockPos_);
    std::memcpy(buffer + copied, block_.data() + blockPos_, take);
    blockPos_ += take;
    pos_ += take;
    copied += static_cast<std::int32_t>(take);
  }
  return copied;
}

void TWaveReader::Close() {
  source_.reset();
  blockPos_ = blockFill_ = 0;
  pos_ = end_ = 0;
}

}  // namespace tonvane
