// The play command's format checks: the first fault found, in the order the command
// has always reported them, with the rate message filled in.
#include <gtest/gtest.h>

#include <cfenv>
#include <cmath>
#include <functional>
#include <limits>
#include <string>

#include "base/exception.h"
#include "commands/format_check.h"

namespace tonvane {
namespace {

WAVEFORMATEX Format(std::uint16_t tag, std::uint16_t channels, std::uint32_t rate, std::uint16_t bits) {
  return WAVEFORMATEX{
      tag,  channels, rate, rate * channels * bits / 8, static_cast<std::uint16_t>(channels * bits / 8),
      bits, 0};
}

// What CheckPlayFormat raises, or "" when the file plays.
std::string FaultOf(const WAVEFORMATEX& format, std::int32_t deviceRate) {
  try {
    CheckPlayFormat(format, deviceRate);
  } catch (const Exception& fault) {
    return fault.what();
  }
  return "";
}

TEST(CheckPlayFormat, AcceptsMono16BitPcmAtTheDeviceRateOnly) {
  EXPECT_EQ(FaultOf(Format(1, 1, 48000, 16), 48000), "");
  EXPECT_EQ(FaultOf(Format(1, 1, 44100, 16), 44100), "");
  EXPECT_EQ(FaultOf(Format(1, 1, 44100, 16), 48000), "Sample rate 44100 different to device setting 48000");
  EXPECT_EQ(FaultOf(Format(1, 1, 48000, 16), 96000), "Sample rate 48000 different to device setting 96000");
  EXPECT_EQ(FaultOf(Format(1, 1, 48000, 24), 48000), "Sound must have 16 bits/sample");
  EXPECT_EQ(FaultOf(Format(1, 2, 48000, 16), 48000), "Sound must be mono");
  EXPECT_EQ(FaultOf(Format(3, 1, 48000, 16), 48000), "Wave files must be in plain PCM format");
  EXPECT_EQ(FaultOf(Format(0xFFFE, 1, 48000, 16), 48000), "Wave files must be in plain PCM format");
}

TEST(CheckPlayFormat, ReportsTheFirstFaultOnly) {
  // Every fault at once: the format tag comes first, then channels, rate, bits.
  EXPECT_EQ(FaultOf(Format(3, 2, 44100, 8), 48000), "Wave files must be in plain PCM format");
  EXPECT_EQ(FaultOf(Format(1, 2, 44100, 8), 48000), "Sound must be mono");
  EXPECT_EQ(FaultOf(Format(1, 1, 44100, 8), 48000), "Sample rate 44100 different to device setting 48000");
  // A file without a frame opens as 0 Hz stereo: refused as stereo, not for its rate.
  EXPECT_EQ(FaultOf(Format(1, 2, 0, 16), 48000), "Sound must be mono");
  EXPECT_EQ(FaultOf(Format(1, 1, 0, 16), 48000), "Sample rate 0 different to device setting 48000");
}

// The two steps a Play and the probe judge with: a name that is no file, then a file
// the stream could not open, come before any fault of the format.
TEST(CheckPlayFormat, AMissingOrUnopenedFileIsRefusedBeforeItsFormat) {
  auto fault = [](const std::function<void()>& check) {
    try {
      check();
    } catch (const Exception& e) {
      return std::string(e.what());
    }
    return std::string();
  };
  const std::string missing = ::testing::TempDir() + "no-such-file.wav";
  EXPECT_EQ(fault([&] { CheckPlayFileExists(missing); }), "File does not exist");
  EXPECT_EQ(fault([&] { CheckPlayFileExists(::testing::TempDir()); }), "File does not exist") << "a folder";
  const WAVEFORMATEX bad = Format(3, 2, 44100, 8);
  EXPECT_EQ(fault([&] { CheckOpenedForPlay(false, bad, 48000); }), "File has unknown format");
  EXPECT_EQ(fault([&] { CheckOpenedForPlay(true, bad, 48000); }), "Wave files must be in plain PCM format");
  EXPECT_EQ(fault([&] { CheckOpenedForPlay(true, Format(1, 1, 48000, 16), 48000); }), "");
}

// A clock that runs a hair slow or fast still counts as its nominal rate, also when
// a driver has left the thread's floating-point unit rounding some other way.
TEST(WholeRate, IsTheNearestWholeNumberInAnyRoundingDirection) {
  const int previous = std::fegetround();
  for (const int direction : {FE_TONEAREST, FE_TOWARDZERO, FE_DOWNWARD, FE_UPWARD}) {
    ASSERT_EQ(std::fesetround(direction), 0);
    SCOPED_TRACE(direction);
    EXPECT_EQ(WholeRate(47999.6), 48000);
    EXPECT_EQ(WholeRate(48000.4), 48000);
    EXPECT_EQ(WholeRate(44099.5), 44100);
    EXPECT_EQ(WholeRate(44100.0), 44100);
    EXPECT_EQ(WholeRate(96000.49), 96000);
  }
  std::fesetround(previous);
  EXPECT_EQ(FaultOf(Format(1, 1, 48000, 16), WholeRate(47999.6)), "");
  // Nothing a 32-bit rate can hold: no file's rate matches it.
  EXPECT_EQ(WholeRate(std::numeric_limits<double>::quiet_NaN()), 0);
  EXPECT_EQ(WholeRate(1e12), 0);
  EXPECT_EQ(WholeRate(-1e12), 0);
  EXPECT_EQ(WholeRate(0.0), 0);
}

}  // namespace
}  // namespace tonvane
