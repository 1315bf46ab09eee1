#include "receiver.h"

namespace kline::detail {

void Receiver::SetEnabled(bool enabled, bool lineHigh) {
    m_enabled = enabled;
    m_busy = false;
    m_armed = enabled && lineHigh;
}

void Receiver::OnLevel(std::int64_t timeNs, bool high, const Framing& framing) {
    if (!m_enabled || m_busy) return;
    if (high) {
        m_armed = true;
        return;
    }
    if (!m_armed) return;
    m_armed = false;
    m_busy = true;
    m_startNs = timeNs;
    m_shape = ShapeOf(framing);
    m_parity = framing.parity;
    m_index = 0;
    m_data = 0;
    m_parityHigh = false;
    m_sawHigh = false;
    m_nextSampleNs = SampleTimeNs(0);
}

std::int64_t Receiver::CompletionNs() const {
    return m_busy ? SampleTimeNs(m_shape.FrameBits()) : kNever;
}

bool Receiver::Sample(bool high, ReceivedByte& out) {
    if (!m_busy) return false;
    const int index = m_index++;
    if (index == 0) {
        if (high) {  // too short for a start bit: a glitch
            m_busy = false;
            m_armed = true;
            return false;
        }
    } else if (index <= m_shape.dataBits) {
        if (high) {
            m_data |= 1u << (index - 1);
            m_sawHigh = true;
        }
    } else if (index < m_shape.FrameBits()) {
        m_parityHigh = high;
        m_sawHigh = m_sawHigh || high;
    } else {
        out = ReceivedByte{};
        out.value = static_cast<std::uint8_t>(m_data);
        out.framingError = !high;
        out.breakCondition = !high && !m_sawHigh;
        out.parityBit = m_shape.hasParity && m_parityHigh;
        out.parityError = m_shape.hasParity && !out.breakCondition &&
                          m_parityHigh != ParityBitHigh(out.value, m_shape.dataBits, m_parity);
        m_busy = false;
        m_armed = high;
        return true;
    }
    m_nextSampleNs = SampleTimeNs(m_index);
    return false;
}

void Receiver::Shift(std::int64_t deltaNs) {
    m_startNs += deltaNs;
    m_nextSampleNs += deltaNs;
}

}  // namespace kline::detail
