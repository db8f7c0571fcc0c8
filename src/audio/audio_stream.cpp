#include "audio/audio_stream.h"

#include <cstring>
#include <optional>

#include "base/ascii.h"

namespace tonvane {
namespace {

std::optional<TAudioStream::TKind> KindOf(const std::string& fileName) {
  if (HasExtension(fileName, ".wav")) return TAudioStream::TKind::Wave;
  if (HasExtension(fileName, ".mp3")) return TAudioStream::TKind::Mp3;
  return std::nullopt;
}

}  // namespace

TAudioStream::~TAudioStream() { Close(); }

bool TAudioStream::Open(const std::string& fileName, WAVEFORMATEX& format) {
  Close();
  std::memset(&format, 0, sizeof format);
  const auto kind = KindOf(fileName);
  if (!kind) return false;
  // Without its decoder an MP3 file is not worth opening; the library is tried
  // first, whether or not the file is there.
  if (*kind == TKind::Mp3 && !TMp3Reader::LoadDecoder()) return false;
  auto source = OpenFileSource(fileName);
  if (!source) return false;
  return Open(std::move(source), *kind, format);
}

bool TAudioStream::Open(std::unique_ptr<IByteSource> source, TKind kind, WAVEFORMATEX& format) {
  Close();
  std::memset(&format, 0, sizeof format);
  const bool opened = kind == TKind::Wave ? wave_.Open(std::move(source), format, dataStart_, dataLength_)
                                          : mp3_.Open(std::move(source), format, dataStart_, dataLength_);
  if (opened) bytesRead_.store(0, std::memory_order_relaxed);
  return opened;
}

std::int32_t TAudioStream::Read(void* buffer, std::int32_t count) {
  if (count <= 0) return 0;
  std::int32_t result = 0;
  if (wave_.IsOpen()) {
    result = wave_.Read(static_cast<std::uint8_t*>(buffer), count);
  } else if (mp3_.IsOpen()) {
    result = mp3_.Read(static_cast<std::uint8_t*>(buffer), count);
  }
  if (result > 0)
    bytesRead_.store(bytesRead_.load(std::memory_order_relaxed) + result, std::memory_order_relaxed);
  return result;
}

void TAudioStream::Close() {
  wave_.Close();
  mp3_.Close();
}

}  // namespace tonvane
