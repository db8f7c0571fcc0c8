#include "play_through.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "audio/mpeg_audio.h"

namespace tonvane {
namespace {

// Reads that fail in a row before the probe gives up on a file: a feeder would try
// for as long as the channel plays, but a damaged sector does not mend itself.
constexpr int kReadAttempts = 3;
// An MP3 file's length comes from its bit rate and size (or its VBR header), so the
// decoder's delay, the encoder's padding and a header frame keep it from matching the
// samples exactly: by up to 0.08 s in the files lame and twolame make. Beyond this
// the analysis and the sound disagree: frames are missing or damaged. It does not
// grow with the length: a stretch lost in a long file is as loud a gap.
constexpr double kMp3SlackSeconds = 0.2;

std::string Seconds(std::uint64_t bytes, std::uint32_t bytesPerSecond) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f s",
                bytesPerSecond ? static_cast<double>(bytes) / bytesPerSecond : 0.0);
  return text;
}

// A source read forward in blocks, for a walk that looks at 4 bytes here and there.
class TBlockReader {
 public:
  explicit TBlockReader(IByteSource& source) : source_(source), block_(64 * 1024) {}
  // The 4 bytes at pos, or false past the end or on a read error.
  bool At(std::int64_t pos, std::uint8_t (&out)[4]) {
    if (pos < start_ || pos + 4 > start_ + fill_) {
      if (!source_.Seek(pos)) return false;
      const std::int32_t n = source_.Read(block_.data(), static_cast<std::int32_t>(block_.size()));
      start_ = pos;
      fill_ = n > 0 ? n : 0;
      if (fill_ < 4) return false;
    }
    std::copy_n(block_.data() + (pos - start_), 4, out);
    return true;
  }

 private:
  IByteSource& source_;
  std::vector<std::uint8_t> block_;
  std::int64_t start_ = 0;
  std::int64_t fill_ = 0;
};

// A frame of the stream the first frame began: its version, layer and rate.
bool SameStream(const std::uint8_t* header, const TFrameData& first) {
  TFrameData frame;
  DecodeHeader(header, frame);
  return HeaderAcceptable(header) && frame.VersionIndex == first.VersionIndex &&
         frame.LayerIndex == first.LayerIndex && frame.SampleRateIndex == first.SampleRateIndex;
}

}  // namespace

int FrameBreaks(IByteSource& source) {
  TMPEGaudio analyser;
  if (!analyser.Analyse(source) || !analyser.FrameInfo.Found) return 0;
  const std::int64_t size = source.Size();
  if (size < 0) return 0;
  const std::int64_t end = size - (analyser.ID3v1.TagFound ? 128 : 0);
  TBlockReader reader(source);
  std::uint8_t header[4];
  int breaks = 0;
  bool inFrames = false, lost = false;
  for (std::int64_t pos = analyser.ID3v2.TagFound ? analyser.ID3v2.TagSize : 0;
       pos + 4 <= end && reader.At(pos, header);) {
    if (SameStream(header, analyser.FrameInfo)) {
      breaks += lost;
      lost = false;
      inFrames = true;
      TFrameData frame;
      DecodeHeader(header, frame);
      const int length = FrameLength(frame);
      if (length <= 0) break;
      pos += length;
    } else {
      // Bytes before the first frame are the encoder's business; after it, a frame
      // was due here.
      lost = lost || inFrames;
      ++pos;
    }
  }
  return breaks;
}

TPlayThrough PlayThrough(TAudioStream& stream, const std::string& mp3File, std::uint32_t bytesPerSecond) {
  TPlayThrough result;
  result.Promised = stream.DataLength();
  std::vector<std::uint8_t> buffer(64 * 1024);
  int failures = 0;
  for (;;) {
    const std::int32_t n = stream.Read(buffer.data(), static_cast<std::int32_t>(buffer.size()));
    if (n == 0) break;
    if (n == TAudioStream::kNotYet) continue;
    if (n < 0) {
      if (++failures == kReadAttempts) {
        result.Fault = "the file cannot be read past that";
        return result;
      }
      continue;
    }
    failures = 0;
    result.Bytes += static_cast<std::uint64_t>(n);
  }
  const double promised = result.Promised;
  const double got = static_cast<double>(result.Bytes);
  if (mp3File.empty()) {
    // A WAV file's header is exact: any byte missing is sound missing.
    if (result.Bytes < result.Promised) result.Fault = "the file is cut short";
    return result;
  }
  const auto source = OpenFileSource(mp3File);
  const int breaks = source ? FrameBreaks(*source) : 0;
  const double slack = kMp3SlackSeconds * bytesPerSecond;
  if (breaks > 0) {
    result.Fault = "frames do not decode at " + std::to_string(breaks) +
                   (breaks == 1 ? " place" : " places") + " (a damaged file: a click or a gap at each)";
  } else if (got + slack < promised) {
    result.Fault = "frames are missing or do not decode (a damaged or cut-short file)";
  } else if (got > promised + slack) {
    result.Fault = "it plays longer than its frames say (a damaged file, or one joined from others)";
  }
  return result;
}

std::string DescribePlayThrough(const TPlayThrough& result, std::uint32_t bytesPerSecond) {
  return "plays " + Seconds(result.Bytes, bytesPerSecond) + " of " +
         Seconds(result.Promised, bytesPerSecond) + ": " + result.Fault;
}

}  // namespace tonvane
