#pragma once
// The window's rounding of screen arithmetic: single-precision sums stored into 16 bits,
// halves to even. Positions cannot leave 16 bits on an 800 x 600 window; a value that would
// is held at the nearest limit rather than raising in the middle of a mouse event.
#include <algorithm>
#include <cstdint>
#include <limits>

#include "dravik/numerics.h"

namespace dravik {

inline std::int16_t ScreenInt16(double x) {
    const double r = RoundHalfEven(static_cast<float>(x));
    if (!(r == r)) return 0;  // NaN
    return static_cast<std::int16_t>(std::clamp(r, -32768.0, 32767.0));
}

// The largest integer not above x + 0.5 (half up), held within 32 bits.
inline std::int32_t HalfUpInt32(double x) {
    const double r = RoundHalfUp(x);
    if (!(r == r)) return 0;
    return static_cast<std::int32_t>(std::clamp(r, -2147483648.0, 2147483647.0));
}

}  // namespace dravik
