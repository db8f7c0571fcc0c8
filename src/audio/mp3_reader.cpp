#include "audio/mp3_reader.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "audio/mpeg_audio.h"
#include "base/dynamic_library.h"
#include "mp3dec.h"

namespace tonvane {
namespace {

constexpr std::size_t kDecoderStateSize = MP3DEC_STATE_SIZE;
constexpr std::int32_t kInputBlockSize = 1024;
constexpr std::int32_t kOutputBlockSize = 16384;

#ifdef _WIN32
constexpr char kDecoderLibrary[] = "mp3dec.dll";
#else
constexpr char kDecoderLibrary[] = "libmp3dec.so";
#endif

// decodeMP3's answers. Only Ok asks for anything (take the output, call again);
// the others say why nothing more comes from the input given so far, and either
// way the next block is fed.
enum class TDecodeStatus : std::int32_t {
  Ok = MP3DEC_OK,
  NeedMore = MP3DEC_NEED_MORE,
  Error = MP3DEC_ERROR,
};

struct TMp3Decoder {
  std::unique_ptr<IDynamicLibrary> library;
  InitMP3Func init = nullptr;
  ExitMP3Func exit = nullptr;
  DecodeMP3Func decode = nullptr;

  TDecodeStatus Decode(void* state, const void* in, std::int32_t inSize, void* out,
                       std::int32_t& produced) const {
    return static_cast<TDecodeStatus>(decode(state, in, inSize, out, kOutputBlockSize, &produced));
  }
};

TMp3Decoder& Decoder() {
  static TMp3Decoder decoder;
  return decoder;
}

}  // namespace

const char* TMp3Reader::LibraryName() { return kDecoderLibrary; }

bool TMp3Reader::LoadDecoder() { return LoadDecoder(kDecoderLibrary); }

bool TMp3Reader::LoadDecoder(const std::string& library) {
  TMp3Decoder& d = Decoder();
  if (!d.library) {
    d.library = LoadDynamicLibrary(library);
    if (!d.library) return false;
    d.init = reinterpret_cast<InitMP3Func>(d.library->Symbol("InitMP3"));
    d.exit = reinterpret_cast<ExitMP3Func>(d.library->Symbol("ExitMP3"));
    d.decode = reinterpret_cast<DecodeMP3Func>(d.library->Symbol("decodeMP3"));
  }
  return d.init && d.exit && d.decode;
}

TMp3Reader::TMp3Reader() {
  // Room for what one input block decodes to at the highest expansion (32 kbit/s
  // stereo at 48 kHz), so refills on a feeder thread do not reallocate.
  decoded_.reserve(64 * 1024);
}

TMp3Reader::~TMp3Reader() { Close(); }

bool TMp3Reader::Open(std::unique_ptr<IByteSource> source, WAVEFORMATEX& format, std::uint32_t& dataStart,
                      std::atomic<std::uint32_t>& dataLength) {
  Close();
  if (!LoadDecoder() || !source) return false;
  {
    TMPEGaudio analyser;
    if (!analyser.Analyse(*source)) return false;
    format.wFormatTag = 1;
    format.wBitsPerSample = 16;
    format.nSamplesPerSec = analyser.SampleRate();
    format.nChannels = analyser.Mode() == TChannelMode::Mono ? 1 : 2;
    format.nBlockAlign = static_cast<std::uint16_t>(format.nChannels * 2);
    format.nAvgBytesPerSec = format.nSamplesPerSec * format.nChannels * 2;
    format.cbSize = 18;
    const double bytes = analyser.Duration() * format.nAvgBytesPerSec;
    // Only the low 32 bits are kept, as the progress display expects.
    dataLength.store(
        bytes > 0 && bytes < 1.8e19 ? static_cast<std::uint32_t>(static_cast<std::uint64_t>(bytes)) : 0,
        std::memory_order_relaxed);
    dataStart = analyser.ID3v2.TagFound ? static_cast<std::uint32_t>(analyser.ID3v2.TagSize) : 0;
  }
  if (!source->Seek(dataStart)) return false;
  decoded_.clear();
  decodedPos_ = 0;
  fedBytes_ = 0;
  dataStart_ = dataStart;
  reposition_ = false;
  decoderState_ = std::make_unique<std::uint8_t[]>(kDecoderStateSize);
  if (!Decoder().init(decoderState_.get())) {
    decoderState_.reset();  // never initialised: no ExitMP3 for it
    return false;
  }
  source_ = std::move(source);
  return true;
}

std::int32_t TMp3Reader::Read(std::uint8_t* buffer, std::int32_t count) {
  std::int32_t copied = 0;
  std::uint32_t budget = kMaxFeedPerRead;
  while (copied < count) {
    if (decodedPos_ >= decoded_.size()) {
      const TRefill refill = RefillDecoded(budget);
      if (refill == TRefill::Ended) break;
      if (refill == TRefill::NotYet) return copied > 0 ? copied : kNotYet;
      if (refill == TRefill::Failed) return copied > 0 ? copied : kReadError;
    }
    const auto take =
        std::min<std::size_t>(static_cast<std::size_t>(count - copied), decoded_.size() - decodedPos_);
    std::memcpy(buffer + copied, decoded_.data() + decodedPos_, take);
    decodedPos_ += static_cast<std::uint32_t>(take);
    copied += static_cast<std::int32_t>(take);
  }
  return copied;
}

// Decodes the next input blocks until some PCM comes out, the source ends, or the
// Read's share of input is used up: a frame can be longer than one block (320 kbit/s
// at 44.1 kHz), and a block that yields nothing must not be taken for the end of the
// sound; but a long stretch without frames must not hold up the caller, a feeder
// thread that has other channels to serve, so the rest of it waits for later calls.
TMp3Reader::TRefill TMp3Reader::RefillDecoded(std::uint32_t& budget) {
  std::uint8_t input[kInputBlockSize];
  std::uint8_t output[kOutputBlockSize];
  decoded_.clear();
  decodedPos_ = 0;
  const TMp3Decoder& decoder = Decoder();
  while (decoded_.empty()) {
    if (budget < kInputBlockSize) return TRefill::NotYet;
    if (reposition_) {
      if (!source_->Seek(static_cast<std::int64_t>(dataStart_ + fedBytes_))) return TRefill::Failed;
      reposition_ = false;
    }
    const std::int32_t n = source_->Read(input, kInputBlockSize);
    if (n < 0) {
      reposition_ = true;
      return TRefill::Failed;
    }
    if (n == 0) return TRefill::Ended;
    budget -= kInputBlockSize;
    fedBytes_ += static_cast<std::uint64_t>(n);
    std::int32_t produced = 0;
    TDecodeStatus status = decoder.Decode(decoderState_.get(), input, n, output, produced);
    while (status == TDecodeStatus::Ok) {
      if (produced > 0) {
        const auto take = static_cast<std::size_t>(std::min(produced, kOutputBlockSize));
        decoded_.insert(decoded_.end(), output, output + take);
      }
      status = decoder.Decode(decoderState_.get(), nullptr, 0, output, produced);
    }
  }
  return TRefill::Decoded;
}

void TMp3Reader::Close() {
  source_.reset();
  decoded_.clear();
  decodedPos_ = 0;
  if (decoderState_) {
    Decoder().exit(decoderState_.get());
    decoderState_.reset();
  }
}

}  // namespace tonvane
