// Files through winmm's multimedia file I/O, with mmio's own read buffer. mmio's
// positions are 32-bit: beyond 2^31 - 1 it refuses to seek. A UTF-8 name beyond the
// code page is opened with CreateFileW instead.
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

// A name mmio cannot take: its wide open goes through the code page again. The
// readers read in blocks of their own, so no buffer is kept here.
class THandleFileSource final : public IByteSource {
 public:
  explicit THandleFileSource(HANDLE handle) : handle_(handle) {}
  ~THandleFileSource() override { CloseHandle(handle_); }

  std::int32_t Read(void* buffer, std::int32_t count) override {
    if (count <= 0) return 0;
    DWORD n = 0;
    if (!ReadFile(handle_, buffer, static_cast<DWORD>(count), &n, nullptr)) return -1;
    return static_cast<std::int32_t>(n);
  }
  bool Seek(std::int64_t position) override {
    LARGE_INTEGER to;
    to.QuadPart = position;
    return position >= 0 && SetFilePointerEx(handle_, to, nullptr, FILE_BEGIN);
  }
  std::int64_t Tell() override {
    LARGE_INTEGER zero{}, at{};
    return SetFilePointerEx(handle_, zero, &at, FILE_CURRENT) ? at.QuadPart : -1;
  }
  std::int64_t Size() override {
    LARGE_INTEGER size{};
    return GetFileSizeEx(handle_, &size) ? size.QuadPart : -1;
  }

 private:
  HANDLE handle_;
};

}  // namespace

std::unique_ptr<IByteSource> OpenFileSource(const std::string& fileName) {
  // mmioOpen takes a writable name buffer.
  std::vector<char> name(fileName.begin(), fileName.end());
  name.push_back('\0');
  HMMIO handle = mmioOpenA(name.data(), nullptr, MMIO_READ | MMIO_ALLOCBUF);
  if (handle) return std::make_unique<TMmioFileSource>(handle);
  // A host's UTF-8 name (base/utf8_name_win32.h).
  const std::wstring wide = WideFromUtf8Name(fileName);
  if (wide.empty()) return nullptr;
  HANDLE file = CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return nullptr;
  return std::make_unique<THandleFileSource>(file);
}

}  // namespace tonvane
