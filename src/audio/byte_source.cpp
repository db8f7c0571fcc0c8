#include <algorithm>
#include <cstring>

#include "audio/byte_source.h"

namespace tonvane {

std::int32_t TMemorySource::Read(void* buffer, std::int32_t count) {
  const auto size = static_cast<std::int64_t>(size_);
  if (count <= 0 || position_ >= size) return 0;
  const auto n = static_cast<std::int32_t>(std::min<std::int64_t>(count, size - position_));
  std::memcpy(buffer, data_ + position_, static_cast<std::size_t>(n));
  position_ += n;
  return n;
}

bool TMemorySource::Seek(std::int64_t position) {
  if (position < 0) return false;
  position_ = position;
  return true;
}

}  // namespace tonvane
