// RIFF files through winmm's multimedia file I/O, with mmio's own read buffer.
#include <windows.h>
#include <mmsystem.h>

#include <vector>

#include "audio/riff_source.h"

namespace tonvane {
namespace {

class MmioRiffSource final : public TRiffSource {
 public:
  explicit MmioRiffSource(HMMIO handle) : handle_(handle) {}
  ~MmioRiffSource() override { mmioClose(handle_, 0); }

  std::int32_t Read(void* buffer, std::int32_t count) override {
    if (count <= 0) return 0;
    const LONG n = mmioRead(handle_, static_cast<HPSTR>(buffer), count);
    return n < 0 ? -1 : static_cast<std::int32_t>(n);
  }
  bool Seek(std::int32_t position) override {
    return position >= 0 && mmioSeek(handle_, position, SEEK_SET) == position;
  }
  std::int32_t Tell() override { return static_cast<std::int32_t>(mmioSeek(handle_, 0, SEEK_CUR)); }

 private:
  HMMIO handle_;
};

}  // namespace

std::unique_ptr<TRiffSource> OpenRiffSource(const std::string& fileName) {
  // mmioOpen takes a writable name buffer.
  std::vector<char> name(fileName.begin(), fileName.end());
  name.push_back('\0');
  HMMIO handle = mmioOpenA(name.data(), nullptr, MMIO_READ | MMIO_ALLOCBUF);
  if (!handle) return nullptr;
  return std::make_unique<MmioRiffSource>(handle);
}

}  // namespace tonvane
