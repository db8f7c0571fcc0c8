#pragma once

// One output channel's recording: every buffer half the host filled, in the order
// the driver played them, byte for byte. Little-endian integer types (Int16, Int24
// and Int32 LSB) go into a mono PCM WAV file whose sizes are brought up to date
// at every Finish; every other type into a raw file of the buffer bytes alone.

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

namespace tonvane::vasio {

class TRecorder {
 public:
  // Creates (truncates) dir\out<channel>.wav or .raw, or with append carries on the
  // one already there, so that the recordings of several driver objects join into
  // one; nullptr when it cannot.
  static std::unique_ptr<TRecorder> Create(const std::string& dir, std::int32_t channel,
                                           std::int32_t sampleType, double rate, bool append = false);
  ~TRecorder();
  TRecorder(const TRecorder&) = delete;
  TRecorder& operator=(const TRecorder&) = delete;

  // Called on the driver's thread only, between start and stop.
  void Write(const std::uint8_t* bytes, std::size_t count);
  // Writes the header's sizes and flushes, so the file is complete on disk.
  void Finish(double rate);

  static bool IsWav(std::int32_t sampleType);

 private:
  TRecorder(std::FILE* file, bool wav, int bytesPerSample)
      : file_(file), wav_(wav), bytesPerSample_(bytesPerSample) {}
  void WriteHeader(double rate);

  std::FILE* file_;
  bool wav_;
  int bytesPerSample_;
  std::uint64_t dataBytes_ = 0;
};

// Bytes of one sample of an ASIO sample type; 4 for codes the standard does not have.
int BytesPerSample(std::int32_t sampleType);

}  // namespace tonvane::vasio
