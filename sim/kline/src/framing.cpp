#include <bit>

#include "bit_timing.h"

namespace kline {

std::int64_t Framing::CharacterNs() const {
    const detail::CharacterShape shape = detail::ShapeOf(*this);
    return detail::HalfBitsNs(shape.TotalHalfBits(), shape.baud);
}

namespace detail {

CharacterShape ShapeOf(const Framing& framing) {
    CharacterShape shape;
    shape.baud = framing.baud == 0 ? 1 : framing.baud;
    shape.dataBits = framing.dataBits < 5 ? 5 : (framing.dataBits > 8 ? 8 : framing.dataBits);
    shape.hasParity = framing.parity != Parity::None;
    switch (framing.stopBits) {
        case StopBits::One:
            shape.stopHalfBits = 2;
            break;
        case StopBits::OnePointFive:
            shape.stopHalfBits = 3;
            break;
        case StopBits::Two:
            shape.stopHalfBits = 4;
            break;
    }
    return shape;
}

bool ParityBitHigh(std::uint8_t value, int dataBits, Parity parity) {
    const unsigned ones = std::popcount(static_cast<unsigned>(value & ((1u << dataBits) - 1u)));
    switch (parity) {
        case Parity::Even:
            return ones % 2 == 1;
        case Parity::Odd:
            return ones % 2 == 0;
        case Parity::Mark:
            return true;
        case Parity::Space:
        case Parity::None:
            break;
    }
    return false;
}

}  // namespace detail
}  // namespace kline
