#include "base/wav_writer.h"

#include <algorithm>
#include <cstring>

#include "base/byte_order.h"

namespace tonvane {
namespace {

// What follows the RIFF size field up to the data: "WAVE", the "fmt " chunk, the
// "data" chunk's id and size.
constexpr std::uint32_t kRiffOverhead = kWavHeaderSize - 8;

}  // namespace

std::array<std::uint8_t, kWavHeaderSize> WavHeader(const TPcmFormat& format, std::uint64_t dataBytes) {
  const auto data =
      static_cast<std::uint32_t>(std::min<std::uint64_t>(dataBytes, 0xFFFFFFFFu - kRiffOverhead));
  // A sample of 12 or 20 bits still takes whole bytes.
  const auto align = static_cast<std::uint16_t>(format.Channels * ((format.Bits + 7) / 8));
  std::array<std::uint8_t, kWavHeaderSize> h{};
  std::memcpy(&h[0], "RIFF", 4);
  StoreLe32(&h[4], kRiffOverhead + data);
  std::memcpy(&h[8], "WAVEfmt ", 8);
  StoreLe32(&h[16], 16);
  StoreLe16(&h[20], 1);  // PCM
  StoreLe16(&h[22], format.Channels);
  StoreLe32(&h[24], format.Rate);
  StoreLe32(&h[28], format.Rate * align);
  StoreLe16(&h[32], align);
  StoreLe16(&h[34], format.Bits);
  std::memcpy(&h[36], "data", 4);
  StoreLe32(&h[40], data);
  return h;
}

std::vector<std::uint8_t> WavFile(const TPcmFormat& format, std::span<const std::uint8_t> data) {
  const bool padded = data.size() % 2 != 0;
  std::vector<std::uint8_t> file(kWavHeaderSize + data.size() + (padded ? 1 : 0));  // the pad byte is 0
  const auto header = WavHeader(format, data.size());
  std::copy(header.begin(), header.end(), file.begin());
  std::copy(data.begin(), data.end(), file.begin() + kWavHeaderSize);
  const std::uint32_t riffSize = LoadLe32(&file[4]);
  if (padded && riffSize < 0xFFFFFFFFu) StoreLe32(&file[4], riffSize + 1);
  return file;
}

}  // namespace tonvane
