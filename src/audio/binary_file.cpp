#include "audio/binary_file.h"

namespace tonvane {

TBinaryFile::TBinaryFile(const std::string& fileName) : in_(fileName, std::ios::binary) {
  if (!in_.is_open()) return;
  in_.seekg(0, std::ios::end);
  const std::streamoff end = in_.tellg();
  in_.seekg(0, std::ios::beg);
  if (!in_ || end < 0) return;
  size_ = end;
  open_ = true;
}

bool TBinaryFile::Seek(std::int64_t offset) {
  if (!open_ || offset < 0) return false;
  in_.clear();
  in_.seekg(static_cast<std::streamoff>(offset), std::ios::beg);
  if (!in_) return false;
  position_ = offset;
  return true;
}

bool TBinaryFile::Read(void* buffer, std::size_t count, std::size_t& done) {
  done = 0;
  if (!open_) return false;
  if (count == 0 || position_ >= size_) return true;
  in_.clear();
  in_.read(static_cast<char*>(buffer), static_cast<std::streamsize>(count));
  done = static_cast<std::size_t>(in_.gcount());
  position_ += static_cast<std::int64_t>(done);
  // Reaching the end early is a short read; anything else (an I/O error, a directory) is a failure.
  if (in_.bad() || (done < count && !in_.eof())) return false;
  if (done == 0 && count > 0 && position_ < size_) return false;
  return true;
}

}  // namespace tonvane
