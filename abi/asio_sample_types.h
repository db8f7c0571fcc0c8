#pragma once

// The ASIO sample types: the codes a driver reports for its channels
// (ASIOChannelInfo::type), with their names and the bytes one sample takes. Portable:
// the engine writes by them, the window names them, the virtual driver records by them.

#include <cstdint>

namespace tonvane {

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

struct TAsioSampleTypeInfo {
  AsioSampleType Type;
  const char* Name;  // as the status bar shows it
  int Bytes;         // of one sample in a driver's buffer
};

inline constexpr TAsioSampleTypeInfo kAsioSampleTypes[] = {
    {ASIOSTInt16MSB, "Int16 MSB", 2},     {ASIOSTInt24MSB, "Int24 MSB", 3},
    {ASIOSTInt32MSB, "Int32 MSB", 4},     {ASIOSTFloat32MSB, "Float32 MSB", 4},
    {ASIOSTFloat64MSB, "Float64 MSB", 8}, {ASIOSTInt32MSB16, "Int32 MSB16", 4},
    {ASIOSTInt32MSB18, "Int32 MSB18", 4}, {ASIOSTInt32MSB20, "Int32 MSB20", 4},
    {ASIOSTInt32MSB24, "Int32 MSB24", 4}, {ASIOSTInt16LSB, "Int16 LSB", 2},
    {ASIOSTInt24LSB, "Int24 LSB", 3},     {ASIOSTInt32LSB, "Int32 LSB", 4},
    {ASIOSTFloat32LSB, "Float32 LSB", 4}, {ASIOSTFloat64LSB, "Float64 LSB", 8},
    {ASIOSTInt32LSB16, "Int32 LSB16", 4}, {ASIOSTInt32LSB18, "Int32 LSB18", 4},
    {ASIOSTInt32LSB20, "Int32 LSB20", 4}, {ASIOSTInt32LSB24, "Int32 LSB24", 4},
};

// The table's entry for a code, or null for a code ASIO does not define.
constexpr const TAsioSampleTypeInfo* FindAsioSampleType(std::int32_t type) {
  for (const TAsioSampleTypeInfo& info : kAsioSampleTypes)
    if (info.Type == type) return &info;
  return nullptr;
}

}  // namespace tonvane
