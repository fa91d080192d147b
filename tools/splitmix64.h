// splitmix64: a small random generator that gives the same numbers on every
// machine. The benchmark workloads and the recorder simulator draw from it,
// so their shapes and drives are the same in every run.
#pragma once

#include <cstdint>

class SplitMix64 {
 public:
  explicit SplitMix64(uint64_t seed) : state(seed) {}

  uint64_t Next() {
    state += 0x9E3779B97F4A7C15ull;
    uint64_t z = state;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  // U(a, b) = a + (b - a) * (next >> 11) * 2^-53.
  double Uniform(double a, double b) { return a + (b - a) * static_cast<double>(Next() >> 11) * 0x1.0p-53; }
  // lo + next mod (hi - lo + 1).
  int32_t Range(int32_t lo, int32_t hi) { return lo + static_cast<int32_t>(Next() % static_cast<uint64_t>(hi - lo + 1)); }

 private:
  uint64_t state;
};
