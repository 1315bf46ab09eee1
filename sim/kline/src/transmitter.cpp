#include "transmitter.h"

#include <algorithm>

#include "bit_timing.h"

namespace kline::detail {

void Transmitter::Queue(const std::uint8_t* bytes, std::size_t count, std::int64_t notBeforeNs) {
    for (std::size_t i = 0; i < count; ++i) m_queue.push_back({bytes[i], notBeforeNs, {}});
}

void Transmitter::QueueNinthBit(const NinthBitByte* bytes, std::size_t count,
                                std::int64_t notBeforeNs) {
    for (std::size_t i = 0; i < count; ++i) {
        m_queue.push_back({bytes[i].value, notBeforeNs, bytes[i].ninthBit});
    }
}

Framing Transmitter::FramingFor(const Pending& pending, const Framing& framing) {
    if (!pending.ninthBit) return framing;
    Framing ninth = framing;
    ninth.dataBits = 8;
    ninth.parity = *pending.ninthBit ? Parity::Mark : Parity::Space;
    return ninth;
}

std::int64_t Transmitter::NextStartNs() const {
    if (m_queue.empty()) return kNever;
    return std::max(m_queue.front().notBeforeNs, m_endNs);
}

std::int64_t Transmitter::NextChangeNs() const {
    if (m_active) return m_nextEdge < m_edgeCount ? m_edges[m_nextEdge].timeNs : m_endNs;
    return NextStartNs();
}

std::int64_t Transmitter::DoneNs(const Framing& framing) const {
    std::int64_t cursor = m_endNs;
    for (const Pending& pending : m_queue) {
        cursor = std::max(cursor, pending.notBeforeNs) + FramingFor(pending, framing).CharacterNs();
    }
    return cursor;
}

bool Transmitter::Step(std::int64_t timeNs, const Framing& framing, WireByte& started) {
    if (m_active) {
        while (m_nextEdge < m_edgeCount && m_edges[m_nextEdge].timeNs <= timeNs) {
            m_low = m_edges[m_nextEdge++].low;
        }
        if (timeNs >= m_endNs) {
            m_active = false;
            m_low = false;
        }
    }
    if (m_active || m_queue.empty()) return false;
    const std::int64_t startNs = NextStartNs();
    if (startNs > timeNs) return false;

    const Pending pending = m_queue.front();
    m_queue.pop_front();
    const Framing used = FramingFor(pending, framing);
    Begin(pending, startNs, used);
    while (m_nextEdge < m_edgeCount && m_edges[m_nextEdge].timeNs <= timeNs) {
        m_low = m_edges[m_nextEdge++].low;
    }
    started = WireByte{Side::Tester, pending.value, startNs, m_endNs, used};
    return true;
}

void Transmitter::Begin(const Pending& pending, std::int64_t startNs, const Framing& framing) {
    const CharacterShape shape = ShapeOf(framing);
    m_edgeCount = 0;
    m_nextEdge = 0;
    bool high = true;  // idle before the start bit
    auto levelAt = [&](int bit) {
        if (bit == 0) return false;
        if (bit <= shape.dataBits) return ((pending.value >> (bit - 1)) & 1) != 0;
        return ParityBitHigh(pending.value, shape.dataBits, framing.parity);
    };
    for (int bit = 0; bit < shape.FrameBits(); ++bit) {
        const bool level = levelAt(bit);
        if (level != high) {
            m_edges[m_edgeCount++] = {startNs + HalfBitsNs(2 * bit, shape.baud), !level};
            high = level;
        }
    }
    // Released at the stop bit; listed even when the line is high already, since the end of
    // the frame bits is when the sender's own receiver listens again.
    m_edges[m_edgeCount++] = {startNs + HalfBitsNs(2 * shape.FrameBits(), shape.baud), false};
    m_endNs = startNs + HalfBitsNs(shape.TotalHalfBits(), shape.baud);
    m_active = true;
}

void Transmitter::Shift(std::int64_t deltaNs) {
    for (Pending& pending : m_queue) pending.notBeforeNs += deltaNs;
    for (std::size_t i = 0; i < m_edgeCount; ++i) m_edges[i].timeNs += deltaNs;
    if (m_endNs != std::numeric_limits<std::int64_t>::min()) m_endNs += deltaNs;
}

}  // namespace kline::detail
