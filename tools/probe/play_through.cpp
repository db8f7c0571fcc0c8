#include "play_through.h"

#include <cstdio>
#include <vector>

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

}  // namespace

TPlayThrough PlayThrough(TAudioStream& stream, bool mp3, std::uint32_t bytesPerSecond) {
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
  if (!mp3) {
    // A WAV file's header is exact: any byte missing is sound missing.
    if (result.Bytes < result.Promised) result.Fault = "the file is cut short";
    return result;
  }
  const double slack = kMp3SlackSeconds * bytesPerSecond;
  if (got + slack < promised) {
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
