// The play command's format checks: the first fault found, in the order the command
// has always reported them, with the rate message filled in.
#include <gtest/gtest.h>

#include "commands/format_check.h"

namespace tonvane {
namespace {

WAVEFORMATEX Format(std::uint16_t tag, std::uint16_t channels, std::uint32_t rate, std::uint16_t bits) {
  return WAVEFORMATEX{
      tag,  channels, rate, rate * channels * bits / 8, static_cast<std::uint16_t>(channels * bits / 8),
      bits, 0};
}

TEST(CheckPlayFormat, AcceptsMono16BitPcmAtTheDeviceRateOnly) {
  EXPECT_EQ(CheckPlayFormat(Format(1, 1, 48000, 16), 48000), "");
  EXPECT_EQ(CheckPlayFormat(Format(1, 1, 44100, 16), 44100), "");
  EXPECT_EQ(CheckPlayFormat(Format(1, 1, 44100, 16), 48000),
            "Sample rate 44100 different to device setting 48000");
  EXPECT_EQ(CheckPlayFormat(Format(1, 1, 48000, 16), 96000),
            "Sample rate 48000 different to device setting 96000");
  EXPECT_EQ(CheckPlayFormat(Format(1, 1, 48000, 24), 48000), "Sound must have 16 bits/sample");
  EXPECT_EQ(CheckPlayFormat(Format(1, 2, 48000, 16), 48000), "Sound must be mono");
  EXPECT_EQ(CheckPlayFormat(Format(3, 1, 48000, 16), 48000), "Wave files must be in plain PCM format");
  EXPECT_EQ(CheckPlayFormat(Format(0xFFFE, 1, 48000, 16), 48000), "Wave files must be in plain PCM format");
}

TEST(CheckPlayFormat, ReportsTheFirstFaultOnly) {
  // Every fault at once: the format tag comes first, then channels, rate, bits.
  EXPECT_EQ(CheckPlayFormat(Format(3, 2, 44100, 8), 48000), "Wave files must be in plain PCM format");
  EXPECT_EQ(CheckPlayFormat(Format(1, 2, 44100, 8), 48000), "Sound must be mono");
  EXPECT_EQ(CheckPlayFormat(Format(1, 1, 44100, 8), 48000),
            "Sample rate 44100 different to device setting 48000");
  // A file without a frame opens as 0 Hz stereo: refused as stereo, not for its rate.
  EXPECT_EQ(CheckPlayFormat(Format(1, 2, 0, 16), 48000), "Sound must be mono");
  EXPECT_EQ(CheckPlayFormat(Format(1, 1, 0, 16), 48000), "Sample rate 0 different to device setting 48000");
}

}  // namespace
}  // namespace tonvane
