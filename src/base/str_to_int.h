#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace tonvane {

// Whole decimal number with an optional sign ("-6", "+3", "-0") that fits in 32 bits.
// Anything else (blank, spaces, hex, trailing characters, overflow) gives no value.
std::optional<std::int32_t> TryStrToInt(std::string_view text);

}  // namespace tonvane
