// Files through winmm's multimedia file I/O, with mmio's own read buffer. mmio's
// positions are 32-bit: beyond 2^31 - 1 it refuses to seek.
#include <windows.h>
#include <mmsystem.h>

#include <limits>
#include <vector>

#include "audio/byte_source.h"
#include "base/utf8_name_win32.h"

namespace tonvane {
namespace {

class TMmioFileSource final : public IByteSource {
 public:
  explicit TMmioFileSource(HMMIO handle) : handle_(handle) {}
  ~TMmioFileSource() override { mmioClose(handle_, 0); }

  std::int32_t Read(void* buffer, std::int32_t count) override {
    if (count <= 0) return 0;
    const LONG n = mmioRead(handle_, static_cast<HPSTR>(buffer), count);
    return n < 0 ? -1 : static_cast<std::int32_t>(n);
  }
  bool Seek(std::int64_t position) override {
    if (position < 0 || position > std::numeric_limits<LONG>::max()) return false;
    const auto p = static_cast<LONG>(position);
    return mmioSeek(handle_, p, SEEK_SET) == p;
  }
  std::int64_t Tell() override {
    const LONG p = mmioSeek(handle_, 0, SEEK_CUR);
    return p < 0 ? -1 : p;
  }
  // Measured on first use: the WAV reader never asks.
  std::int64_t Size() override {
    if (size_ < 0) {
      const LONG position = mmioSeek(handle_, 0, SEEK_CUR);
      const LONG end = position < 0 ? -1 : mmioSeek(handle_, 0, SEEK_END);
      if (end < 0 || mmioSeek(handle_, position, SEEK_SET) != position) return -1;
      size_ = end;
    }
    return size_;
  }

 private:
  HMMIO handle_;
  std::int64_t size_ = -1;
};

}  // namespace

std::unique_ptr<IByteSource> OpenFileSource(const std::string& fileName) {
  // mmioOpen takes a writable name buffer.
  std::vector<char> name(fileName.begin(), fileName.end());
  name.push_back('\0');
  HMMIO handle = mmioOpenA(name.data(), nullptr, MMIO_READ | MMIO_ALLOCBUF);
  if (!handle) {
    // A host's UTF-8 name (base/utf8_name_win32.h).
    std::wstring wide = WideFromUtf8Name(fileName);
    if (!wide.empty()) handle = mmioOpenW(wide.data(), nullptr, MMIO_READ | MMIO_ALLOCBUF);
  }
  if (!handle) return nullptr;
  return std::make_unique<TMmioFileSource>(handle);
}

}  // namespace tonvane
