#include "audio/audio_stream.h"

#include <algorithm>
#include <cstring>

#include "audio/mpeg_audio.h"
#include "audio/riff_chunks.h"
#include "base/dynamic_library.h"
#include "mp3dec.h"

namespace tonvane {
namespace {

constexpr std::size_t kWaveBlockSize = 16384;
constexpr std::size_t kDecoderStateSize = MP3DEC_STATE_SIZE;
constexpr std::int32_t kInputBlockSize = 1024;
constexpr std::int32_t kOutputBlockSize = 16384;

#ifdef _WIN32
constexpr char kDecoderLibrary[] = "mp3dec.dll";
#else
constexpr char kDecoderLibrary[] = "libmp3dec.so";
#endif

// The decoder library, loaded on the first MP3 open and kept for the life of the
// process (of the plug-in, on Windows). A library that did not load is tried again
// at the next open; one that loaded without its three entry points is not.
struct Mp3Decoder {
  std::unique_ptr<TDynamicLibrary> library;
  InitMP3Func init = nullptr;
  ExitMP3Func exit = nullptr;
  DecodeMP3Func decode = nullptr;
};

Mp3Decoder& Decoder() {
  static Mp3Decoder decoder;
  return decoder;
}

bool LoadMp3Decoder() {
  Mp3Decoder& d = Decoder();
  if (!d.library) {
    d.library = LoadDynamicLibrary(kDecoderLibrary);
    if (!d.library) return false;
    d.init = reinterpret_cast<InitMP3Func>(d.library->Symbol("InitMP3"));
    d.exit = reinterpret_cast<ExitMP3Func>(d.library->Symbol("ExitMP3"));
    d.decode = reinterpret_cast<DecodeMP3Func>(d.library->Symbol("decodeMP3"));
  }
  return d.init && d.exit && d.decode;
}

std::string UpperExtension(const std::string& fileName) {
  const auto dot = fileName.find_last_of('.');
  const auto slash = fileName.find_last_of("\\/:");
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
  std::string ext = fileName.substr(dot);
  std::transform(ext.begin(), ext.end(), ext.begin(),
                 [](char c) { return c >= 'a' && c <= 'z' ? c - 32 : c; });
  return ext;
}

}  // namespace

TAudioStream::TAudioStream() : waveBlock_(kWaveBlockSize) {
  // Room for what one input block decodes to at the highest expansion (32 kbit/s
  // stereo at 48 kHz), so refills on the driver's thread do not reallocate.
  decodedBuffer_.reserve(64 * 1024);
}

TAudioStream::~TAudioStream() { Close(); }

bool TAudioStream::Open(const std::string& fileName, WAVEFORMATEX& format) {
  Close();
  std::memset(&format, 0, sizeof format);
  const std::string ext = UpperExtension(fileName);
  bool opened = false;
  if (ext == ".WAV") {
    opened = OpenWave(fileName, format);
  } else if (ext == ".MP3") {
    opened = OpenMp3(fileName, format);
  }
  if (opened) bytesRead_.store(0, std::memory_order_relaxed);
  return opened;
}

bool TAudioStream::OpenWave(const std::string& fileName, WAVEFORMATEX& format) {
  wave_ = OpenRiffSource(fileName);
  if (!wave_) return false;
  TRiffChunk riff, fmt, data;
  const bool ok = [&] {
    if (!DescendRiff(*wave_, FourCC("WAVE"), riff)) return false;
    if (!DescendChunk(*wave_, FourCC("fmt "), riff, fmt)) return false;
    // A 16-byte "fmt " chunk leaves cbSize holding the two bytes that follow it.
    if (wave_->Read(&format, sizeof format) < 0) return false;
    if (!Ascend(*wave_, fmt)) return false;
    if (format.wFormatTag != 1 || format.nAvgBytesPerSec == 0) return false;
    if (!DescendChunk(*wave_, FourCC("data"), riff, data)) return false;
    if (data.Size <= 4) return false;
    const std::int32_t start = wave_->Tell();
    if (start < 0) return false;
    dataStart_ = static_cast<std::uint32_t>(start);
    // The last four bytes of the data chunk are never handed out.
    dataLength_.store(data.Size - 4, std::memory_order_relaxed);
    wavePos_ = dataStart_;
    waveBlockPos_ = waveBlockFill_ = 0;
    return true;
  }();
  if (!ok) wave_.reset();
  return ok;
}

bool TAudioStream::OpenMp3(const std::string& fileName, WAVEFORMATEX& format) {
  if (!LoadMp3Decoder()) return false;
  {
    TMPEGaudio analyser;
    if (!analyser.Analyse(fileName)) return false;
    format.wFormatTag = 1;
    format.wBitsPerSample = 16;
    format.nSamplesPerSec = analyser.SampleRate();
    format.nChannels = analyser.ChannelMode() == "Mono" ? 1 : 2;
    format.nBlockAlign = static_cast<std::uint16_t>(format.nChannels * 2);
    format.nAvgBytesPerSec = format.nSamplesPerSec * format.nChannels * 2;
    format.cbSize = 18;
    const double bytes = analyser.Duration() * format.nAvgBytesPerSec;
    // Only the low 32 bits are kept, as the progress display expects.
    dataLength_.store(
        bytes > 0 && bytes < 1.8e19 ? static_cast<std::uint32_t>(static_cast<std::uint64_t>(bytes)) : 0,
        std::memory_order_relaxed);
    dataStart_ = analyser.ID3v2.TagFound ? static_cast<std::uint32_t>(analyser.ID3v2.TagSize) : 0;
  }
  mp3File_ = std::fopen(fileName.c_str(), "rb");
  if (!mp3File_) return false;
  if (std::fseek(mp3File_, static_cast<long>(dataStart_), SEEK_SET) != 0) {
    CloseMp3();
    return false;
  }
  decodedBuffer_.clear();
  decodedPos_ = 0;
  fedBytes_ = 0;
  decoderState_ = std::make_unique<std::uint8_t[]>(kDecoderStateSize);
  if (!Decoder().init(decoderState_.get())) {
    decoderState_.reset();  // never initialised: no ExitMP3 for it
    CloseMp3();
    return false;
  }
  return true;
}

std::int32_t TAudioStream::Read(void* buffer, std::int32_t count) {
  if (count <= 0) return 0;
  std::int32_t result = 0;
  if (wave_) {
    result = ReadWave(static_cast<std::uint8_t*>(buffer), count);
  } else if (mp3File_) {
    result = ReadMp3(static_cast<std::uint8_t*>(buffer), count);
  }
  if (result > 0)
    bytesRead_.store(bytesRead_.load(std::memory_order_relaxed) + result, std::memory_order_relaxed);
  return result;
}

std::int32_t TAudioStream::ReadWave(std::uint8_t* buffer, std::int32_t count) {
  const std::uint64_t end = std::uint64_t{dataStart_} + DataLength();
  std::int32_t copied = 0;
  while (copied < count && wavePos_ < end) {
    if (waveBlockPos_ == waveBlockFill_) {
      const auto want = static_cast<std::int32_t>(std::min<std::uint64_t>(waveBlock_.size(), end - wavePos_));
      const std::int32_t n = wave_->Read(waveBlock_.data(), want);
      if (n < 0) return copied > 0 ? copied : 0;
      if (n == 0) break;
      waveBlockPos_ = 0;
      waveBlockFill_ = static_cast<std::uint32_t>(n);
    }
    const auto take =
        std::min<std::uint32_t>(static_cast<std::uint32_t>(count - copied), waveBlockFill_ - waveBlockPos_);
    std::memcpy(buffer + copied, waveBlock_.data() + waveBlockPos_, take);
    waveBlockPos_ += take;
    wavePos_ += take;
    copied += static_cast<std::int32_t>(take);
  }
  return copied;
}

std::int32_t TAudioStream::ReadMp3(std::uint8_t* buffer, std::int32_t count) {
  std::int32_t copied = 0;
  std::uint32_t budget = kMaxFeedPerRead;
  while (copied < count) {
    if (decodedPos_ >= decodedBuffer_.size()) {
      const TRefill refill = RefillDecoded(budget);
      if (refill == TRefill::Ended) break;
      if (refill == TRefill::NotYet) return copied > 0 ? copied : kNotYet;
    }
    const auto take =
        std::min<std::size_t>(static_cast<std::size_t>(count - copied), decodedBuffer_.size() - decodedPos_);
    std::memcpy(buffer + copied, decodedBuffer_.data() + decodedPos_, take);
    decodedPos_ += static_cast<std::uint32_t>(take);
    copied += static_cast<std::int32_t>(take);
  }
  return copied;
}

// Decodes the next input blocks until some PCM comes out, the file ends, or the
// Read's share of input is used up: a frame can be longer than one block (320 kbit/s
// at 44.1 kHz), and a block that yields nothing must not be taken for the end of the
// sound; but a long stretch without frames must not hold up the caller, which runs
// in the driver's callback, so the rest of it waits for later calls.
TAudioStream::TRefill TAudioStream::RefillDecoded(std::uint32_t& budget) {
  std::uint8_t input[kInputBlockSize];
  std::uint8_t output[kOutputBlockSize];
  decodedBuffer_.clear();
  decodedPos_ = 0;
  while (decodedBuffer_.empty()) {
    if (budget < kInputBlockSize) return TRefill::NotYet;
    const std::size_t n = std::fread(input, 1, sizeof input, mp3File_);
    if (n == 0) return TRefill::Ended;
    budget -= kInputBlockSize;
    fedBytes_ += n;
    std::int32_t produced = 0;
    std::int32_t status = Decoder().decode(decoderState_.get(), input, static_cast<std::int32_t>(n), output,
                                           kOutputBlockSize, &produced);
    while (status == 0) {
      if (produced > 0) {
        const auto take = static_cast<std::size_t>(std::min(produced, kOutputBlockSize));
        decodedBuffer_.insert(decodedBuffer_.end(), output, output + take);
      }
      status = Decoder().decode(decoderState_.get(), nullptr, 0, output, kOutputBlockSize, &produced);
    }
  }
  return TRefill::Decoded;
}

void TAudioStream::CloseMp3() {
  if (mp3File_) std::fclose(mp3File_);
  mp3File_ = nullptr;
  decodedBuffer_.clear();
  decodedPos_ = 0;
  if (decoderState_) {
    Decoder().exit(decoderState_.get());
    decoderState_.reset();
  }
}

void TAudioStream::Close() {
  wave_.reset();
  waveBlockPos_ = waveBlockFill_ = 0;
  CloseMp3();
}

}  // namespace tonvane
