#include <cstdio>

#include "audio/riff_source.h"

namespace tonvane {
namespace {

class PosixRiffSource final : public TRiffSource {
 public:
  explicit PosixRiffSource(std::FILE* file) : file_(file) {}
  ~PosixRiffSource() override { std::fclose(file_); }

  std::int32_t Read(void* buffer, std::int32_t count) override {
    if (count <= 0) return 0;
    const std::size_t n = std::fread(buffer, 1, static_cast<std::size_t>(count), file_);
    if (n == 0 && std::ferror(file_)) return -1;
    return static_cast<std::int32_t>(n);
  }
  bool Seek(std::int32_t position) override {
    return position >= 0 && std::fseek(file_, position, SEEK_SET) == 0;
  }
  std::int32_t Tell() override {
    const long p = std::ftell(file_);
    return p < 0 || p > INT32_MAX ? -1 : static_cast<std::int32_t>(p);
  }

 private:
  std::FILE* file_;
};

}  // namespace

std::unique_ptr<TRiffSource> OpenRiffSource(const std::string& fileName) {
  std::FILE* file = std::fopen(fileName.c_str(), "rb");
  if (!file) return nullptr;
  return std::make_unique<PosixRiffSource>(file);
}

}  // namespace tonvane
