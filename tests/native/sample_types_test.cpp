#include "playback/sample_types.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <vector>

namespace tonvane {
namespace {

using Bytes = std::vector<std::uint8_t>;

// Writes the samples into a buffer filled with 0xEE and returns what the writer
// touched, checking that the position moved by exactly that much.
Bytes Written(std::int32_t type, std::initializer_list<std::int16_t> samples) {
  std::array<std::uint8_t, 64> buffer;
  buffer.fill(0xEE);
  std::uint8_t* pos = buffer.data();
  for (auto s : samples) WriteSample(type, pos, s);
  const auto n = static_cast<std::size_t>(pos - buffer.data());
  for (std::size_t i = n; i < buffer.size(); ++i) EXPECT_EQ(buffer[i], 0xEE) << "wrote past its position";
  return Bytes(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(n));
}

TEST(WriteSample, PlacesTheSampleInTheTopSixteenBitsOfEveryIntegerType) {
  EXPECT_EQ(Written(ASIOSTInt16MSB, {0x1234}), (Bytes{0x12, 0x34}));
  EXPECT_EQ(Written(ASIOSTInt24MSB, {0x1234}), (Bytes{0x12, 0x34, 0x00}));
  EXPECT_EQ(Written(ASIOSTInt32MSB, {0x1234}), (Bytes{0x12, 0x34, 0x00, 0x00}));
  EXPECT_EQ(Written(ASIOSTInt16LSB, {0x1234}), (Bytes{0x34, 0x12}));
  EXPECT_EQ(Written(ASIOSTInt24LSB, {0x1234}), (Bytes{0x00, 0x34, 0x12}));
  EXPECT_EQ(Written(ASIOSTInt32LSB, {0x1234}), (Bytes{0x00, 0x00, 0x34, 0x12}));
  EXPECT_EQ(Written(ASIOSTInt24LSB, {-2}), (Bytes{0x00, 0xFE, 0xFF}));
  EXPECT_EQ(Written(ASIOSTInt16MSB, {-32768, 32767}), (Bytes{0x80, 0x00, 0x7F, 0xFF}));
  EXPECT_EQ(Written(ASIOSTInt32LSB, {1, -1}), (Bytes{0, 0, 0x01, 0x00, 0, 0, 0xFF, 0xFF}));
}

TEST(WriteSample, WritesNothingForTypesItCannotWrite) {
  for (std::int32_t type : {3, 4, 5, 8, 9, 10, 11, 19, 20, 24, 25, 26, 27, -1, 1000}) {
    EXPECT_TRUE(Written(type, {0x1234, -1}).empty()) << type;
    EXPECT_FALSE(SampleTypeSupported(type)) << type;
  }
  for (std::int32_t type : {0, 1, 2, 16, 17, 18}) EXPECT_TRUE(SampleTypeSupported(type)) << type;
}

TEST(SampleTypeName, NamesEveryCodeAndNumbersTheRest) {
  EXPECT_EQ(SampleTypeName(0), "Int16 MSB");
  EXPECT_EQ(SampleTypeName(11), "Int32 MSB24");
  EXPECT_EQ(SampleTypeName(17), "Int24 LSB");
  EXPECT_EQ(SampleTypeName(19), "Float32 LSB");
  EXPECT_EQ(SampleTypeName(20), "Float64 LSB");
  EXPECT_EQ(SampleTypeName(27), "Int32 LSB24");
  EXPECT_EQ(SampleTypeName(5), "Unknown (5)");
  EXPECT_EQ(SampleTypeName(-1), "Unknown (-1)");
  EXPECT_EQ(SampleTypeName(INT32_MIN), "Unknown (-2147483648)");
  int named = 0;
  for (int code = -5; code < 40; ++code)
    if (SampleTypeName(code).rfind("Unknown", 0) != 0) ++named;
  EXPECT_EQ(named, 18);
}

}  // namespace
}  // namespace tonvane
