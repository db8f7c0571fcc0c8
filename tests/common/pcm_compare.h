#pragma once

// Decoded PCM against a reference decoder's, sample by sample. A decoder built for
// another processor may round a sample one step differently, rarely; a lost, repeated
// or misplaced sample shifts the test signal's noise and differs by far more, in
// almost every sample after it.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <vector>

namespace tonvane::testing {

// Whether actual is expected (or, with prefix, its beginning): samples may differ by
// at most tolerance steps, and in at most 1 % of the samples.
inline ::testing::AssertionResult SamePcm(const std::vector<std::uint8_t>& actual,
                                          const std::vector<std::uint8_t>& expected, int tolerance,
                                          bool prefix = false) {
  if (prefix ? actual.size() > expected.size() : actual.size() != expected.size()) {
    return ::testing::AssertionFailure()
           << "decoded " << actual.size() << " bytes, reference " << expected.size();
  }
  std::size_t differing = 0;
  for (std::size_t i = 0; i + 1 < actual.size(); i += 2) {
    const int a = static_cast<std::int16_t>(actual[i] | actual[i + 1] << 8);
    const int e = static_cast<std::int16_t>(expected[i] | expected[i + 1] << 8);
    if (a == e) continue;
    if (std::abs(a - e) > tolerance) {
      return ::testing::AssertionFailure() << "sample at byte " << i << " is " << a << ", reference " << e
                                           << " (of " << actual.size() << " bytes)";
    }
    ++differing;
  }
  if (differing * 100 > actual.size() / 2) {
    return ::testing::AssertionFailure() << differing << " of " << actual.size() / 2 << " samples differ";
  }
  return ::testing::AssertionSuccess();
}

}  // namespace tonvane::testing
