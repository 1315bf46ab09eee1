#pragma once
// Character layout and bit timing shared by the transmitters and the receivers. Times are
// computed from the start edge in half bits so that rounding never accumulates over a
// character, whatever the baud rate.
#include <cstdint>

#include "kline/kline.h"

namespace kline::detail {

struct CharacterShape {
    std::uint32_t baud = 10400;  // never 0
    int dataBits = 8;            // 5 to 8
    bool hasParity = false;
    int stopHalfBits = 2;  // 2, 3 or 4

    // Start bit, data bits and parity: the bits before the (first) stop bit.
    int FrameBits() const { return 1 + dataBits + (hasParity ? 1 : 0); }
    int TotalHalfBits() const { return 2 * FrameBits() + stopHalfBits; }
};

CharacterShape ShapeOf(const Framing& framing);

// Offset of the boundary halfBits half bits after the start edge.
inline std::int64_t HalfBitsNs(int halfBits, std::uint32_t baud) {
    return static_cast<std::int64_t>(halfBits) * 500'000'000LL / baud;
}

// The level of the parity bit the sender puts on the wire for value.
bool ParityBitHigh(std::uint8_t value, int dataBits, Parity parity);

}  // namespace kline::detail
