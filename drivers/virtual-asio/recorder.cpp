#include "recorder.h"

#include <cstring>

namespace tonvane::vasio {
namespace {

void Put16(std::uint8_t* p, std::uint32_t v) {
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
}
void Put32(std::uint8_t* p, std::uint32_t v) {
  Put16(p, v & 0xFFFF);
  Put16(p + 2, v >> 16);
}

constexpr long kWavHeaderSize = 44;

}  // namespace

int BytesPerSample(std::int32_t sampleType) {
  switch (sampleType) {
    case 0:   // Int16 MSB
    case 16:  // Int16 LSB
      return 2;
    case 1:   // Int24 MSB
    case 17:  // Int24 LSB
      return 3;
    case 4:   // Float64 MSB
    case 20:  // Float64 LSB
      return 8;
    default:
      return 4;
  }
}

bool TRecorder::IsWav(std::int32_t sampleType) {
  return sampleType == 16 || sampleType == 17 || sampleType == 18;
}

std::unique_ptr<TRecorder> TRecorder::Create(const std::string& dir, std::int32_t channel,
                                             std::int32_t sampleType, double rate) {
  const bool wav = IsWav(sampleType);
  std::string path = dir;
  if (!path.empty() && path.back() != '\\' && path.back() != '/') path += '\\';
  path += "out" + std::to_string(channel) + (wav ? ".wav" : ".raw");
  std::FILE* file = std::fopen(path.c_str(), "w+b");
  if (file == nullptr) return nullptr;
  std::unique_ptr<TRecorder> recorder(new TRecorder(file, wav, BytesPerSample(sampleType)));
  if (wav) recorder->WriteHeader(rate);
  return recorder;
}

TRecorder::~TRecorder() { std::fclose(file_); }

void TRecorder::Write(const std::uint8_t* bytes, std::size_t count) {
  dataBytes_ += std::fwrite(bytes, 1, count, file_);
}

void TRecorder::Finish(double rate) {
  if (wav_) WriteHeader(rate);
  std::fflush(file_);
}

void TRecorder::WriteHeader(double rate) {
  const auto sampleRate = static_cast<std::uint32_t>(rate + 0.5);
  const auto align = static_cast<std::uint32_t>(bytesPerSample_);
  // Sizes beyond 4 GB cannot be told; the data is still all there.
  const auto data = static_cast<std::uint32_t>(dataBytes_ > 0xFFFFFFFFu - 36 ? 0xFFFFFFFFu - 36 : dataBytes_);
  std::uint8_t h[kWavHeaderSize];
  std::memcpy(h, "RIFF", 4);
  Put32(h + 4, 36 + data);
  std::memcpy(h + 8, "WAVEfmt ", 8);
  Put32(h + 16, 16);
  Put16(h + 20, 1);  // PCM
  Put16(h + 22, 1);  // mono
  Put32(h + 24, sampleRate);
  Put32(h + 28, sampleRate * align);
  Put16(h + 32, align);
  Put16(h + 34, align * 8);
  std::memcpy(h + 36, "data", 4);
  Put32(h + 40, data);
  std::fseek(file_, 0, SEEK_SET);
  std::fwrite(h, 1, sizeof h, file_);
  std::fseek(file_, 0, SEEK_END);
}

}  // namespace tonvane::vasio
