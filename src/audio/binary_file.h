#pragma once

#include <cstddef>
#include <cstdint>
#include <fstream>
#include <string>

namespace tonvane {

// Read-only access to a file for the tag readers and the MPEG analyser. Every
// operation reports failure as false instead of throwing, because a file the user
// picked that cannot be read is an expected outcome, not an error to show. Offsets
// are 64-bit so that sizes near or above 2 GiB never wrap.
class TBinaryFile {
 public:
  // Opens the file and measures it; IsOpen() tells whether that worked.
  explicit TBinaryFile(const std::string& fileName);
  TBinaryFile(const TBinaryFile&) = delete;
  TBinaryFile& operator=(const TBinaryFile&) = delete;

  bool IsOpen() const { return open_; }
  std::int64_t Size() const { return size_; }
  std::int64_t Position() const { return position_; }

  // Fails for a negative offset; an offset past the end is allowed (reads then give nothing).
  bool Seek(std::int64_t offset);
  // Reads up to count bytes at the position; count of zero bytes at the end is not an error.
  // Returns false only when the stream fails for another reason than reaching the end.
  bool Read(void* buffer, std::size_t count, std::size_t& done);

 private:
  std::ifstream in_;
  bool open_ = false;
  std::int64_t size_ = 0;
  std::int64_t position_ = 0;
};

}  // namespace tonvane
