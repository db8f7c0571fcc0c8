#pragma once

#include <cstdint>

namespace tonvane {

// The gauge's arithmetic, apart from its drawing so that it is checked natively.

// X as a whole percentage of Z, truncated toward zero; 0 when Z is 0. The operands
// are 64-bit so that neither the caller's differences nor X * 100 overflow.
std::int32_t PercentOfRange(std::int64_t x, std::int64_t z);

// Z * (P * 0.01) truncated toward zero, in 80-bit extended precision with 0.01 as
// the extended value nearest to a hundredth, which lies just below it: results
// that are whole in exact arithmetic may come out one lower (10 % of 10 is 0),
// and the bar widths the gauge draws depend on exactly that.
std::int32_t ScaleByPercent(std::int32_t p, std::int32_t z);

// The integer nearest to v, ties to the even one, whatever rounding mode the
// floating-point unit is in.
std::int32_t RoundHalfEven(double v);

}  // namespace tonvane
