#include "playback/sample_types.h"

namespace tonvane {

std::string SampleTypeName(std::int32_t type) {
  switch (type) {
    case ASIOSTInt16MSB:
      return "Int16 MSB";
    case ASIOSTInt24MSB:
      return "Int24 MSB";
    case ASIOSTInt32MSB:
      return "Int32 MSB";
    case ASIOSTFloat32MSB:
      return "Float32 MSB";
    case ASIOSTFloat64MSB:
      return "Float64 MSB";
    case ASIOSTInt32MSB16:
      return "Int32 MSB16";
    case ASIOSTInt32MSB18:
      return "Int32 MSB18";
    case ASIOSTInt32MSB20:
      return "Int32 MSB20";
    case ASIOSTInt32MSB24:
      return "Int32 MSB24";
    case ASIOSTInt16LSB:
      return "Int16 LSB";
    case ASIOSTInt24LSB:
      return "Int24 LSB";
    case ASIOSTInt32LSB:
      return "Int32 LSB";
    case ASIOSTFloat32LSB:
      return "Float32 LSB";
    case ASIOSTFloat64LSB:
      return "Float64 LSB";
    case ASIOSTInt32LSB16:
      return "Int32 LSB16";
    case ASIOSTInt32LSB18:
      return "Int32 LSB18";
    case ASIOSTInt32LSB20:
      return "Int32 LSB20";
    case ASIOSTInt32LSB24:
      return "Int32 LSB24";
    default:
      return "Unknown (" + std::to_string(type) + ")";
  }
}

}  // namespace tonvane
