#pragma once

#include <cstdint>
#include <string>

namespace tonvane {

// ASIO sample type codes (ASIOSampleType). The plug-in writes the integer types
// only, each carrying the 16-bit sample in its top 16 bits.
enum AsioSampleType : std::int32_t {
  ASIOSTInt16MSB = 0,
  ASIOSTInt24MSB = 1,
  ASIOSTInt32MSB = 2,
  ASIOSTFloat32MSB = 3,
  ASIOSTFloat64MSB = 4,
  ASIOSTInt32MSB16 = 8,
  ASIOSTInt32MSB18 = 9,
  ASIOSTInt32MSB20 = 10,
  ASIOSTInt32MSB24 = 11,
  ASIOSTInt16LSB = 16,
  ASIOSTInt24LSB = 17,
  ASIOSTInt32LSB = 18,
  ASIOSTFloat32LSB = 19,
  ASIOSTFloat64LSB = 20,
  ASIOSTInt32LSB16 = 24,
  ASIOSTInt32LSB18 = 25,
  ASIOSTInt32LSB20 = 26,
  ASIOSTInt32LSB24 = 27,
};

// True for the types WriteSample writes: Int16, Int24 and Int32, MSB and LSB.
constexpr bool SampleTypeSupported(std::int32_t type) {
  switch (type) {
    case ASIOSTInt16MSB:
    case ASIOSTInt24MSB:
    case ASIOSTInt32MSB:
    case ASIOSTInt16LSB:
    case ASIOSTInt24LSB:
    case ASIOSTInt32LSB:
      return true;
    default:
      return false;
  }
}

// The status bar's name of a type, "Unknown (<code>)" for codes not in the table.
std::string SampleTypeName(std::int32_t type);

// Writes one sample at pos in the given type and advances pos past it. A type that
// cannot be written leaves the buffer and pos alone. Runs once per sample per
// channel on the driver's thread: it only places bytes.
inline void WriteSample(std::int32_t type, std::uint8_t*& pos, std::int16_t sample) {
  const auto u = static_cast<std::uint16_t>(sample);
  const auto high = static_cast<std::uint8_t>(u >> 8);
  const auto low = static_cast<std::uint8_t>(u & 0xFF);
  switch (type) {
    case ASIOSTInt16MSB:
      pos[0] = high;
      pos[1] = low;
      pos += 2;
      break;
    case ASIOSTInt24MSB:
      pos[0] = high;
      pos[1] = low;
      pos[2] = 0;
      pos += 3;
      break;
    case ASIOSTInt32MSB:
      pos[0] = high;
      pos[1] = low;
      pos[2] = 0;
      pos[3] = 0;
      pos += 4;
      break;
    case ASIOSTInt16LSB:
      pos[0] = low;
      pos[1] = high;
      pos += 2;
      break;
    case ASIOSTInt24LSB:
      pos[0] = 0;
      pos[1] = low;
      pos[2] = high;
      pos += 3;
      break;
    case ASIOSTInt32LSB:
      pos[0] = 0;
      pos[1] = 0;
      pos[2] = low;
      pos[3] = high;
      pos += 4;
      break;
    default:
      break;
  }
}

}  // namespace tonvane
