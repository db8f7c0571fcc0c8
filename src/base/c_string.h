#pragma once

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <string_view>

namespace tonvane {

// Copies text into a fixed C buffer of size bytes (size > 0), cut to fit, always
// terminated: for the fixed-length name fields of the ASIO and registry records.
inline void CopyBounded(char* destination, std::size_t size, std::string_view text) {
  const std::size_t n = std::min(size - 1, text.size());
  std::memcpy(destination, text.data(), n);
  destination[n] = '\0';
}

template <std::size_t N>
void CopyBounded(char (&destination)[N], std::string_view text) {
  CopyBounded(destination, N, text);
}

}  // namespace tonvane
