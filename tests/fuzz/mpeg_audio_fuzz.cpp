// Any bytes: the analysis must not crash, hang or read outside its blocks, and what
// it reports must describe a frame it really accepted.
#include <cmath>
#include <cstdint>
#include <cstdlib>

#include "audio/byte_source.h"
#include "audio/mpeg_audio.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  tonvane::TMemorySource source(data, size);
  tonvane::TMPEGaudio mpeg;
  const bool analysed = mpeg.Analyse(source);
  if (size < 128 && analysed) std::abort();
  const auto& frame = mpeg.FrameInfo;
  const double duration = mpeg.Duration();
  const std::uint16_t bitRate = mpeg.BitRate();
  if (!std::isfinite(duration)) std::abort();
  if (!frame.Found) {
    if (mpeg.SampleRate() != 0 || mpeg.Mode() != tonvane::TChannelMode::Unknown || bitRate != 0 ||
        duration != 0 || mpeg.VbrInfo.Found || mpeg.ID3v2.TagFound)
      std::abort();
    return 0;
  }
  if (!tonvane::HeaderAcceptable(frame.HeaderBytes.data())) std::abort();
  if (frame.Position < 0 || frame.Position > 1729 || frame.Length < 24 || frame.Length > 1729) std::abort();
  if (mpeg.SampleRate() < 8000 || mpeg.Mode() == tonvane::TChannelMode::Unknown) std::abort();
  if (mpeg.FileSize != static_cast<std::int32_t>(size)) std::abort();
  if (mpeg.ID3v2.TagSize < 0 || mpeg.ID3v2.TagSize > mpeg.FileSize) std::abort();
  if (!mpeg.EncoderMarker.empty() && mpeg.EncoderMarker.compare(0, 4, "LAME") != 0 &&
      mpeg.EncoderMarker != "GOGO")
    std::abort();
  return 0;
}
