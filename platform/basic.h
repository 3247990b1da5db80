#pragma once
// Arithmetic of the original platform's language.
#include <cmath>
#include <cstdint>

namespace platform {

// Rounds to the nearest integer, halves to the even neighbour: 0.5 -> 0, 1.5 -> 2, -2.5 -> -2.
inline long long bankersRound(double v) { return static_cast<long long>(std::nearbyint(v)); }

// Integer division "a \ b": both operands rounded half to even, quotient truncated toward zero.
inline long long intDiv(double a, double b) {
  return bankersRound(a) / bankersRound(b);
}

}  // namespace platform
