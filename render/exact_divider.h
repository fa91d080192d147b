// Division of unsigned 32-bit numbers by a fixed divisor as one
// multiplication and a shift, with exactly the quotient of the division.
#pragma once

#include <cstdint>

// floor(n / d) for every 32-bit n, d >= 1: multiplier m = ceil(2^s / d) with
// s = 32 + ceil(log2 d). Then m * d - 2^s < d <= 2^(s - 32), so the error of
// n * m / 2^s against n / d stays below 1 / d and the floor is unchanged.
struct ExactDivider {
  uint64_t multiplier = 1;
  uint32_t shift = 0;
};

// The divider of `divisor` (1..2^31).
inline ExactDivider MakeExactDivider(uint32_t divisor) {
  uint32_t bits = 0;
  while ((uint64_t{1} << bits) < divisor) ++bits;
  ExactDivider d;
  d.shift = 32 + bits;
  unsigned __int128 power = static_cast<unsigned __int128>(1) << d.shift;
  d.multiplier = static_cast<uint64_t>((power + divisor - 1) / divisor);
  return d;
}

// floor(n / divisor) of the divider's divisor.
inline uint32_t Divide(uint32_t n, const ExactDivider& d) {
  return static_cast<uint32_t>((static_cast<unsigned __int128>(n) * d.multiplier) >> d.shift);
}
