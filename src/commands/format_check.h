#pragma once

#include <cstdint>
#include <string>

#include "audio/audio_stream.h"

namespace tonvane {

// What the play command refuses in an opened file's format, in the order it looks:
// the message of the first fault, or an empty string when the file can play on a
// device running at deviceRate Hz (the driver's rate rounded to a whole number).
// A file that does not open at all is the caller's "File has unknown format".
std::string CheckPlayFormat(const WAVEFORMATEX& format, std::int32_t deviceRate);

}  // namespace tonvane
