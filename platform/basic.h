// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Arithmetic of the language Windows programmes were written in.
#include <cmath>
#include <cstdint>

#include "platform/runtime_error.h"

namespace platform {

// Rounds to the nearest integer, halves to the even neighbour: 0.5 -> 0, 1.5 -> 2, -2.5 -> -2.
// A value no integer can hold (or not a number) is error 6 rather than undefined behaviour.
inline long long bankersRound(double v) {
  const double r = std::nearbyint(v);
  if (!(r >= -9223372036854775808.0 && r < 9223372036854775808.0)) throw RuntimeError(err::Overflow);
  return static_cast<long long>(r);
}

// Integer division "a \ b": both operands rounded half to even, quotient truncated toward zero.
// A divisor that rounds to 0 is error 11, as Windows reports it.
inline long long intDiv(double a, double b) {
  const long long divisor = bankersRound(b);
  const long long dividend = bankersRound(a);
  if (divisor == 0) throw RuntimeError(err::DivisionByZero);
  if (divisor == -1 && dividend == INT64_MIN) throw RuntimeError(err::Overflow);
  return dividend / divisor;
}

}  // namespace platform
