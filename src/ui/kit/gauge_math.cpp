#include "ui/kit/gauge_math.h"

#include <cmath>
#include <limits>

namespace tonvane {

namespace {

#if defined(__GNUC__) && (defined(__i386__) || defined(__x86_64__))
// The x87 precision field belongs to whoever loaded us: a host built with another
// compiler may have set it to 53 bits, which would turn 10 % of 10 into 1. The
// multiplication runs with the field set to 64 bits and the host's word put back.
class ExtendedPrecision {
 public:
  ExtendedPrecision() {
    __asm__ __volatile__("fnstcw %0" : "=m"(saved_) : : "memory");
    const unsigned short extended = saved_ | 0x0300;
    __asm__ __volatile__("fldcw %0" : : "m"(extended) : "memory");
  }
  ~ExtendedPrecision() { __asm__ __volatile__("fldcw %0" : : "m"(saved_) : "memory"); }
  ExtendedPrecision(const ExtendedPrecision&) = delete;
  ExtendedPrecision& operator=(const ExtendedPrecision&) = delete;

 private:
  unsigned short saved_ = 0;
};
#else
struct ExtendedPrecision {};
#endif

static_assert(std::numeric_limits<long double>::digits == 64,
              "the gauge's scaling needs the x87 extended format");

}  // namespace

std::int32_t PercentOfRange(std::int64_t x, std::int64_t z) {
  if (z == 0) return 0;
  return static_cast<std::int32_t>(x * 100 / z);
}

std::int32_t ScaleByPercent(std::int32_t p, std::int32_t z) {
  // Volatile keeps the operations inside the precision guard and out of constant folding.
  volatile long double factor = 0.01L;
  volatile long double scaled;
  {
    ExtendedPrecision guard;
    volatile long double percent = static_cast<long double>(p) * factor;
    scaled = static_cast<long double>(z) * percent;
  }
  return static_cast<std::int32_t>(scaled);
}

std::int32_t RoundHalfEven(double v) {
  const double below = std::floor(v);
  const double fraction = v - below;
  double result = below;
  if (fraction > 0.5) {
    result = below + 1;
  } else if (fraction == 0.5) {
    result = std::fmod(below, 2.0) == 0 ? below : below + 1;
  }
  return static_cast<std::int32_t>(result);
}

}  // namespace tonvane
