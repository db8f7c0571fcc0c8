#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace tonvane {

// A RIFF file opened for reading through the platform's buffered file I/O: the
// seam under the WAV reader. Windows: winmm's mmio with its own I/O buffer
// (riff_source_win32.cpp). Native: C stdio (riff_source_posix.cpp).
//
// Positions are byte offsets from the start of the file and fit in 31 bits, as
// mmio's do; the chunk walking above this seam is portable (riff_chunks.h).
class TRiffSource {
 public:
  virtual ~TRiffSource() = default;
  // Bytes read (fewer at the end of the file), or -1 on an error.
  virtual std::int32_t Read(void* buffer, std::int32_t count) = 0;
  // Moves to an absolute position; false when the platform refuses it.
  virtual bool Seek(std::int32_t position) = 0;
  // The current position, or -1 on an error.
  virtual std::int32_t Tell() = 0;
};

// Null when the file cannot be opened for reading.
std::unique_ptr<TRiffSource> OpenRiffSource(const std::string& fileName);

}  // namespace tonvane
