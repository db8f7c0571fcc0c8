#include "recorder.h"

#include "asio_sample_types.h"
#include "base/wav_writer.h"

namespace tonvane::vasio {

int BytesPerSample(std::int32_t sampleType) {
  const TAsioSampleTypeInfo* info = FindAsioSampleType(sampleType);
  return info ? info->Bytes : 4;
}

bool TRecorder::IsWav(std::int32_t sampleType) {
  return sampleType == ASIOSTInt16LSB || sampleType == ASIOSTInt24LSB || sampleType == ASIOSTInt32LSB;
}

std::unique_ptr<TRecorder> TRecorder::Create(const std::string& dir, std::int32_t channel,
                                             std::int32_t sampleType, double rate, bool append) {
  const bool wav = IsWav(sampleType);
  std::string path = dir;
  if (!path.empty() && path.back() != '\\' && path.back() != '/') path += '\\';
  path += "out" + std::to_string(channel) + (wav ? ".wav" : ".raw");
  const long header = wav ? static_cast<long>(kWavHeaderSize) : 0;
  if (append) {
    if (std::FILE* file = std::fopen(path.c_str(), "r+b")) {
      std::fseek(file, 0, SEEK_END);
      const long size = std::ftell(file);
      std::unique_ptr<TRecorder> recorder(new TRecorder(file, wav, BytesPerSample(sampleType)));
      recorder->dataBytes_ = size > header ? static_cast<std::uint64_t>(size - header) : 0;
      return recorder;
    }
  }
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
  const TPcmFormat format{.Channels = 1,
                          .Rate = static_cast<std::uint32_t>(rate + 0.5),
                          .Bits = static_cast<std::uint16_t>(bytesPerSample_ * 8)};
  const auto header = WavHeader(format, dataBytes_);
  std::fseek(file_, 0, SEEK_SET);
  std::fwrite(header.data(), 1, header.size(), file_);
  std::fseek(file_, 0, SEEK_END);
}

}  // namespace tonvane::vasio
