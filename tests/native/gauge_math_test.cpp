// The gauge's arithmetic: percentages of a range, bar lengths in extended precision
// with their documented off-by-one results, and rounding of the pie and needle points.
#include <gtest/gtest.h>

#include <cfenv>
#include <cstdint>

#include "ui/kit/gauge_math.h"

namespace tonvane {
namespace {

TEST(GaugeMath, PercentOfRangeTruncatesTowardZeroWithoutOverflow) {
  EXPECT_EQ(PercentOfRange(0, 0), 0);
  EXPECT_EQ(PercentOfRange(5, 0), 0) << "an empty range shows 0 whatever the value";
  EXPECT_EQ(PercentOfRange(1, 3), 33);
  EXPECT_EQ(PercentOfRange(2, 3), 66);
  EXPECT_EQ(PercentOfRange(-1, 3), -33) << "toward zero, not down";
  EXPECT_EQ(PercentOfRange(100, 1000), 10);
  EXPECT_EQ(PercentOfRange(101, 1000), 10);
  EXPECT_EQ(PercentOfRange(110, 1000), 11);
  // X * 100 would overflow 32 bits here.
  EXPECT_EQ(PercentOfRange(INT32_MAX, INT32_MAX), 100);
  EXPECT_EQ(PercentOfRange(INT32_MAX / 2, INT32_MAX), 49);
  // A range from the lowest to the highest 32-bit value spans more than 32 bits.
  const std::int64_t full = std::int64_t{INT32_MAX} - INT32_MIN;
  EXPECT_EQ(PercentOfRange(full, full), 100);
  EXPECT_EQ(PercentOfRange(full / 4, full), 24);
}

TEST(GaugeMath, ScaleByPercentComesOutOneLowWhereTheHundredthIsJustBelow) {
  EXPECT_EQ(ScaleByPercent(10, 10), 0);
  EXPECT_EQ(ScaleByPercent(5, 20), 0);
  EXPECT_EQ(ScaleByPercent(20, 5), 0);
  EXPECT_EQ(ScaleByPercent(25, 84), 21);
  EXPECT_EQ(ScaleByPercent(50, 84), 42);
  EXPECT_EQ(ScaleByPercent(75, 84), 63);
  EXPECT_EQ(ScaleByPercent(100, 84), 84);
  EXPECT_EQ(ScaleByPercent(0, 84), 0);
  EXPECT_EQ(ScaleByPercent(33, 84), 27) << "27.72 truncated";
  EXPECT_EQ(ScaleByPercent(-50, 84), -42) << "toward zero";
}

#if defined(__GNUC__) && (defined(__i386__) || defined(__x86_64__))
unsigned short ControlWord() {
  unsigned short word = 0;
  __asm__ __volatile__("fnstcw %0" : "=m"(word));
  return word;
}
void SetControlWord(unsigned short word) { __asm__ __volatile__("fldcw %0" : : "m"(word)); }

TEST(GaugeMath, ScaleByPercentKeepsExtendedPrecisionWhenTheHostLoweredIt) {
  const unsigned short saved = ControlWord();
  // Precision field 10: 53 bits, as some hosts set the unit.
  SetControlWord(static_cast<unsigned short>((saved & ~0x0300) | 0x0200));
  volatile long double hundredth = 0.01L;
  volatile long double tenth = 10 * hundredth;
  volatile long double naive = 10 * tenth;
  const std::int32_t scaled = ScaleByPercent(10, 10);
  const unsigned short during = ControlWord();
  SetControlWord(saved);
  ASSERT_EQ(static_cast<std::int32_t>(naive), 1) << "the lowered precision rounds a tenth of ten up to one";
  EXPECT_EQ(scaled, 0);
  EXPECT_EQ(during & 0x0300, 0x0200) << "the caller's precision is put back";
}
#endif

TEST(GaugeMath, RoundHalfEvenTakesTiesToTheEvenNeighbour) {
  EXPECT_EQ(RoundHalfEven(0.5), 0);
  EXPECT_EQ(RoundHalfEven(1.5), 2);
  EXPECT_EQ(RoundHalfEven(2.5), 2);
  EXPECT_EQ(RoundHalfEven(3.5), 4);
  EXPECT_EQ(RoundHalfEven(-0.5), 0);
  EXPECT_EQ(RoundHalfEven(-1.5), -2);
  EXPECT_EQ(RoundHalfEven(-2.5), -2);
  EXPECT_EQ(RoundHalfEven(2.4999999), 2);
  EXPECT_EQ(RoundHalfEven(2.5000001), 3);
  EXPECT_EQ(RoundHalfEven(-2.5000001), -3);
  EXPECT_EQ(RoundHalfEven(41.0), 41);
  EXPECT_EQ(RoundHalfEven(1e-300), 0);

  // The floating-point unit's rounding mode does not enter into it.
  const int mode = std::fegetround();
  std::fesetround(FE_UPWARD);
  const std::int32_t up = RoundHalfEven(2.5);
  std::fesetround(FE_DOWNWARD);
  const std::int32_t down = RoundHalfEven(3.5);
  std::fesetround(mode);
  EXPECT_EQ(up, 2);
  EXPECT_EQ(down, 4);
}

}  // namespace
}  // namespace tonvane
