#include "playback/sample_types.h"

namespace tonvane {

std::string SampleTypeName(std::int32_t type) {
  if (const TAsioSampleTypeInfo* info = FindAsioSampleType(type)) return info->Name;
  return "Unknown (" + std::to_string(type) + ")";
}

}  // namespace tonvane
