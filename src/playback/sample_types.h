#pragma once

#include <cstdint>
#include <string>

#include "asio_sample_types.h"

namespace tonvane {

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

// Bytes one sample takes in a type, the types not written included; 0 for a code that
// is not an ASIO sample type.
constexpr std::int32_t SampleTypeWidth(std::int32_t type) {
  const TAsioSampleTypeInfo* info = FindAsioSampleType(type);
  return info ? info->Bytes : 0;
}

// The status bar's name of a type (see kAsioSampleTypes), "Unknown (<code>)" for codes
// not in the table.
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
