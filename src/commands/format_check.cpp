#include "commands/format_check.h"

#include <cmath>
#include <cstdio>

#include "base/exception.h"
#include "base/file_exists.h"

namespace tonvane {

const char kFileDoesNotExist[] = "File does not exist";
const char kUnknownFormat[] = "File has unknown format";
const char kDeviceStopped[] = "ASIO device stopped";

void CheckPlayFileExists(const std::string& fileName) {
  if (!FileExists(fileName)) throw Exception(kFileDoesNotExist);
}

void CheckOpenedForPlay(bool opened, const WAVEFORMATEX& format, std::int32_t deviceRate) {
  if (!opened) throw Exception(kUnknownFormat);
  CheckPlayFormat(format, deviceRate);
}

void CheckPlayFormat(const WAVEFORMATEX& format, std::int32_t deviceRate) {
  if (format.wFormatTag != 1) throw Exception("Wave files must be in plain PCM format");
  if (format.nChannels != 1) throw Exception("Sound must be mono");
  if (format.nSamplesPerSec != static_cast<std::uint32_t>(deviceRate)) {
    char text[96];
    // Both numbers as the 32-bit signed values the message has always shown.
    std::snprintf(text, sizeof text, "Sample rate %d different to device setting %d",
                  static_cast<int>(static_cast<std::int32_t>(format.nSamplesPerSec)),
                  static_cast<int>(deviceRate));
    throw Exception(text);
  }
  if (format.wBitsPerSample != 16) throw Exception("Sound must have 16 bits/sample");
}

std::int32_t WholeRate(double rate) {
  // std::round ignores the current rounding direction, which a driver may change.
  const double whole = std::round(rate);
  if (!(whole >= -2147483648.0 && whole <= 2147483647.0)) return 0;
  return static_cast<std::int32_t>(whole);
}

}  // namespace tonvane
