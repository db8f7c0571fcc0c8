#include <sys/types.h>

#include <cstdio>

#include "audio/byte_source.h"

namespace tonvane {
namespace {

class TPosixFileSource final : public IByteSource {
 public:
  explicit TPosixFileSource(std::FILE* file) : file_(file) {}
  ~TPosixFileSource() override { std::fclose(file_); }

  std::int32_t Read(void* buffer, std::int32_t count) override {
    if (count <= 0) return 0;
    // An earlier error is not this read's.
    std::clearerr(file_);
    const std::size_t n = std::fread(buffer, 1, static_cast<std::size_t>(count), file_);
    if (n == 0 && std::ferror(file_)) return -1;
    return static_cast<std::int32_t>(n);
  }
  bool Seek(std::int64_t position) override {
    return position >= 0 && ::fseeko(file_, static_cast<off_t>(position), SEEK_SET) == 0;
  }
  std::int64_t Tell() override {
    const off_t p = ::ftello(file_);
    return p < 0 ? -1 : static_cast<std::int64_t>(p);
  }
  // Measured on first use: the WAV reader never asks.
  std::int64_t Size() override {
    if (size_ < 0) {
      const off_t position = ::ftello(file_);
      if (position < 0 || ::fseeko(file_, 0, SEEK_END) != 0) return -1;
      const off_t end = ::ftello(file_);
      if (::fseeko(file_, position, SEEK_SET) != 0) return -1;
      size_ = end;
    }
    return size_;
  }

 private:
  std::FILE* file_;
  std::int64_t size_ = -1;
};

}  // namespace

std::unique_ptr<IByteSource> OpenFileSource(const std::string& fileName) {
  std::FILE* file = std::fopen(fileName.c_str(), "rb");
  if (!file) return nullptr;
  return std::make_unique<TPosixFileSource>(file);
}

}  // namespace tonvane
