#include "geometry/trig.h"

#include <array>
#include <limits>

namespace {

constexpr int32_t QUARTER_TURN = 900;
constexpr int32_t HALF_TURN = 1800;
constexpr int32_t THREE_QUARTER_TURN = 2700;

// sin(x) for 0 <= x <= pi/2 by its Taylor series, evaluated at compile time
// only: the error at x = pi/2 after the x^29 term is far below 2^-17.
constexpr double TaylorSin(double x) {
  double term = x;
  double sum = x;
  for (int k = 1; k < 15; ++k) {
    term *= -x * x / ((2 * k) * (2 * k + 1));
    sum += term;
  }
  return sum;
}

// Quarter-wave table: entry i = sin(i tenths of a degree) x 2^17, rounded to
// the nearest integer, i = 0..900.
constexpr std::array<int32_t, QUARTER_TURN + 1> MakeSineTable() {
  constexpr double PI = 3.14159265358979323846;
  std::array<int32_t, QUARTER_TURN + 1> table{};
  for (int32_t i = 0; i <= QUARTER_TURN; ++i) {
    double value = TaylorSin(PI * i / (10.0 * 180.0)) * TRIG_ONE;
    table[i] = static_cast<int32_t>(value + 0.5);
  }
  return table;
}

constexpr std::array<int32_t, QUARTER_TURN + 1> SINE_TABLE = MakeSineTable();
static_assert(SINE_TABLE[0] == 0 && SINE_TABLE[QUARTER_TURN] == TRIG_ONE);

int32_t Normalise(int32_t angle) {
  if (static_cast<uint32_t>(angle) <= static_cast<uint32_t>(FULL_TURN)) return angle;
  int32_t a = angle % FULL_TURN;
  return a < 0 ? a + FULL_TURN : a;
}

// Folds an angle of 0..3600 into the table's quarter wave.
int32_t Fold(int32_t a) {
  if (a < QUARTER_TURN) return a;
  if (a < HALF_TURN) return HALF_TURN - a;
  if (a < THREE_QUARTER_TURN) return a - HALF_TURN;
  return FULL_TURN - a;
}

}  // namespace

int32_t Sin(int32_t angle) {
  int32_t a = Normalise(angle);
  int32_t value = SINE_TABLE[Fold(a)];
  return a >= HALF_TURN ? -value : value;
}

int32_t Cos(int32_t angle) {
  int32_t a = Normalise(angle);
  int32_t value = SINE_TABLE[QUARTER_TURN - Fold(a)];
  return (a >= QUARTER_TURN && a < THREE_QUARTER_TURN) ? -value : value;
}

int32_t Abs(int32_t v) {
  if (v >= 0) return v;
  if (v == std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::max();
  return -v;
}
