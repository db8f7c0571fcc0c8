#pragma once

// What a Play of a file that opened would really hand the driver: the stream read to
// its end, as a feeder reads it, and compared with what the file promised (a WAV
// file's header, an MP3 file's analysis). A file cut short by an interrupted copy, or
// an MP3 file whose frames do not decode, opens like a good one: only this tells them
// apart.

#include <cstdint>
#include <string>

#include "audio/audio_stream.h"

namespace tonvane {

struct TPlayThrough {
  std::uint64_t Bytes = 0;     // PCM bytes the stream gave
  std::uint32_t Promised = 0;  // PCM bytes the file said it holds (DataLength)
  // Empty when the file plays cleanly; otherwise what goes wrong, in plain words.
  std::string Fault;
};

// Reads the open stream to its end. mp3File: the MP3 file the stream decodes (empty
// for a WAV file), whose length is an estimate and so is allowed some slack, and
// whose frames are walked from the first to the last: where the next frame is not
// where the one before says, bytes that do not decode stand between them.
TPlayThrough PlayThrough(TAudioStream& stream, const std::string& mp3File, std::uint32_t bytesPerSecond);

// The places in an MP3 file where the chain of frames breaks and later takes up
// again: damaged or foreign bytes between frames. Trailing bytes (a tag) are none.
int FrameBreaks(IByteSource& source);

// "plays 1.0 s of 3.0 s: <fault>"
std::string DescribePlayThrough(const TPlayThrough& result, std::uint32_t bytesPerSecond);

}  // namespace tonvane
