#pragma once
// One side's UART transmitter: a queue of characters that go onto the wire back to back,
// each shaped by the framing in force when its start bit begins.
#include <array>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <limits>
#include <optional>

#include "kline/kline.h"

namespace kline::detail {

class Transmitter {
public:
    static constexpr std::int64_t kNever = std::numeric_limits<std::int64_t>::max();

    void Queue(const std::uint8_t* bytes, std::size_t count, std::int64_t notBeforeNs);
    // Bytes that carry a ninth bit: 8 data bits, the ninth bit as a mark or space parity bit.
    void QueueNinthBit(const NinthBitByte* bytes, std::size_t count, std::int64_t notBeforeNs);
    // Drops the characters whose start bit has not begun.
    void DropPending() { m_queue.clear(); }

    bool Active() const { return m_active; }
    // Sending the start, data or parity bits of a character (not its stop bits).
    bool InFrame() const { return m_active && m_nextEdge < m_edgeCount; }
    bool DrivesLow() const { return m_low; }
    bool HasPending() const { return !m_queue.empty(); }

    // The next time anything changes: a level edge or the end of the character on the wire,
    // else the start of the next queued character; kNever when idle with nothing queued.
    std::int64_t NextChangeNs() const;
    // When the next queued character can start; kNever when nothing is queued.
    std::int64_t NextStartNs() const;
    // When the last queued character will have left, if the framing stays as it is.
    std::int64_t DoneNs(const Framing& framing) const;
    // End of the character on the wire or of the last one sent; lowest before the first.
    std::int64_t LastEndNs() const { return m_endNs; }

    // Applies everything due up to timeNs. Returns true and fills `started` when a new
    // character began.
    bool Step(std::int64_t timeNs, const Framing& framing, WireByte& started);

    // Moves every pending time by deltaNs (the clock was replaced by one with another origin).
    void Shift(std::int64_t deltaNs);

private:
    struct Pending {
        std::uint8_t value;
        std::int64_t notBeforeNs;
        std::optional<bool> ninthBit;  // set: sent in the ninth-bit framing
    };
    // The framing a queued character goes out with.
    static Framing FramingFor(const Pending& pending, const Framing& framing);
    struct Edge {
        std::int64_t timeNs;
        bool low;
    };

    void Begin(const Pending& pending, std::int64_t startNs, const Framing& framing);

    std::deque<Pending> m_queue;
    // Start bit, up to 8 data bits and parity can each toggle, then the stop-bit release.
    std::array<Edge, 12> m_edges{};
    std::size_t m_edgeCount = 0;
    std::size_t m_nextEdge = 0;
    bool m_active = false;
    bool m_low = false;
    std::int64_t m_endNs = std::numeric_limits<std::int64_t>::min();  // current or last character
};

}  // namespace kline::detail
