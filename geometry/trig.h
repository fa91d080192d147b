// Integer sine and cosine over angles in tenths of a degree, and an absolute value.
#pragma once

#include <cstdint>

// 1.0 in the 17-bit fixed point of Sin and Cos: multiply by the result and shift right by 17.
constexpr int32_t TRIG_ONE = 1 << 17;
// A full turn in tenths of a degree.
constexpr int32_t FULL_TURN = 3600;

// Sine of `angle` tenths of a degree (0..3600; other values are taken modulo
// a full turn), in 1/131072 units: -131072..131072. One table lookup.
int32_t Sin(int32_t angle);

// Cosine of `angle` tenths of a degree, as Sin.
int32_t Cos(int32_t angle);

// Absolute value of v. The one value without a positive counterpart,
// INT32_MIN, gives INT32_MAX rather than overflowing.
int32_t Abs(int32_t v);
